// Discovery over a real avahi-daemon restricted to the loopback interface. The daemon is started
// by scripts/start-test-services.sh; where it cannot be, these tests are skipped with its reason.
#include "SyncTestSupport.h"
#include "TestSupport.h"
#include "base/TavrinJSON.h"
#include "base/UserDefaults.h"
#include "library/LibraryStore.h"
#include "sync/SyncService.h"

#include <QProcess>
#include <QTest>

#include <gtest/gtest.h>

using namespace tavrin;
using namespace tavrin::test;

namespace {

// Unique per run: other test processes may share the daemon. Android < Mac < iOS in code-point
// order whatever the suffix, which fixes who dials whom.
QString deviceName(const char* platform) { return QStringLiteral("TAVRIN %1 %2").arg(QLatin1String(platform), SyncService::newPeerName("mac").right(4)); }

QString servicesUnavailableReason()
{
    static const QString reason = [] {
        QProcess script;
        script.start(QStringLiteral("bash"), {sourceDir() + QStringLiteral("/scripts/start-test-services.sh")});
        if (!script.waitForFinished(120000)) return QStringLiteral("scripts/start-test-services.sh ne répond pas");
        if (script.exitStatus() == QProcess::NormalExit && script.exitCode() == 0) return QString();
        const QString err = QString::fromUtf8(script.readAllStandardError()).trimmed();
        return err.isEmpty() ? QStringLiteral("scripts/start-test-services.sh a échoué") : err;
    }();
    return reason;
}

#define REQUIRE_LOOPBACK_DNS_SD()                                                                                      \
    if (const QString reason = servicesUnavailableReason(); !reason.isEmpty()) GTEST_SKIP() << reason.toStdString()

} // namespace

TEST(SyncDnsSd, TwoPhonesAreFoundLinkedInOrderMergedAndRelinkedAfterARestart)
{
    REQUIRE_LOOPBACK_DNS_SD();
    TempDataDir data;
    const QString mac = deviceName("Mac"), android = deviceName("Android"), ios = deviceName("iOS");
    const QString androidLibrary = writeLibraryFile(data.file("android.json"), QStringLiteral("Dimanche"), 2);
    const QStringList androidArgs{"--role", "android", "--name", android, "--library", androidLibrary};
    auto androidPeer = std::make_unique<PeerProcess>(androidArgs);
    PeerProcess iosPeer({"--role", "ios", "--name", ios, "--library", writeLibraryFile(data.file("ios.json"), QStringLiteral("Samedi"), 3)});
    ASSERT_TRUE(androidPeer->waitFor("advertised") && iosPeer.waitFor("advertised"));

    UserDefaults::standard().setString(QStringLiteral("tavrin.peerName.mac.v3"), mac);
    LibraryStore store;
    SyncService service(QStringLiteral("mac"));
    service.setPeerEnabled(ios, true);
    service.setPeerEnabled(android, true);
    service.onLibraryReceived = [&](const LibrarySnapshot& lib) { store.replaceFromRemote(lib); };
    service.start(false);

    ASSERT_TRUE(QTest::qWaitFor([&] { return service.statusTitle() == u"Synchronisé · 2 appareils"; }, 20000)) << service.statusTitle().toStdString();
    EXPECT_TRUE(service.isNearby(android) && service.isNearby(ios));
    EXPECT_EQ(androidPeer->count("connected (incoming)"), 1) << "the desktop dials the Android at once";
    EXPECT_EQ(iosPeer.count("connected " + mac), 1) << "the iPhone dials the desktop, which only waits for it";
    EXPECT_EQ(iosPeer.count("connected (incoming)"), 0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return dayNames(store.snapshot()).size() == 2; }, 5000));
    EXPECT_EQ(dayNames(decodeLibrary(readFile(data.file("library.json")))), (QStringList{"Dimanche", "Samedi"}));

    // The phone goes away and comes back on another port.
    androidPeer.reset();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !service.isLinked(android); }, 10000));
    EXPECT_EQ(service.statusTitle(), "Synchronisé · iPhone " + ios.right(4));
    androidPeer = std::make_unique<PeerProcess>(androidArgs);
    EXPECT_TRUE(QTest::qWaitFor([&] { return service.connectedPeerNames() == QStringList{android, ios}; }, 20000));
}

TEST(SyncCli, SyncsWithChosenPhonesAndPrintsTheState)
{
    REQUIRE_LOOPBACK_DNS_SD();
    TempDataDir data;
    const QString android = deviceName("Android"), ios = deviceName("iOS");
    PeerProcess androidPeer({"--role", "android", "--name", android, "--library", writeLibraryFile(data.file("a.json"), QStringLiteral("Dimanche"), 1)});
    PeerProcess iosPeer({"--role", "ios", "--name", ios, "--library", writeLibraryFile(data.file("i.json"), QStringLiteral("Samedi"), 1)});
    ASSERT_TRUE(androidPeer.waitFor("advertised") && iosPeer.waitFor("advertised"));

    QProcess cli;
    cli.start(binDir() + "/tavrin-cli", {"--data-dir", data.path(), "sync", "--prefer", ios, "--prefer", android, "--for", "5"});
    ASSERT_TRUE(QTest::qWaitFor([&] { return cli.state() == QProcess::NotRunning; }, 30000));
    ASSERT_EQ(cli.exitCode(), 0) << cli.readAllStandardError().toStdString();
    const QJsonObject out = TavrinJSON::decodeObject(cli.readAllStandardOutput());
    EXPECT_EQ(out.value("status").toString(), "Synchronisé · 2 appareils");
    EXPECT_EQ(out.value("connectedPeerNames").toVariant().toStringList(), (QStringList{android, ios}));
    EXPECT_EQ(out.value("preferredPeerNames").toVariant().toStringList(), (QStringList{ios, android}));
    const QStringList progress = QString::fromUtf8(cli.readAllStandardError()).split(u'\n', Qt::SkipEmptyParts);
    EXPECT_EQ(progress.last(), "Synchronisé · 2 appareils");
    EXPECT_EQ(dayNames(decodeLibrary(readFile(data.file("library.json")))), (QStringList{"Dimanche", "Samedi"}));
}

TEST(SyncCli, WithoutADaemonTheLocalWifiIsUnavailable)
{
    TempDataDir data;
    QProcess cli;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=" + data.file("no-bus"));
    cli.setProcessEnvironment(env);
    cli.start(binDir() + "/tavrin-cli", {"--data-dir", data.path(), "sync", "--for", "1"});
    ASSERT_TRUE(QTest::qWaitFor([&] { return cli.state() == QProcess::NotRunning; }, 15000));
    EXPECT_EQ(cli.exitCode(), 1);
    EXPECT_EQ(TavrinJSON::decodeObject(cli.readAllStandardOutput()).value("status").toString(), "Wi‑Fi local indisponible");
    EXPECT_TRUE(QString::fromUtf8(cli.readAllStandardError()).contains("Wi‑Fi local indisponible"));
}
