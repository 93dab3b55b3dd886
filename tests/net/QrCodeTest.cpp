#include "net/QrCode.h"

#include <QImage>

#include <gtest/gtest.h>

using namespace tavrin;

TEST(QrCode, isASquareModuleGridWithItsQuietZone)
{
    const QString url = "http://192.168.1.20:43567/0123456789ABCDEF0123456789ABCDEF/";
    const QrCode code = QrCode::encode(url);
    ASSERT_GE(code.version, 1);
    EXPECT_EQ(code.width, 17 + 4 * code.version);
    const int scale = 5;
    const QImage image = code.image(scale);
    ASSERT_EQ(image.width(), (code.width + 2 * QrCode::quietZone) * scale);
    ASSERT_EQ(image.height(), image.width());
    const auto module = [&](int x, int y) {
        return qGray(image.pixel((x + QrCode::quietZone) * scale + scale / 2, (y + QrCode::quietZone) * scale + scale / 2));
    };
    for (int y = -QrCode::quietZone; y < 0; ++y)
        for (int x = -QrCode::quietZone; x < code.width + QrCode::quietZone; ++x) EXPECT_EQ(module(x, y), 255);
    // The three finder patterns: dark ring, light ring, dark centre; pixels are pure black or white.
    for (const auto& [ox, oy] : {std::pair{0, 0}, {code.width - 7, 0}, {0, code.width - 7}}) {
        EXPECT_EQ(module(ox, oy), 0);
        EXPECT_EQ(module(ox + 6, oy + 6), 0);
        EXPECT_EQ(module(ox + 1, oy + 1), 255);
        EXPECT_EQ(module(ox + 3, oy + 3), 0);
    }
    EXPECT_EQ(qGray(image.pixel(QrCode::quietZone * scale, QrCode::quietZone * scale + scale - 1)), 0);

    const QStringList lines = code.halfBlocks(false).split('\n', Qt::SkipEmptyParts);
    EXPECT_EQ(lines.size(), (code.width + 2 * QrCode::quietZone + 1) / 2);
    EXPECT_EQ(lines[2].size(), code.width + 2 * QrCode::quietZone);
    EXPECT_EQ(lines[2][QrCode::quietZone], QChar(u'█')); // finder rows 0 and 1 are dark in column 0
}
