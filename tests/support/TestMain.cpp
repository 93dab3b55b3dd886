#include <QCoreApplication>

#include <gtest/gtest.h>

// Tests of models and stores: an event loop, no display.
int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
