#include "base/Error.h"
#include "orders/OrdersStore.h"
#include "showcase/ShowcaseCatalogue.h"
#include "showcase/ShowcaseOrders.h"
#include "showcase/ShowcasePreviews.h"
#include "showcase/ShowcaseService.h"
#include "organizer/WorkspaceStore.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <vips/vips8>

#include <gtest/gtest.h>

#include <utime.h>

using namespace tavrin;

namespace {

void photo(const QString& path, int width, int height, std::vector<double> colour)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    vips::VImage::black(width, height, vips::VImage::option()->set("bands", 3))
        .new_from_image(colour)
        .cast(VIPS_FORMAT_UCHAR)
        .write_to_file(QFile::encodeName(path).constData());
}

QByteArray readAll(const QString& path)
{
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    return f.readAll();
}

class Showcase : public ::testing::Test {
protected:
    void SetUp() override
    {
        photos = dir.filePath("cavaliers");
        orders = dir.filePath("commandes");
        QDir().mkpath(orders);
        photo(photos + "/DUPONT Élise/DSC_0002.JPG", 600, 400, {200, 20, 30});
        photo(photos + "/DUPONT Élise/DSC_0001.JPG", 600, 400, {20, 200, 30});
        QFile(photos + "/DUPONT Élise/notes.txt").open(QIODevice::WriteOnly);
        photo(photos + "/MARTIN Paul/IMG_9.jpg", 300, 200, {0, 0, 0});
        photo(photos + "/.cache/x.jpg", 30, 20, {0, 0, 0});
    }

    QTemporaryDir dir;
    QString photos;
    QString orders;
};

} // namespace

TEST_F(Showcase, findsRidersByFoldedNameOrProgrammeNumberAndNamesPhotosByIdentifier)
{
    ProgrammeDocument programme;
    programme.days = {{"Samedi", {{"Samedi|GP", "Grand Prix", {{"12", "Élise", "Dupont", 3}, {"7", "Paul", "Martin", 4}}}}}};
    ShowcaseCatalogue catalogue(photos, {programme});

    const auto byName = catalogue.search("  eLISE ");
    ASSERT_EQ(byName.size(), 1);
    EXPECT_EQ(byName[0].name, QString("DUPONT Élise"));
    EXPECT_EQ(catalogue.search("dupont élise").size(), 1);
    EXPECT_EQ(catalogue.search("12").value(0).name, QString("DUPONT Élise"));
    EXPECT_EQ(catalogue.search("7").value(0).name, QString("MARTIN Paul"));
    EXPECT_TRUE(catalogue.search("99").isEmpty());
    EXPECT_TRUE(catalogue.search("").isEmpty());
    EXPECT_TRUE(catalogue.search("cache").isEmpty()); // hidden folders are nobody's

    // Photos only, in file-browser order; identifiers stay the same on the next look.
    const auto list = catalogue.photos(byName[0].id);
    ASSERT_EQ(list.size(), 2);
    EXPECT_EQ(list[0].name, QString("DSC_0001.JPG"));
    EXPECT_EQ(catalogue.photos(byName[0].id)[1].id, list[1].id);
    EXPECT_EQ(catalogue.photo(list[1].id)->path, QFileInfo(photos + "/DUPONT Élise/DSC_0002.JPG").absoluteFilePath());
    EXPECT_FALSE(catalogue.photo(9999));
    EXPECT_FALSE(catalogue.rider(-1));
    QFile::remove(list[0].path);
    EXPECT_FALSE(catalogue.photo(list[0].id)); // gone from the folder, gone from the showcase
}

TEST_F(Showcase, previewsAreSmallWatermarkedAlongTheBottomAndMadeOnce)
{
    photo(dir.filePath("big.jpg"), 3200, 2000, {200, 20, 30});
    const QString mark = dir.filePath("filigrane.png");
    vips::VImage::black(400, 40, vips::VImage::option()->set("bands", 3)).new_from_image({10, 20, 230}).cast(VIPS_FORMAT_UCHAR)
        .bandjoin_const({255}).copy(vips::VImage::option()->set("interpretation", VIPS_INTERPRETATION_sRGB))
        .write_to_file(QFile::encodeName(mark).constData());
    ShowcasePreviews previews(dir.filePath("cache"), mark);
    const QByteArray jpeg = previews.preview(dir.filePath("big.jpg"));
    const QImage image = QImage::fromData(jpeg, "JPEG");
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(std::max(image.width(), image.height()), 1600);
    // The watermark spans the width at its own aspect (1600 × 160), standing on the bottom edge.
    const QColor bottom = image.pixelColor(800, image.height() - 20);
    EXPECT_NEAR(bottom.blue(), 230, 12);
    EXPECT_NEAR(bottom.red(), 10, 12);
    const QColor top = image.pixelColor(800, 100);
    EXPECT_NEAR(top.red(), 200, 12);
    EXPECT_NEAR(top.blue(), 30, 12);
    EXPECT_NEAR(image.pixelColor(20, image.height() - 180).red(), 200, 12);

    const QString cached = previews.cachedFile(dir.filePath("big.jpg"));
    ASSERT_TRUE(QFileInfo::exists(cached));
    QFile::resize(cached, 0);
    QFile(cached).open(QIODevice::WriteOnly | QIODevice::Truncate);
    QFile f(cached);
    f.open(QIODevice::WriteOnly);
    f.write("cached");
    f.close();
    EXPECT_EQ(previews.preview(dir.filePath("big.jpg")), QByteArray("cached")); // read back, not made again
    EXPECT_TRUE(previews.preview(dir.filePath("missing.jpg")).isEmpty());
}

// Following copies a new rider's photos and more into an existing folder: their previews are in
// the cache before anyone asks. A rider organised just before the showcase opened is made ready
// too; one of an earlier day waits for its first visitor.
TEST_F(Showcase, aRiderFolderThatFillsHasItsPreviewsMadeBeforeAnyVisitorAsks)
{
    photo(photos + "/ROUX Léa/IMG_1.jpg", 1200, 800, {90, 40, 200});
    const time_t twoDaysAgo = time(nullptr) - 2 * 24 * 3600;
    const utimbuf times{twoDaysAgo, twoDaysAgo};
    for (const QString& folder : QStringList{photos + "/DUPONT Élise", photos + "/MARTIN Paul"})
        ASSERT_EQ(utime(QFile::encodeName(folder).constData(), &times), 0);
    ShowcaseService service;
    ShowcaseService::Options options;
    options.photos = photos;
    options.orders = orders;
    options.cacheFolder = dir.filePath("cache");
    options.server.address = QHostAddress::LocalHost;
    service.start(options);
    QStringList filled{photos + "/BERTIN Camille/IMG_0001.jpg", photos + "/BERTIN Camille/IMG_0002.jpg", photos + "/MARTIN Paul/IMG_10.jpg"};
    for (const QString& path : filled) photo(path, 1200, 800, {40, 90, 200});
    filled << photos + "/ROUX Léa/IMG_1.jpg";
    const auto ready = [&] {
        return std::all_of(filled.begin(), filled.end(), [&](const QString& p) { return QFileInfo::exists(service.previews()->cachedFile(p)); });
    };
    EXPECT_TRUE(QTest::qWaitFor(ready, 30000));
    EXPECT_FALSE(QFileInfo::exists(service.previews()->cachedFile(photos + "/DUPONT Élise/DSC_0001.JPG")));
    EXPECT_GT(service.previews()->cacheBytes(), 0);
    service.stop();
}

// Past its bound, the cache drops the previews of the riders looked at longest ago; a preview made
// ahead counts as a use of its rider, a look at a cached preview too.
TEST_F(Showcase, aSmallBoundDropsTheRidersLookedAtLongestAgoFirst)
{
    const auto riderPhotos = [&](const QString& rider) {
        const QStringList two{dir.filePath(rider + "/A.jpg"), dir.filePath(rider + "/B.jpg")};
        for (const QString& p : two) photo(p, 900, 600, {120, 120, 120});
        return two;
    };
    const QStringList a = riderPhotos("A"), b = riderPhotos("B"), c = riderPhotos("C"), d = riderPhotos("D");
    // One preview's size: every photo here gives the same bytes.
    const qint64 one = ShowcasePreviews(dir.filePath("probe"), std::nullopt, 400).preview(a[0]).size();
    ASSERT_GT(one, 0);
    ShowcasePreviews previews(dir.filePath("cache"), std::nullopt, 400, one * 9 / 2);
    const auto cached = [&](const QStringList& list) {
        return std::count_if(list.begin(), list.end(), [&](const QString& p) { return QFileInfo::exists(previews.cachedFile(p)); });
    };
    const auto pause = [] { QThread::msleep(30); };
    for (const QString& p : a) previews.preview(p);
    pause();
    for (const QString& p : b) previews.preview(p);
    pause();
    previews.prepare(dir.filePath("C"), [c] { return c; });
    previews.waitForAhead();
    EXPECT_EQ(cached(a), 0);
    EXPECT_EQ(cached(b), 2);
    EXPECT_EQ(cached(c), 2);
    EXPECT_LE(previews.cacheBytes(), previews.bound());
    pause();
    // B looked at again after C was made: C is now the one looked at longest ago.
    previews.preview(b[0]);
    pause();
    previews.prepare(dir.filePath("D"), [d] { return d; });
    previews.waitForAhead();
    EXPECT_EQ(cached(c), 0);
    EXPECT_EQ(cached(b), 2);
    EXPECT_EQ(cached(d), 2);
    EXPECT_EQ(previews.cacheBytes(), one * 4);
}

// A visitor's preview is made at once while the ahead-of-time queue still has a rider's folder to do.
TEST_F(Showcase, aPreviewRequestNeverWaitsForTheAheadOfTimeQueue)
{
    QStringList many;
    for (int i = 0; i < 12; ++i) {
        many << dir.filePath(QStringLiteral("GRAND Lot/IMG_%1.jpg").arg(i));
        photo(many.last(), 3000, 2000, {30, 140, 60});
    }
    photo(dir.filePath("AUTRE Rider/IMG_1.jpg"), 3000, 2000, {200, 20, 30});
    ShowcasePreviews previews(dir.filePath("cache"), std::nullopt);
    previews.prepare(dir.filePath("GRAND Lot"), [many] { return many; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return previews.pendingAhead() > 0; }, 10000));
    EXPECT_FALSE(previews.preview(dir.filePath("AUTRE Rider/IMG_1.jpg")).isEmpty());
    EXPECT_FALSE(previews.preview(many.last()).isEmpty());
    EXPECT_GT(previews.pendingAhead(), 0);
    previews.waitForAhead();
    EXPECT_EQ(previews.pendingAhead(), 0);
    EXPECT_TRUE(std::all_of(many.begin(), many.end(), [&](const QString& p) { return QFileInfo::exists(previews.cachedFile(p)); }));
}

TEST_F(Showcase, ordersBecomeCompleteFoldersThatNeverReplaceOneAndAreBounded)
{
    ShowcaseOrders::Limits limits;
    limits.perAddressPerMinute = 3;
    ShowcaseOrders placer(orders, limits);
    const QString a = photos + "/DUPONT Élise/DSC_0001.JPG";
    const QString b = photos + "/DUPONT Élise/DSC_0002.JPG";
    const QDateTime now(QDate(2026, 6, 14), QTime(15, 42));
    ShowcaseOrders::Order order{"  Jean / Dupont:*  ", "06 12 34 56 78",
                                {{a, "IMPRESSION A4"}, {b, "IMPRESSION A4"}, {a, "FICHIERS"}}, QHostAddress("192.168.1.30")};

    QDir().mkpath(orders + "/Jean Dupont 2026-06-14 15h42"); // somebody else's, even empty
    const QString first = placer.place(order, now);
    EXPECT_EQ(first, QString("Jean Dupont 2026-06-14 15h42 (2)"));
    EXPECT_TRUE(QDir(orders + "/Jean Dupont 2026-06-14 15h42").isEmpty());
    const QString folder = orders + '/' + first;
    EXPECT_EQ(readAll(folder + "/IMPRESSION A4/DSC_0002.JPG"), readAll(b));
    EXPECT_EQ(readAll(folder + "/FICHIERS/DSC_0001.JPG"), readAll(a));
    const QString note = QString::fromUtf8(readAll(folder + "/commande.txt"));
    EXPECT_TRUE(note.contains("Nom : Jean / Dupont:*")) << note.toStdString();
    EXPECT_TRUE(note.contains("Téléphone : 06 12 34 56 78"));
    EXPECT_TRUE(note.contains("14/06/2026 15:42"));
    EXPECT_TRUE(note.contains("IMPRESSION A4 : DSC_0001.JPG"));
    EXPECT_TRUE(NewOrder::isNew(folder));
    NewOrder::markOpened(folder);
    EXPECT_FALSE(NewOrder::isNew(folder));
    EXPECT_TRUE(QFileInfo(a).exists()); // the rider's files stay where they are

    EXPECT_EQ(placer.place(order, now), QString("Jean Dupont 2026-06-14 15h42 (3)"));
    placer.place(order, now.addSecs(10));
    EXPECT_THROW(placer.place(order, now.addSecs(20)), Error); // a fourth within the minute
    order.from = QHostAddress("192.168.1.31");
    EXPECT_NO_THROW(placer.place(order, now.addSecs(20)));
    EXPECT_NO_THROW(ShowcaseOrders(orders, limits).place({"X", "", {{a, "A"}}, QHostAddress("192.168.1.30")}, now.addSecs(61)));

    for (const QString& name : {QString("   "), QString("../..")})
        EXPECT_THROW(placer.place({name, "", {{a, "A"}}, QHostAddress("10.0.0.9")}, now), Error);
    limits.keepFreeBytes = std::numeric_limits<qint64>::max() / 2;
    EXPECT_THROW(ShowcaseOrders(orders, limits).place({"Plein", "", {{a, "A"}}, {}}, now), Error);
    const QStringList left = QDir(orders).entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden);
    EXPECT_EQ(left.size(), 6) << left.join(", ").toStdString(); // no hidden staging folder stays
}

TEST_F(Showcase, theOrdersScreenListsAnOrderAsSoonAsItIsPlaced)
{
    QDir().mkpath(orders + "/Ancienne commande/IMPRESSION A5");
    OrdersStore store(nullptr, dir.filePath("settings.json"));
    store.storeRoot(orders);
    store.reload();
    ASSERT_EQ(store.folders().size(), 1);
    const QString name = ShowcaseOrders(orders).place({"Zoé", "", {{photos + "/MARTIN Paul/IMG_9.jpg", "FICHIERS"}}, {}});
    QTRY_COMPARE_WITH_TIMEOUT(store.folders().size(), 2, 3000);
    EXPECT_EQ(store.folders()[1].name, name);
    EXPECT_TRUE(NewOrder::isNew(store.folders()[1].url));
}

// A late entry named by hand in the notes (n° 131, in no programme) is found by his number, and
// every photo of an order names its rider's folder and number.
TEST_F(Showcase, aRiderNamedInTheNotesIsFoundByNumberAndOrdersNameEveryPhotosRider)
{
    test::TempDataDir data;
    {
        WorkspaceStore workspace;
        workspace.adoptProgramme(ProgrammeDocument{
            "programme.xlsx", {{"Samedi", {{"Samedi|GP", "Grand Prix", {{"12", "Élise", "Dupont", 3}}}}}}});
        workspace.setManualRider(QUuid::createUuid(), "131", "Roussel", "Nathan");
    }
    photo(photos + "/ROUSSEL NATHAN/DSC_0129.JPG", 300, 200, {10, 10, 200});
    ShowcaseCatalogue catalogue(photos, ShowcaseCatalogue::knownProgrammes());
    EXPECT_EQ(catalogue.search("131").value(0).name, QString("ROUSSEL NATHAN"));
    EXPECT_EQ(catalogue.search("12").value(0).name, QString("DUPONT Élise"));

    ShowcaseOrders placer(orders);
    placer.riderNumber = [&](const QString& folder) { return catalogue.riderNumber(folder); };
    const QString folder = orders + '/' + placer.place({"Jean", "", {{photos + "/ROUSSEL NATHAN/DSC_0129.JPG", "FICHIERS"},
                                                                      {photos + "/DUPONT Élise/DSC_0001.JPG", "FICHIERS"},
                                                                      {photos + "/MARTIN Paul/IMG_9.jpg", "FICHIERS"}},
                                                        QHostAddress("192.168.1.30")});
    const QString note = QString::fromUtf8(readAll(folder + "/commande.txt"));
    EXPECT_TRUE(note.contains("FICHIERS : DSC_0129.JPG — ROUSSEL NATHAN (n° 131)\n")) << note.toStdString();
    EXPECT_TRUE(note.contains("FICHIERS : DSC_0001.JPG — DUPONT Élise (n° 12)\n")) << note.toStdString();
    EXPECT_TRUE(note.contains("FICHIERS : IMG_9.jpg — MARTIN Paul\n")) << note.toStdString();
}
