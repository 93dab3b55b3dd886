// `tavrin-cli receive` end to end: a camera uploads with curl while another tavrin-cli changes
// the class being shot; each photo lands in the folder of the class current when it arrived, the
// settings are kept, and SIGTERM ends with the report.
#include "ReceptionPhotos.h"
#include "TestSupport.h"

#include "library/LibraryStore.h"
#include "organizer/WorkspaceStore.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

using namespace tavrin;
using namespace tavrin::test;

namespace {

int cli(const TempDataDir& data, const QStringList& arguments, QString* error = nullptr)
{
    QProcess process;
    process.start(binDir() + QStringLiteral("/tavrin-cli"), QStringList{QStringLiteral("--data-dir"), data.path()} + arguments);
    waitFor([&] { return process.state() == QProcess::NotRunning; }, 60000);
    if (error) *error = QString::fromUtf8(process.readAllStandardError());
    return process.exitCode();
}

} // namespace

TEST(ReceptionCliTest, photosFollowTheClassMarkedMeanwhileAndTheReportCountsThem)
{
    TempDataDir data;
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("Photos")), backup = dir.filePath(QStringLiteral("Sauvegarde"));
    const QString first = dir.filePath(QStringLiteral("Vitesse")), second = dir.filePath(QStringLiteral("Grand Prix"));
    for (const QString& path : {backup, first, second}) QDir().mkpath(path);
    {
        LibraryStore library;
        const DayRecord day = library.addDay(QStringLiteral("Samedi"));
        library.addSpreadsheet(day.id, QStringLiteral("Vitesse"));
        library.addSpreadsheet(day.id, QStringLiteral("Grand Prix"));
        library.flush();
    }
    QString error;
    ASSERT_EQ(cli(data, {"workspace", "set", "--spreadsheet", "Vitesse", "--source", first, "--current"}, &error), 0) << error.toStdString();
    ASSERT_EQ(cli(data, {"workspace", "set", "--spreadsheet", "Grand Prix", "--source", second}, &error), 0) << error.toStdString();
    for (const char* name : {"DSC_0001.JPG", "DSC_0002.JPG", "DSC_0004.JPG"}) makeNoisePhoto(dir.filePath(QString::fromLatin1(name)), 400, 300);

    QProcess receive;
    receive.start(binDir() + QStringLiteral("/tavrin-cli"),
                  {"--data-dir", data.path(), "receive", "--folder", folder, "--backup", backup, "--ftp-port", "0", "--for", "120"});
    QString log;
    const QRegularExpression settingsLine(QStringLiteral("port (\\d+) · identifiant (\\S+) · mot de passe (\\d{4})"));
    ASSERT_TRUE(waitFor([&] {
        log += QString::fromUtf8(receive.readAllStandardError());
        return settingsLine.match(log).hasMatch() || receive.state() == QProcess::NotRunning;
    }));
    const QRegularExpressionMatch settings = settingsLine.match(log);
    ASSERT_TRUE(settings.hasMatch()) << log.toStdString();
    EXPECT_EQ(settings.captured(2), QStringLiteral("tavrin"));
    const auto upload = [&](const char* name) {
        QProcess curl;
        curl.start(QStringLiteral("curl"), {QStringLiteral("-sS"), QStringLiteral("-T"), dir.filePath(QString::fromLatin1(name)),
                                            QStringLiteral("ftp://tavrin:%1@127.0.0.1:%2/").arg(settings.captured(3), settings.captured(1))});
        waitFor([&] { return curl.state() == QProcess::NotRunning; }, 30000);
        EXPECT_EQ(curl.exitCode(), 0) << curl.readAllStandardError().toStdString();
    };
    const auto landed = [&](const QString& in, const char* name) {
        return waitFor([&] { return QFileInfo::exists(QDir(in).filePath(QString::fromLatin1(name))); });
    };

    upload("DSC_0001.JPG");
    upload("DSC_0002.JPG");
    EXPECT_TRUE(landed(first, "DSC_0002.JPG"));
    ASSERT_EQ(cli(data, {"workspace", "set", "--spreadsheet", "Grand Prix", "--current"}, &error), 0) << error.toStdString();
    // The running reception takes in the new mark from the workspace file.
    QThread::msleep(1500);
    upload("DSC_0004.JPG");
    EXPECT_TRUE(landed(second, "DSC_0004.JPG"));
    EXPECT_TRUE(landed(backup, "DSC_0004.JPG"));

    receive.terminate();
    ASSERT_TRUE(waitFor([&] { return receive.state() == QProcess::NotRunning; }));
    log += QString::fromUtf8(receive.readAllStandardError());
    EXPECT_EQ(receive.exitCode(), 0) << log.toStdString();
    const QJsonObject report = QJsonDocument::fromJson(receive.readAllStandardOutput()).object();
    EXPECT_EQ(report[QStringLiteral("received")].toInt(), 3);
    EXPECT_EQ(report[QStringLiteral("backedUp")].toInt(), 3);
    EXPECT_EQ(report[QStringLiteral("notBackedUp")].toInt(), 0);
    const QJsonArray cameras = report[QStringLiteral("cameras")].toArray();
    ASSERT_EQ(cameras.size(), 1);
    EXPECT_EQ(cameras[0].toObject()[QStringLiteral("missing")].toArray(), QJsonArray{QStringLiteral("DSC_0003")});
    EXPECT_EQ(QDir(first).entryList(QDir::Files), QStringList({QStringLiteral("DSC_0001.JPG"), QStringLiteral("DSC_0002.JPG")}));
    EXPECT_EQ(QDir(second).entryList(QDir::Files), QStringList{QStringLiteral("DSC_0004.JPG")});
    EXPECT_TRUE(log.contains(QStringLiteral("DSC_0004.JPG · 127.0.0.1 → « Grand Prix » · sauvegardée"))) << log.toStdString();
    EXPECT_TRUE(log.contains(QStringLiteral("3 photos · 2 copies vérifiées"))) << log.toStdString();

    // The login and password stay the same for the next reception.
    QString again;
    QProcess next;
    next.start(binDir() + QStringLiteral("/tavrin-cli"),
               {"--data-dir", data.path(), "receive", "--folder", folder, "--ftp-port", "0", "--for", "1"});
    waitFor([&] { return next.state() == QProcess::NotRunning; }, 30000);
    EXPECT_TRUE(QString::fromUtf8(next.readAllStandardError()).contains(QStringLiteral("mot de passe ") + settings.captured(3)));
}
