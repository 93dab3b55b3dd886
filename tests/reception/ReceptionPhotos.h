#pragma once

// Photos for the reception tests: JPEGs of noise encoded by vips (large enough for a transfer to
// be cut in the middle), and helpers to wait for the session.

#include "TestSupport.h"
#include "reception/ReceptionSession.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QProcess>

#include <functional>

#include <gtest/gtest.h>

namespace tavrin::test {

inline void makeNoisePhoto(const QString& path, int width = 1200, int height = 900)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QProcess vips;
    vips.start(QStringLiteral("vips"), {QStringLiteral("gaussnoise"), path + QStringLiteral("[Q=95]"), QString::number(width),
                                        QString::number(height)});
    ASSERT_TRUE(vips.waitForFinished(60000));
    ASSERT_EQ(vips.exitCode(), 0) << vips.readAllStandardError().toStdString();
}

// Runs the event loop until `done` holds or `ms` passed; returns whether it holds.
inline bool waitFor(const std::function<bool()>& done, int ms = 20000)
{
    const QDeadlineTimer deadline(ms);
    while (!done() && !deadline.hasExpired()) QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    return done();
}

} // namespace tavrin::test
