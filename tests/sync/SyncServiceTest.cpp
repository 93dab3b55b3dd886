#include "SyncTestSupport.h"
#include "TestSupport.h"
#include "base/UserDefaults.h"
#include "library/LibraryStore.h"
#include "sync/SyncFrameBuffer.h"
#include "sync/SyncService.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <gtest/gtest.h>

using namespace tavrin;
using namespace tavrin::test;

namespace {

const QString kMac = QStringLiteral("TAVRIN Mac 9Z9Z");
const QString kAndroid = QStringLiteral("TAVRIN Android 1A2B"); // sorts before kMac: dialled at once
const QString kIOS = QStringLiteral("TAVRIN iOS 1A2B");         // sorts after kMac: dialled after 2 s

// A service named kMac on a fake discovery, created in a fresh data folder.
struct Fixture {
    TempDataDir data;
    FakeDiscovery* discovery = nullptr;
    std::unique_ptr<SyncService> service;

    explicit Fixture(const QStringList& preferred = {})
    {
        UserDefaults::standard().setString(QStringLiteral("tavrin.peerName.mac.v3"), kMac);
        if (!preferred.isEmpty()) UserDefaults::standard().setStringList(QStringLiteral("tavrin.preferredPeerNames.mac.v2"), preferred);
        auto fake = std::make_unique<FakeDiscovery>();
        discovery = fake.get();
        service = std::make_unique<SyncService>(QStringLiteral("mac"), std::move(fake));
    }
};

// A phone written by hand, to see every frame the desktop sends.
struct ScriptedPhone {
    QTcpSocket* socket;
    SyncFrameBuffer buffer;
    QList<SyncEnvelope> received;

    explicit ScriptedPhone(QTcpSocket* s) : socket(s)
    {
        QObject::connect(socket, &QTcpSocket::readyRead, [this] {
            buffer.append(socket->readAll(), [this](SyncEnvelope&& e) {
                received.push_back(std::move(e));
                return true;
            });
        });
    }
    void send(SyncEnvelopeKind kind, const QString& name, std::optional<LibrarySnapshot> library = std::nullopt)
    {
        socket->write(*SyncFraming::frame(SyncEnvelope{kind, QStringLiteral("android"), std::move(library), name}));
    }
    bool closed() const { return socket->state() == QAbstractSocket::UnconnectedState; }
};

LibrarySnapshot libraryWithDay(const QString& name)
{
    LibrarySnapshot lib = LibrarySnapshot::empty();
    lib.days.push_back({QUuid::createUuid(), name, lib.updatedAt, 0});
    return lib;
}

} // namespace

TEST(SyncNames, FriendlyNamesBaseNamesAndDeduplication)
{
    EXPECT_EQ(SyncService::friendlyName(QStringLiteral(" TAVRIN iOS 1A2B (2) ")), "iPhone 1A2B");
    EXPECT_EQ(SyncService::friendlyName(QStringLiteral("TAVRIN Android 3C4D")), "Android 3C4D");
    EXPECT_EQ(SyncService::friendlyName(QStringLiteral("TAVRIN Mac 9Z9Z")), "Mac 9Z9Z");
    EXPECT_EQ(SyncService::friendlyName(QStringLiteral("Pixel (x)")), "Pixel (x)");
    EXPECT_TRUE(SyncService::sameDevice(QStringLiteral("iPhone Anne"), QStringLiteral("iphone anne (2)")));
    EXPECT_FALSE(SyncService::sameDevice(QStringLiteral("iPhone Anne"), QStringLiteral("iPhone Anne 2")));
    EXPECT_EQ(SyncService::uniqueDeviceNames({"iPhone Anne", "iphone anne (2)", " ", " Pixel "}), (QStringList{"iPhone Anne", "Pixel"}));
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^TAVRIN Android [0-9A-F]{4}$"))
                    .match(SyncService::newPeerName(QStringLiteral("android"))).hasMatch());
}

TEST(SyncServiceSetup, DeviceNameAndChosenDevicesPersist)
{
    TempDataDir data;
    UserDefaults& defaults = UserDefaults::standard();
    defaults.setString(QStringLiteral("tavrin.peerName.mac.v3"), QString());
    defaults.setString(QStringLiteral("tavrin.preferredPeerName.mac"), QStringLiteral("TAVRIN iOS 7777"));
    QString generated;
    {
        SyncService service(QStringLiteral("mac"), std::make_unique<FakeDiscovery>());
        generated = service.peerName();
        EXPECT_TRUE(generated.startsWith(QStringLiteral("TAVRIN Mac ")));
        EXPECT_EQ(defaults.string(QStringLiteral("tavrin.peerName.mac.v3")), generated);
        EXPECT_EQ(service.preferredPeerNames(), QStringList{"TAVRIN iOS 7777"}) << "taken from the legacy key";
        service.setPeerEnabled(QStringLiteral("  Pixel "), true);
        service.setPeerEnabled(QStringLiteral("pixel (2)"), true);
    }
    EXPECT_FALSE(defaults.contains(QStringLiteral("tavrin.preferredPeerName.mac")));
    auto fake = std::make_unique<FakeDiscovery>();
    FakeDiscovery* discovery = fake.get();
    SyncService again(QStringLiteral("mac"), std::move(fake));
    EXPECT_EQ(again.peerName(), generated);
    EXPECT_EQ(again.preferredPeerNames(), (QStringList{"TAVRIN iOS 7777", "Pixel"}));
    EXPECT_EQ(again.status(), SyncStatus::idle());

    again.start(false);
    EXPECT_EQ(discovery->publishedName, generated);
    EXPECT_EQ(discovery->publishedTxt, (QMap<QString, QString>{{"app", "TAVRIN"}, {"role", "mac"}}));
    EXPECT_NE(again.listeningPort(), 0);
}

TEST(SyncServiceBrowse, FiltersGroupsAndSortsWhatIsFound)
{
    Fixture f;
    f.service->start(false);
    BrowseResult desktop = phoneAt(QStringLiteral("TAVRIN Mac 0000"), 1, QStringLiteral("mac"));
    BrowseResult otherApp = phoneAt(QStringLiteral("Printer"), 2);
    otherApp.txt->insert(QStringLiteral("app"), QStringLiteral("OTHER"));
    BrowseResult noTxt = phoneAt(QStringLiteral("Zed"), 3);
    noTxt.txt.reset();
    BrowseResult self = phoneAt(kMac, 4, QStringLiteral("ios"));
    BrowseResult viaP2P = phoneAt(QStringLiteral("TAVRIN iOS 1A2B (2)"), 5);
    viaP2P.endpoint.interface = SyncEndpoint::Interface::other;
    BrowseResult viaWifi = phoneAt(QStringLiteral("tavrin ios 1a2b (3)"), 6);
    BrowseResult viaWired = phoneAt(QStringLiteral("TAVRIN iOS 1A2B"), 7);
    viaWired.endpoint.interface = SyncEndpoint::Interface::wired;

    f.discovery->found({noTxt, desktop, otherApp, self, viaP2P, viaWifi, viaWired});
    const QList<SyncPeer>& peers = f.service->nearbyPeers();
    ASSERT_EQ(peers.size(), 2);
    EXPECT_EQ(peers[0].name, kIOS) << "the shortest name of the device";
    EXPECT_EQ(peers[0].endpoint.port, 6) << "its Wi-Fi endpoint";
    EXPECT_EQ(peers[1].name, "Zed");
    EXPECT_EQ(f.service->statusTitle(), "Choisissez un appareil");
    EXPECT_EQ(f.service->listedPeerNames(), (QStringList{kIOS, "Zed"}));
}

TEST(SyncServiceStatus, SearchingTitlesDependOnChosenAndNearbyDevices)
{
    Fixture f;
    EXPECT_EQ(f.service->statusTitle(), "Inactif");
    f.service->start(false);
    EXPECT_EQ(f.service->statusTitle(), "Recherche…");
    f.service->setPeerEnabled(QStringLiteral("Pixel"), true);
    EXPECT_EQ(f.service->statusTitle(), "Recherche des appareils…");
    f.discovery->found({phoneAt(QStringLiteral("Zed"), 1)});
    EXPECT_EQ(f.service->statusTitle(), "Appareils hors de portée");
    EXPECT_EQ(f.service->listedPeerNames(), (QStringList{"Pixel", "Zed"}));
    f.service->forgetPeer(QStringLiteral("pixel"));
    EXPECT_EQ(f.service->listedPeerNames(), QStringList{"Zed"});
    EXPECT_EQ(f.service->statusTitle(), "Choisissez un appareil");
}

TEST(SyncServiceStart, RestartsDiscoveryOnceWithinTwoSecondsUnlessForced)
{
    Fixture f;
    f.service->restart(); // not started yet: starts
    EXPECT_TRUE(f.service->isStarted());
    EXPECT_EQ(f.discovery->browseStarts, 1);
    f.discovery->found({phoneAt(QStringLiteral("Zed"), 1)});
    f.service->start(false);
    f.service->start(false);
    EXPECT_EQ(f.discovery->browseStarts, 2);
    EXPECT_TRUE(f.service->nearbyPeers().isEmpty()) << "a restart forgets what was found";
    f.service->start(true);
    f.service->restart();
    EXPECT_EQ(f.discovery->browseStarts, 4);
    f.service->refreshPeers();
    EXPECT_EQ(f.discovery->browseStarts, 5);
}

TEST(SyncServiceLinks, SmallerNameIsDialledAtOnceTheOtherAfterTwoSeconds)
{
    TempDataDir peers;
    PeerProcess android({"--role", "android", "--name", kAndroid, "--no-advertise", "--no-dial"});
    PeerProcess ios({"--role", "ios", "--name", kIOS, "--no-advertise", "--no-dial",
                     "--library", writeLibraryFile(peers.file("ios.json"), QStringLiteral("Samedi"), 3)});
    Fixture f({kIOS, kAndroid});
    LibraryStore store;
    f.service->onLibraryReceived = [&](const LibrarySnapshot& lib) { store.replaceFromRemote(lib); };
    f.service->start(false);

    f.discovery->found({phoneAt(kIOS, ios.port()), phoneAt(kAndroid, android.port(), QStringLiteral("android"))});
    EXPECT_EQ(f.service->status(), SyncStatus::connecting(kAndroid)) << "dialled without waiting";
    EXPECT_EQ(f.service->statusTitle(), "Lien avec Android 1A2B…");
    ASSERT_TRUE(QTest::qWaitFor([&] { return f.service->isLinked(kAndroid); }, 5000));
    EXPECT_EQ(ios.count("connected"), 0);
    EXPECT_EQ(f.service->statusTitle(), "Synchronisé · Android 1A2B");

    // Another browse update restarts the iOS wait; linking the Android cancelled the first one.
    f.discovery->found({phoneAt(kIOS, ios.port()), phoneAt(kAndroid, android.port(), QStringLiteral("android"))});
    ASSERT_TRUE(QTest::qWaitFor([&] { return f.service->isLinked(kIOS); }, 5000));
    EXPECT_EQ(f.service->connectedPeerNames(), (QStringList{kAndroid, kIOS}));
    EXPECT_EQ(f.service->statusTitle(), "Synchronisé · 2 appareils");
    ASSERT_TRUE(QTest::qWaitFor([&] { return dayNames(store.snapshot()) == QStringList{"Samedi"}; }, 5000));
    EXPECT_EQ(dayNames(decodeLibrary(readFile(f.data.file("library.json")))), QStringList{"Samedi"});

    f.service->setPeerEnabled(kIOS, false);
    EXPECT_EQ(f.service->connectedPeerNames(), QStringList{kAndroid});
    f.service->setPeerEnabled(kAndroid, false);
    EXPECT_TRUE(f.service->connectedPeerNames().isEmpty());
    EXPECT_EQ(f.service->statusTitle(), "Choisissez un appareil");
}

TEST(SyncServiceLinks, ReconnectsAfterThePhoneRestarts)
{
    Fixture f({kAndroid});
    auto phone = std::make_unique<PeerProcess>(QStringList{"--role", "android", "--name", kAndroid, "--no-advertise", "--no-dial"});
    const quint16 port = phone->port();
    f.service->start(false);
    f.discovery->found({phoneAt(kAndroid, port, QStringLiteral("android"))});
    ASSERT_TRUE(QTest::qWaitFor([&] { return f.service->isLinked(kAndroid); }, 5000));

    phone.reset();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !f.service->isLinked(kAndroid); }, 5000));
    phone = std::make_unique<PeerProcess>(
        QStringList{"--role", "android", "--name", kAndroid, "--no-advertise", "--no-dial", "--port", QString::number(port)});
    EXPECT_TRUE(QTest::qWaitFor([&] { return f.service->isLinked(kAndroid); }, 10000));
}

TEST(SyncServiceExchange, GreetsRequestsAnswersHelloAndNeverSendsItsLibrary)
{
    Fixture f({kAndroid});
    LibraryStore store;
    store.addDay(QStringLiteral("Vendredi"));
    f.service->onLibraryReceived = [&](const LibrarySnapshot& lib) { store.replaceFromRemote(lib); };
    QTcpServer phoneServer;
    ASSERT_TRUE(phoneServer.listen(QHostAddress::LocalHost));
    f.service->start(false);
    f.discovery->found({phoneAt(kAndroid, phoneServer.serverPort(), QStringLiteral("android"))});
    ASSERT_TRUE(phoneServer.waitForNewConnection(5000));
    ScriptedPhone phone(phoneServer.nextPendingConnection());

    ASSERT_TRUE(QTest::qWaitFor([&] { return phone.received.size() == 2; }, 5000));
    EXPECT_EQ(phone.received[0], (SyncEnvelope{SyncEnvelopeKind::hello, "mac", std::nullopt, kMac}));
    EXPECT_EQ(phone.received[1], (SyncEnvelope{SyncEnvelopeKind::requestLibrary, "mac", std::nullopt, std::nullopt}));

    phone.send(SyncEnvelopeKind::requestLibrary, kAndroid);
    phone.send(SyncEnvelopeKind::hello, QString()); // no name: nothing renamed
    ASSERT_TRUE(QTest::qWaitFor([&] { return phone.received.size() == 3; }, 5000));
    EXPECT_EQ(phone.received[2].kind, SyncEnvelopeKind::requestLibrary);
    EXPECT_EQ(f.service->connectedPeerNames(), QStringList{kAndroid});

    phone.send(SyncEnvelopeKind::library, kAndroid, libraryWithDay(QStringLiteral("Samedi")));
    phone.send(SyncEnvelopeKind::library, kAndroid); // without a snapshot: ignored
    ASSERT_TRUE(QTest::qWaitFor([&] { return store.snapshot().days.size() == 2; }, 5000));
    EXPECT_EQ(dayNames(decodeLibrary(readFile(f.data.file("library.json")))), (QStringList{"Samedi", "Vendredi"}));
    QTest::qWait(200);
    EXPECT_EQ(phone.received.size(), 3) << "a requestLibrary is never answered";
}

TEST(SyncServiceExchange, DropsUnchosenDevicesAndHoldsOneLinkPerDevice)
{
    Fixture f;
    LibraryStore store;
    f.service->onLibraryReceived = [&](const LibrarySnapshot& lib) { store.replaceFromRemote(lib); };
    f.service->start(false);

    QTcpSocket refused;
    refused.connectToHost(QHostAddress::LocalHost, f.service->listeningPort());
    EXPECT_TRUE(QTest::qWaitFor([&] { return refused.state() == QAbstractSocket::UnconnectedState; }, 5000))
        << "nothing chosen: incoming connections are closed";

    f.service->setPeerEnabled(kAndroid, true);
    QTcpSocket strangerSocket, firstSocket, secondSocket;
    ScriptedPhone stranger(&strangerSocket), first(&firstSocket), second(&secondSocket);
    for (QTcpSocket* s : {&strangerSocket, &firstSocket, &secondSocket}) s->connectToHost(QHostAddress::LocalHost, f.service->listeningPort());
    ASSERT_TRUE(QTest::qWaitFor([&] { return second.received.size() == 2 && stranger.received.size() == 2; }, 5000));
    EXPECT_EQ(f.service->connectedPeerNames().size(), 3) << "pending links until they say who they are";

    stranger.send(SyncEnvelopeKind::library, QStringLiteral("TAVRIN iOS 6666"), libraryWithDay(QStringLiteral("Intrus")));
    first.send(SyncEnvelopeKind::hello, kAndroid);
    ASSERT_TRUE(QTest::qWaitFor([&] { return stranger.closed() && first.received.size() == 3; }, 5000));
    second.send(SyncEnvelopeKind::hello, QStringLiteral("tavrin android 1a2b (2)"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return first.closed(); }, 5000)) << "the same device's older link goes";
    EXPECT_EQ(f.service->connectedPeerNames(), QStringList{"tavrin android 1a2b (2)"});
    EXPECT_TRUE(store.snapshot().days.isEmpty()) << "a library from an unchosen device is never merged";
}

TEST(SyncServiceFaults, MisbehavingPhonesLeaveTheServiceRunningAndTheLibraryIntact)
{
    // Android names sort before the desktop's: each phone is dialled at once.
    const QString noisyName = kAndroid, trickleName = QStringLiteral("TAVRIN Android 2B3C"),
                  floodName = QStringLiteral("TAVRIN Android 5555"), cutName = QStringLiteral("TAVRIN Android 6666");
    Fixture f({noisyName, trickleName, floodName, cutName});
    LibraryStore store;
    store.addDay(QStringLiteral("Vendredi"));
    f.service->onLibraryReceived = [&](const LibrarySnapshot& lib) { store.replaceFromRemote(lib); };
    f.service->start(false);
    const QString library = writeLibraryFile(f.data.file("phone.json"), QStringLiteral("Samedi"), 40);
    const auto args = [](const QString& name) { return QStringList{"--role", "android", "--name", name, "--no-advertise", "--no-dial"}; };

    // An oversized frame, then a drop in the middle of the library: the link is closed each
    // time and redialled 2 s later, while nothing reaches the library.
    PeerProcess flood(args(floodName) + QStringList{"--oversized"});
    f.discovery->found({phoneAt(floodName, flood.port())});
    EXPECT_TRUE(flood.waitFor("connected", 2, 10000)) << "redialled after the oversized frame";
    PeerProcess cut(args(cutName) + QStringList{"--library", library, "--disconnect-mid-frame"});
    f.discovery->found({phoneAt(cutName, cut.port())});
    EXPECT_TRUE(cut.waitFor("connected", 2, 10000)) << "redialled after the cut";
    EXPECT_EQ(dayNames(store.snapshot()), QStringList{"Vendredi"});
    EXPECT_LE(f.service->bufferHighWater(), 8'000'000 + 262'144);

    // A thousand random or malformed frames, split writes and slow reads: every valid frame
    // after the noise still counts.
    PeerProcess noisy(args(noisyName) + QStringList{"--library", library, "--garbage", "1000", "--seed", "7"});
    PeerProcess trickle(args(trickleName) + QStringList{"--library", library, "--split-writes", "3", "--slow-read"});
    f.discovery->found({phoneAt(noisyName, noisy.port()), phoneAt(trickleName, trickle.port())});
    EXPECT_TRUE(QTest::qWaitFor([&] { return f.service->isLinked(noisyName) && f.service->isLinked(trickleName); }, 10000));
    EXPECT_TRUE(noisy.waitFor("sent library") && trickle.waitFor("sent library"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return store.snapshot().spreadsheets.size() == 1; }, 10000));
    EXPECT_EQ(dayNames(store.snapshot()), (QStringList{"Samedi", "Vendredi"}));
    EXPECT_EQ(store.snapshot().spreadsheets.first().filledRowCount(), 40);
    EXPECT_EQ(f.service->statusTitle(), "Synchronisé · 2 appareils");
    EXPECT_LE(f.service->bufferHighWater(), 8'000'000 + 262'144);
}
