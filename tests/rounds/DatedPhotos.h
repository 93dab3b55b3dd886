#pragma once

// Small JPEGs encoded by vips and dated by exiftool (one process for all of them).

#include "TestSupport.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QProcess>

#include <gtest/gtest.h>

namespace tavrin::test {

inline void makeDatedPhotos(const QString& folder, const QList<std::pair<QString, QDateTime>>& photos)
{
    QDir().mkpath(folder);
    const QString base = QDir(folder).filePath(QStringLiteral(".base.jpg"));
    QProcess vips;
    vips.start(QStringLiteral("vips"), {"black", base, "24", "16"});
    ASSERT_TRUE(vips.waitForFinished(60000));
    ASSERT_EQ(vips.exitCode(), 0);
    QByteArray arguments;
    for (const auto& [name, time] : photos) {
        const QString path = QDir(folder).filePath(name);
        ASSERT_TRUE(QFile::copy(base, path));
        arguments += "-overwrite_original\n-DateTimeOriginal=" + time.toString(QStringLiteral("yyyy:MM:dd HH:mm:ss")).toUtf8() +
                     "\n-SubSecTimeOriginal=" + QByteArray::number(time.time().msec()).rightJustified(3, '0') + "\n" + path.toUtf8() +
                     "\n-execute\n";
    }
    const QString argFile = QDir(folder).filePath(QStringLiteral(".args"));
    writeFile(argFile, arguments);
    QProcess exiftool;
    exiftool.start(QStringLiteral("exiftool"), {"-q", "-@", argFile});
    ASSERT_TRUE(exiftool.waitForFinished(120000));
    ASSERT_EQ(exiftool.exitCode(), 0) << exiftool.readAllStandardError().toStdString();
    QFile::remove(argFile);
    QFile::remove(base);
}

} // namespace tavrin::test
