#include "TestSupport.h"
#include "base/TavrinJSON.h"
#include "editing/RetouchBridges.h"
#include "orders/OrdersScreenModel.h"
#include "orders/OrdersStore.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>
#include <vips/vips8>

using namespace tavrin;
using test::readFile;
using test::TempDataDir;

namespace {

void makeImage(const QString& path, const QString& size, const QString& colour)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    ASSERT_EQ(QProcess::execute(QStringLiteral("convert"), {QStringLiteral("-size"), size, QStringLiteral("xc:") + colour, path}), 0);
}

void touch(const QString& path, const QByteArray& data = "x")
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    test::writeFile(path, data);
}

QStringList names(const QList<OrderSection>& sections)
{
    QStringList out;
    for (const OrderSection& s : sections) out.push_back(s.name);
    return out;
}

QStringList fileNames(const OrderSection& section)
{
    QStringList out;
    for (const OrderMedia& m : section.files) out.push_back(QFileInfo(m.url).fileName());
    return out;
}

QJsonObject readSettings(const TempDataDir& data)
{
    return TavrinJSON::decodeObject(readFile(data.file(QStringLiteral("Orders/settings.json"))));
}

std::vector<double> pixel(const QString& path, int x, int y)
{
    RetouchBridges::ensureVips();
    vips_cache_set_max(0);
    return vips::VImage::new_from_file(QFile::encodeName(path).constData()).getpoint(x, y);
}

// A root with two orders; "Dupont" holds top-level media, two type folders and clutter.
struct OrdersFixture : ::testing::Test {
    TempDataDir data;
    QString root = data.file(QStringLiteral("Commandes"));
    QString order = root + QStringLiteral("/Dupont");
    void SetUp() override
    {
        touch(order + QStringLiteral("/IMG.JPG"));
        touch(order + QStringLiteral("/img.jpg"));
        touch(order + QStringLiteral("/clip.MOV"));
        touch(order + QStringLiteral("/notes.txt"));
        touch(order + QStringLiteral("/.cache.jpg"));
        touch(order + QStringLiteral("/IMPRESSION 10/IMG_0002.jpg"));
        touch(order + QStringLiteral("/IMPRESSION 9/IMG_0001.jpg"));
        // A RAW sent with its JPEG, and one whose JPEG never came.
        touch(order + QStringLiteral("/IMPRESSION 9/IMG_0001.NEF"));
        touch(order + QStringLiteral("/IMPRESSION 10/IMG_0003.NEF"));
        QDir().mkpath(order + QStringLiteral("/.hidden"));
        QDir().mkpath(order + QStringLiteral("/Catalogue.photoslibrary"));
        QDir().mkpath(root + QStringLiteral("/Adam"));
    }
};

} // namespace

TEST_F(OrdersFixture, ListsOrdersAndSectionsInFileBrowserOrder)
{
    OrdersStore store;
    store.storeRoot(root);
    EXPECT_EQ(store.rootName(), QStringLiteral("Commandes"));
    ASSERT_EQ(store.folders().size(), 2);
    EXPECT_EQ(store.folders()[0].name, QStringLiteral("Adam"));
    // The first order is selected and has no media.
    EXPECT_EQ(store.selectedFolderID(), root + QStringLiteral("/Adam"));
    EXPECT_TRUE(store.sections().isEmpty());
    EXPECT_EQ(OrdersScreen::summaryLine(store.sections()), QStringLiteral("Aucun contenu exploitable"));

    store.selectFolder(order);
    EXPECT_EQ(names(store.sections()), (QStringList{"Fichiers", "IMPRESSION 9", "IMPRESSION 10"}));
    EXPECT_EQ(fileNames(store.sections()[0]), (QStringList{"clip.MOV", "IMG.JPG", "img.jpg"}));
    EXPECT_TRUE(store.sections()[0].files[0].isVideo);
    EXPECT_FALSE(store.sections()[0].files[1].isVideo);
    EXPECT_EQ(store.sections()[0].url, order);
    // The JPEG of a RAW and JPEG pair stands for both; a RAW alone is listed.
    EXPECT_EQ(fileNames(store.sections()[1]), (QStringList{"IMG_0001.jpg"}));
    EXPECT_EQ(fileNames(store.sections()[2]), (QStringList{"IMG_0002.jpg", "IMG_0003.NEF"}));
    EXPECT_EQ(OrdersScreen::summaryLine(store.sections()), QStringLiteral("2 types · 6 fichiers"));
    EXPECT_EQ(readSettings(data).value("selectedFolderPath").toString(), order);

    // Numbers inside names compare as numbers.
    EXPECT_LT(OrdersStore::compareNames(QStringLiteral("IMPRESSION 9"), QStringLiteral("impression 10")), 0);
}

TEST_F(OrdersFixture, UnreadableRootAndVanishedSelection)
{
    {
        OrdersStore store;
        store.storeRoot(root);
        store.selectFolder(order);
    }
    QDir(order).removeRecursively();
    {
        OrdersStore store;
        store.reload();
        EXPECT_EQ(store.selectedFolderID(), root + QStringLiteral("/Adam"));
        EXPECT_EQ(readSettings(data).value("selectedFolderPath").toString(), root + QStringLiteral("/Adam"));
    }
    EXPECT_THROW(OrdersStore::directories(data.file(QStringLiteral("absent"))), Error);
    QDir(root).removeRecursively();
    OrdersStore store;
    store.reload();
    EXPECT_TRUE(store.folders().isEmpty());
    EXPECT_TRUE(store.sections().isEmpty());
}

TEST(OrdersStoreFile, LegacyWatermarkAndUnknownSelection)
{
    TempDataDir data;
    const QString mark = data.file(QStringLiteral("logo.png"));
    touch(mark);
    touch(data.file(QStringLiteral("Orders/settings.json")),
          TavrinJSON::encode(QJsonObject{{"watermarkBookmark", TavrinJSON::dataValue(mark.toUtf8())}}));
    {
        OrdersStore store;
        ASSERT_EQ(store.watermarks().size(), 1);
        EXPECT_EQ(store.watermarks()[0].name, QStringLiteral("Filigrane"));
        EXPECT_EQ(store.selectedWatermarkID(), store.watermarks()[0].id);
        EXPECT_EQ(store.resolveWatermark(), mark);
        store.markDelivered({mark});
    }
    QJsonObject written = readSettings(data);
    EXPECT_FALSE(written.contains("watermarkBookmark"));
    EXPECT_FALSE(written.contains("watermarkName"));
    EXPECT_EQ(written.value("watermarks").toArray().size(), 1);

    written.insert("selectedWatermarkID", "0000");
    written.insert("retouch", QJsonObject{{"exposure", 0.5}});
    test::writeFile(data.file(QStringLiteral("Orders/settings.json")), TavrinJSON::encode(written));
    OrdersStore store;
    EXPECT_EQ(store.selectedWatermarkID(), store.watermarks()[0].id);
    EXPECT_EQ(store.retouch().exposure, 0.5);
}

TEST(OrdersStoreFile, WatermarkListAndDeliveredPaths)
{
    TempDataDir data;
    const QString a = data.file(QStringLiteral("a.png")), b = data.file(QStringLiteral("b.png"));
    touch(a);
    touch(b);
    OrdersStore store;
    store.addWatermark(a);
    store.addWatermark(b);
    const QString idA = store.watermarks()[0].id;
    // The same file again selects the entry it already has.
    store.addWatermark(data.file(QStringLiteral("x/../a.png")));
    ASSERT_EQ(store.watermarks().size(), 2);
    EXPECT_EQ(store.selectedWatermarkID(), idA);
    EXPECT_EQ(store.watermarks()[0].id.toUpper(), idA);

    store.removeWatermark(idA);
    EXPECT_EQ(store.selectedWatermarkID(), store.watermarks()[0].id);
    EXPECT_EQ(store.resolveWatermark(), b);
    store.removeWatermark(store.watermarks()[0].id);
    EXPECT_FALSE(store.selectedWatermarkID());
    EXPECT_FALSE(store.resolveWatermark());

    store.addWatermark(data.file(QStringLiteral("absent.png")));
    EXPECT_EQ(store.errorMessage(), QStringLiteral("Impossible d’enregistrer l’accès à ce filigrane."));

    store.markDelivered({data.file(QStringLiteral("z/IMG_2.jpg")), data.file(QStringLiteral("z/../z/IMG_1.jpg"))});
    const QJsonArray delivered = readSettings(data).value("deliveredPaths").toArray();
    ASSERT_EQ(delivered.size(), 3);
    for (qsizetype i = 1; i < delivered.size(); ++i) EXPECT_LT(delivered[i - 1].toString(), delivered[i].toString());
    const QByteArray first = readFile(data.file(QStringLiteral("Orders/settings.json")));

    OrdersStore again;
    EXPECT_TRUE(again.isDelivered(data.file(QStringLiteral("z/IMG_1.jpg"))));
    EXPECT_FALSE(again.isDelivered(data.file(QStringLiteral("z/IMG_3.jpg"))));
    again.markDelivered({data.file(QStringLiteral("z/IMG_2.jpg"))});
    EXPECT_EQ(readFile(data.file(QStringLiteral("Orders/settings.json"))), first);
}

TEST_F(OrdersFixture, WatcherFoldsBurstsAndReloadsOnlyWhenAPathGoes)
{
    OrdersStore store;
    store.storeRoot(root);
    store.selectFolder(order);
    const QString photo = order + QStringLiteral("/IMPRESSION 9/IMG_0001.jpg");
    ASSERT_TRUE(store.watchedPaths().contains(photo));
    QSignalSpy edited(&store, &OrdersStore::fileEdited);
    const int loads = store.sectionLoads();

    // Ten rewrites in place within 0.1 s, as another program saving repeatedly.
    QElapsedTimer sinceLast;
    for (int i = 0; i < 10; ++i) {
        QFile file(photo);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(QByteArray(100 + i, 'a'));
        file.close();
        sinceLast.start();
        QTest::qWait(8);
    }
    ASSERT_TRUE(QTest::qWaitFor([&] { return edited.count() > 0; }, 3000));
    EXPECT_GE(sinceLast.elapsed(), 150);
    QTest::qWait(400);
    ASSERT_EQ(edited.count(), 1);
    EXPECT_EQ(edited[0][0].toString(), photo);
    EXPECT_EQ(store.fileRevision(photo), 1);
    EXPECT_EQ(store.sectionLoads(), loads);

    // A deleted file makes the sections listed again.
    QFile::remove(order + QStringLiteral("/IMG.JPG"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return store.sectionLoads() > loads; }, 3000));
    EXPECT_EQ(fileNames(store.sections()[0]), (QStringList{"clip.MOV", "img.jpg"}));
    EXPECT_FALSE(store.watchedPaths().contains(order + QStringLiteral("/IMG.JPG")));
}

TEST(OrdersScreenModel, SeparatorsSummariesSearchAndSelection)
{
    auto media = [](const QString& name) { return OrderMedia{QStringLiteral("/o/") + name, name.endsWith(".MOV")}; };
    const OrderSection photos{"IMPRESSION A5", "/o", {media("IMG_0101.JPG"), media("IMG_0102.JPG"), media("IMG_0110.JPG")}};
    const QList<OrderGalleryItem> items = OrdersScreen::galleryItems(photos);
    ASSERT_EQ(items.size(), 4);
    EXPECT_TRUE(items[2].isSeparator());
    EXPECT_EQ(items[2].separatorID, QStringLiteral("/o/IMG_0102.JPG/o/IMG_0110.JPG"));
    const OrderSection video{"Fichiers", "/o", {media("IMG_0100.JPG"), media("IMG_0110.MOV"), media("IMG_0120.JPG"), media("DSC.JPG")}};
    for (const OrderGalleryItem& item : OrdersScreen::galleryItems(video)) EXPECT_FALSE(item.isSeparator());

    EXPECT_EQ(OrdersScreen::summaryLine({video}), QStringLiteral("4 fichiers"));
    EXPECT_EQ(OrdersScreen::summaryLine({OrderSection{"IMPRESSION", "/o", {media("a.jpg")}}}), QStringLiteral("1 type · 1 fichier"));
    EXPECT_EQ(OrdersScreen::selectionSummary(0), QStringLiteral("Aucun fichier sélectionné"));
    EXPECT_EQ(OrdersScreen::selectionSummary(1), QStringLiteral("1 fichier sélectionné"));
    EXPECT_EQ(OrdersScreen::selectionSummary(3), QStringLiteral("3 fichiers sélectionnés"));

    const QList<OrderFolder> folders{{"IMPRESSION A4", "/r/a"}, {"Élodie", "/r/e"}};
    EXPECT_EQ(OrdersScreen::filteredFolders(folders, QStringLiteral("  impr \n")).size(), 1);
    EXPECT_EQ(OrdersScreen::filteredFolders(folders, QStringLiteral("elo")).value(0).name, QStringLiteral("Élodie"));
    EXPECT_EQ(OrdersScreen::filteredFolders(folders, QString()).size(), 2);

    const QList<OrderMedia> all = OrdersScreen::allFiles({photos, video});
    OrdersSelection selection;
    selection.handleClick(all, all[2], {true, false});
    EXPECT_EQ(selection.selectedIDs(), QSet<QString>{all[2].url});
    selection.handleClick(all, all[5], {true, false});
    EXPECT_EQ(selection.selectedIDs().size(), 4);
    selection.handleClick(all, all[3], {false, true});
    EXPECT_EQ(selection.selectedMedia(all), (QList<OrderMedia>{all[2], all[4], all[5]}));
    EXPECT_EQ(selection.handleClick(all, all[0], {}, true), OrdersSelection::Outcome::openCrop);
    EXPECT_EQ(selection.handleClick(all, all[4], {}, true), OrdersSelection::Outcome::selectionChanged);
    EXPECT_EQ(selection.selectedIDs(), QSet<QString>{all[4].url});
}

TEST(OrdersBatch, RefusalsChangeNothing)
{
    TempDataDir data;
    const QString photo = data.file(QStringLiteral("o/IMG_0001.jpg"));
    makeImage(photo, "40x30", "gray50");
    const QByteArray before = readFile(photo);
    OrdersStore store;
    EXPECT_FALSE(store.applyWatermark({data.file(QStringLiteral("o/clip.mp4"))}));
    EXPECT_FALSE(store.errorMessage());
    EXPECT_FALSE(store.applyWatermark({photo}));
    EXPECT_EQ(store.errorMessage(), QStringLiteral("Choisissez d’abord un fichier filigrane."));
    EXPECT_FALSE(store.applyRetouch({photo}));
    EXPECT_EQ(store.errorMessage(), QStringLiteral("Réglez d’abord la retouche dans le panneau de gauche."));
    QTest::qWait(50);
    EXPECT_EQ(readFile(photo), before);
    EXPECT_EQ(store.fileRevision(photo), 0);
}

TEST(OrdersBatch, WatermarkOffTheMainThreadWithProgressAndLastError)
{
    TempDataDir data;
    const QString good = data.file(QStringLiteral("o/IMG_0001.jpg")), broken = data.file(QStringLiteral("o/IMG_0002.jpg"));
    const QString mark = data.file(QStringLiteral("logo.png"));
    makeImage(good, "120x80", "rgb(100,100,100)");
    makeImage(mark, "60x15", "red");
    touch(broken, "tronqué");
    OrdersStore store;
    store.addWatermark(mark);
    QSignalSpy progress(&store, &OrdersStore::batchProgress);
    QSignalSpy finished(&store, &OrdersStore::batchFinished);
    ASSERT_TRUE(store.applyWatermark({good, broken, data.file(QStringLiteral("o/clip.mov"))}));
    EXPECT_TRUE(store.isBatchRunning());
    EXPECT_FALSE(store.applyRetouch({good}));
    ASSERT_TRUE(QTest::qWaitFor([&] { return finished.count() == 1; }, 20000));
    EXPECT_FALSE(finished[0][0].toBool());
    ASSERT_EQ(progress.count(), 2);
    EXPECT_EQ(progress[1], (QList<QVariant>{2, 2}));
    EXPECT_EQ(store.fileRevision(good), 1);
    EXPECT_EQ(store.fileRevision(broken), 0);
    EXPECT_EQ(store.errorMessage(), QStringLiteral("Impossible de lire cette photo."));
    EXPECT_EQ(readFile(broken), QByteArray("tronqué"));
    EXPECT_NEAR(pixel(good, 60, 10)[0], 100, 8);
    EXPECT_GT(pixel(good, 60, 75)[0], 230);
    EXPECT_LT(pixel(good, 60, 75)[1], 25);
}

TEST(OrdersBatch, RetouchCancelAndStaleResults)
{
    TempDataDir data;
    QStringList photos;
    for (int i = 0; i < 12; ++i) {
        photos.push_back(data.file(QStringLiteral("o/IMG_%1.jpg").arg(i, 4, 10, QChar('0'))));
        makeImage(photos.back(), "600x400", "gray40");
    }
    OrdersStore store;
    PhotoRetouchSettings brighter;
    brighter.exposure = 1;
    store.setRetouch(brighter);
    QSignalSpy finished(&store, &OrdersStore::batchFinished);
    QSignalSpy retouching(&store, &OrdersStore::isRetouchingChanged);
    ASSERT_TRUE(store.applyRetouch(photos));
    EXPECT_TRUE(store.isRetouching());
    store.cancelBatch();
    ASSERT_TRUE(QTest::qWaitFor([&] { return finished.count() == 1; }, 20000));
    EXPECT_TRUE(finished[0][0].toBool());
    EXPECT_FALSE(store.isRetouching());
    EXPECT_EQ(retouching.count(), 2);
    EXPECT_EQ(store.fileRevision(photos.last()), 0);
    EXPECT_GT(pixel(photos.first(), 10, 10)[0], 0) << "cancelled batch left readable photos";

    // A batch whose order was left meanwhile edits the files but refreshes nothing.
    ASSERT_TRUE(store.applyRetouch({photos.last()}));
    store.storeRoot(data.path());
    ASSERT_TRUE(QTest::qWaitFor([&] { return finished.count() == 2; }, 20000));
    EXPECT_EQ(store.fileRevision(photos.last()), 0);
    EXPECT_GT(pixel(photos.last(), 10, 10)[0], 130);
}

std::pair<int, QByteArray> runCli(const TempDataDir& data, const QStringList& args)
{
    QProcess process;
    process.start(test::binDir() + QStringLiteral("/tavrin-cli"), QStringList{"--data-dir", data.path()} + args);
    EXPECT_TRUE(process.waitForFinished(60000));
    return {process.exitCode(), process.readAllStandardOutput()};
}

TEST_F(OrdersFixture, CliShowAndDeliver)
{
    auto cli = [&](const QStringList& args) { return runCli(data, args); };
    EXPECT_EQ(cli({"orders", "deliver", order + "/img.jpg"}).first, 0);
    const auto [status, out] = cli({"orders", "show", "--root", root, "--folder", "Dupont"});
    ASSERT_EQ(status, 0);
    const QJsonObject json = TavrinJSON::decodeObject(out);
    EXPECT_EQ(json.value("rootName").toString(), QStringLiteral("Commandes"));
    EXPECT_EQ(json.value("folders").toArray(), (QJsonArray{"Adam", "Dupont"}));
    EXPECT_EQ(json.value("selectedFolder").toString(), QStringLiteral("Dupont"));
    EXPECT_EQ(json.value("summaryLine").toString(), QStringLiteral("2 types · 6 fichiers"));
    EXPECT_FALSE(json.contains("errorMessage"));
    const QJsonArray sections = json.value("sections").toArray();
    ASSERT_EQ(sections.size(), 3);
    EXPECT_EQ(sections[2].toObject().value("name").toString(), QStringLiteral("IMPRESSION 10"));
    const QJsonArray top = sections[0].toObject().value("items").toArray();
    EXPECT_EQ(top[0].toObject(), (QJsonObject{{"file", "clip.MOV"}, {"isVideo", true}, {"delivered", false}}));
    EXPECT_TRUE(top[2].toObject().value("delivered").toBool());
    EXPECT_EQ(cli({"orders", "show", "--folder", "Personne"}).first, 1);
    EXPECT_EQ(cli({"orders", "deliver", order + "/absent.jpg"}).first, 1);
}

TEST_F(OrdersFixture, WindowTakesInDeliveriesOfTheCliAndKeepsBoth)
{
    OrdersStore window;
    window.followDiskChanges();
    window.setOpenWithApp(QStringLiteral("jpg"), QStringLiteral("gimp.desktop"));
    window.markDelivered({order + "/IMG.JPG"});
    QSignalSpy delivered(&window, &OrdersStore::deliveredChanged);

    // Followed while the window runs.
    ASSERT_EQ(runCli(data, {"orders", "deliver", order + "/img.jpg"}).first, 0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.isDelivered(order + "/img.jpg"); }, 5000));
    EXPECT_GE(delivered.count(), 1);

    // Written before the window saw it: its next write takes it in and loses neither set.
    {
        OrdersStore other;
        other.markDelivered({order + "/clip.MOV"});
        other.setOpenWithApp(QStringLiteral("mov"), QStringLiteral("vlc.desktop"));
    }
    window.markDelivered({order + "/IMPRESSION 9/IMG_0001.jpg"});
    EXPECT_TRUE(window.isDelivered(order + "/clip.MOV"));
    const QJsonObject file = readSettings(data);
    QStringList paths;
    for (const QJsonValue& path : file.value("deliveredPaths").toArray()) paths.push_back(path.toString());
    for (const char* name : {"IMG.JPG", "img.jpg", "clip.MOV", "IMPRESSION 9/IMG_0001.jpg"})
        EXPECT_TRUE(paths.contains(order + "/" + QString::fromUtf8(name))) << name;
    EXPECT_EQ(file.value("openWithApps").toObject(),
              (QJsonObject{{"jpg", "gimp.desktop"}, {"mov", "vlc.desktop"}}));
}
