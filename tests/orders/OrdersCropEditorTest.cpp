#include "TestSupport.h"
#include "editing/PhotoEditMemory.h"
#include "editing/PhotoOriginals.h"
#include "editing/RetouchBridges.h"
#include "photofiles/MediaThumbnailer.h"
#include "orders/OrdersStore.h"
#include "orders/views/OrdersCropEditor.h"
#include "orders/views/OrdersGallery.h"
#include "orders/views/OrdersView.h"

#include <QDir>
#include <QFileInfo>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>

#include <memory>
#include <optional>

#include <gtest/gtest.h>
#include <vips/vips8>

using namespace tavrin;

namespace {

void makeImage(const QString& path, std::vector<double> colour, int width, int height, int bands = 3)
{
    RetouchBridges::ensureVips();
    QDir().mkpath(QFileInfo(path).absolutePath());
    vips::VImage::black(width, height, vips::VImage::option()->set("bands", bands))
        .new_from_image(colour)
        .cast(VIPS_FORMAT_UCHAR)
        .write_to_file(QFile::encodeName(path).constData());
}

bool waitIdle(CropEditorModel& model)
{
    return QTest::qWaitFor([&] { return !model.isLoading() && model.jobsInFlight() == 0 && !model.hasPendingPersist(); }, 15000);
}

QStringList entries(QMenu* menu)
{
    QStringList out;
    for (QAction* action : menu->actions())
        if (!action->isSeparator()) out.push_back(action->text());
    return out;
}

// An order with photos, a watermark, the orders screen and its crop editor.
struct EditorOnOrder {
    test::TempDataDir data;
    QString order = data.file(QStringLiteral("Commandes/Dupont"));
    QString logo = data.file(QStringLiteral("logo.png"));
    std::optional<OrdersStore> store;
    std::unique_ptr<OrdersView> view;
    OrdersCropEditor* editor = nullptr;

    QString photo(const QString& name, std::vector<double> colour)
    {
        const QString path = order + QStringLiteral("/IMPRESSION A4/") + name;
        makeImage(path, std::move(colour), 1500, 1000);
        return path;
    }
    void start(std::vector<double> logoColour)
    {
        MediaThumbnailer::shared().setSharedCacheEnabled(false);
        makeImage(logo, std::move(logoColour), 400, 60, 4);
        store.emplace();
        store->storeRoot(data.file(QStringLiteral("Commandes")));
        store->selectFolder(order);
        store->addWatermark(logo);
        view = std::make_unique<OrdersView>(*store);
        editor = new OrdersCropEditor(*view);
    }
};

} // namespace

// The crop editor as the orders screen drives it: opened from the file menu beside the gallery,
// a click on another photo moves it there, its writes reach the gallery, its preset is the
// store's retouch, and the watermark follows the left column.
TEST(OrdersCropEditor, OpensBesideTheGalleryAndKeepsTheStoreInStep)
{
    EditorOnOrder f;
    const QString first = f.photo(QStringLiteral("IMG_0101.jpg"), {220, 30, 30});
    const QString second = f.photo(QStringLiteral("IMG_0102.jpg"), {30, 30, 220});
    const QString logo = f.logo, other = f.data.file(QStringLiteral("autre.png"));
    makeImage(other, {0, 0, 0, 200}, 400, 60, 4);
    f.start({255, 255, 255, 160});
    OrdersStore& store = *f.store;
    OrdersView& view = *f.view;
    OrdersCropEditor* editor = f.editor;
    view.resize(1400, 800);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    const QList<OrderMedia> files = OrdersScreen::allFiles(store.sections());
    ASSERT_EQ(files.size(), 2);

    // "Recadrer" is in the file's menu once the editor is plugged in, and opens it beside the gallery.
    std::unique_ptr<QMenu> menu(view.makeContextMenu(files[0]));
    ASSERT_TRUE(entries(menu.get()).contains(QStringLiteral("Recadrer")));
    for (QAction* action : menu->actions())
        if (action->text() == u"Recadrer") action->trigger();
    CropEditorModel& model = editor->model();
    ASSERT_TRUE(waitIdle(model));
    EXPECT_EQ(model.fileURL(), first);
    EXPECT_EQ(view.besideGallery(), editor->panel());
    EXPECT_EQ(model.watermarkURL(), logo);

    // A plain click on the other photo opens it in the editor; a Ctrl-click only selects.
    view.clickMedia(files[1], Qt::NoModifier);
    ASSERT_TRUE(waitIdle(model));
    EXPECT_EQ(model.fileURL(), second);
    view.clickMedia(files[0], Qt::ControlModifier);
    EXPECT_EQ(model.fileURL(), second);
    EXPECT_EQ(view.selectedMedia().size(), 1);

    // A validated A4 crop is written and the gallery's cell is told (new revision).
    const int before = store.fileRevision(second);
    model.setFormat(PrintFormat::a4);
    QSignalSpy saved(&model, &CropEditorModel::saveFinished);
    model.save();
    ASSERT_TRUE(saved.wait(15000));
    EXPECT_TRUE(saved.first().first().toBool());
    EXPECT_GT(store.fileRevision(second), before);
    EXPECT_TRUE(PhotoOriginals::hasBackup(second));
    EXPECT_TRUE(model.cropValidated());

    // The panel's saved preset becomes the store's retouch.
    PhotoRetouchSettings look;
    look.exposure = 0.4;
    model.setRetouchPreview(look);
    ASSERT_TRUE(waitIdle(model));
    editor->panel()->savePreset();
    EXPECT_DOUBLE_EQ(store.retouch().exposure, 0.4);

    // Another watermark chosen in the left column reaches the editor.
    store.addWatermark(other);
    for (const OrderWatermark& watermark : store.watermarks())
        if (watermark.name == QFileInfo(other).fileName()) store.selectWatermark(watermark.id);
    EXPECT_EQ(model.watermarkURL(), other);

    // "Annuler les modifications" gives back the camera's file and the editor shows it again.
    std::unique_ptr<QMenu> fileMenu(view.makeContextMenu(files[1]));
    for (QAction* action : fileMenu->actions())
        if (action->text() == u"Annuler les modifications") action->trigger();
    ASSERT_TRUE(waitIdle(model));
    EXPECT_FALSE(PhotoOriginals::hasBackup(second));
    EXPECT_FALSE(model.hasOriginalBackup());
    EXPECT_FALSE(model.cropValidated());
    EXPECT_TRUE(model.didSave());

    // The photo open in the editor is the one marked in the gallery, until the panel closes.
    const auto editing = [&](const OrderMedia& media) {
        return view.galleryModel()->indexOf(media.url).data(OrdersGalleryModel::EditingRole).toBool();
    };
    EXPECT_TRUE(editing(files[1]));
    EXPECT_FALSE(editing(files[0]));

    // Closing the panel hides it and closes the photo.
    editor->panel()->closePanel();
    EXPECT_EQ(view.besideGallery(), nullptr);
    EXPECT_FALSE(model.isOpen());
    EXPECT_FALSE(editing(files[1]));
}

namespace {

// Mean of the three colour bands over a region of the file as it is on disk.
std::vector<double> meanColour(const QString& path, int left, int top, int width, int height)
{
    // The file is rewritten under the same name: libvips' operation cache would give the old pixels.
    vips_cache_set_max(0);
    const vips::VImage image = vips::VImage::new_from_file(QFile::encodeName(path).constData(),
                                                           vips::VImage::option()->set("access", VIPS_ACCESS_RANDOM));
    const vips::VImage region = image.extract_area(left, top, width, height);
    return {region[0].avg(), region[1].avg(), region[2].avg()};
}

} // namespace

// A batch started right after a slider move, while the editor's write still waits for its
// debounce, starts from the editor's newest look and is not overwritten by it afterwards.
TEST(OrdersCropEditor, ABatchRightAfterASliderMoveKeepsTheEditorsNewestLook)
{
    EditorOnOrder f;
    const QString photo = f.photo(QStringLiteral("IMG_0201.jpg"), {170, 70, 60});
    f.start({20, 200, 40, 255}); // opaque green, 225 rows on this photo
    OrdersStore& store = *f.store;
    CropEditorModel& model = f.editor->model();
    f.editor->openCrop(photo);
    ASSERT_TRUE(waitIdle(model));

    const auto runBatch = [&](bool retouch) {
        QSignalSpy finished(&store, &OrdersStore::batchFinished);
        ASSERT_TRUE(retouch ? store.applyRetouch({photo}) : store.applyWatermark({photo}));
        ASSERT_TRUE(finished.wait(60000));
        ASSERT_TRUE(waitIdle(model));
        // Well past the editor's debounce: nothing late lands over the batch's result.
        QTest::qWait(CropEditorModel::retouchPersistDelayMs + 300);
        ASSERT_TRUE(waitIdle(model));
    };

    // Brighter in the editor, then the watermark at once: both are on the file.
    PhotoRetouchSettings brighter;
    brighter.exposure = 1;
    model.setRetouchPreview(brighter);
    ASSERT_TRUE(model.hasPendingPersist());
    runBatch(false);
    const std::vector<double> top = meanColour(photo, 100, 100, 400, 300);
    EXPECT_GT(top[0], 215) << "the editor's exposure is missing";
    const std::vector<double> bottom = meanColour(photo, 100, 1000 - 150, 1300, 100);
    EXPECT_LT(bottom[0], 60);
    EXPECT_GT(bottom[1], 170);
    PhotoEditJournal journal = PhotoEditMemory::readOrDefault(photo);
    EXPECT_TRUE(journal.current.includeWatermark);
    EXPECT_DOUBLE_EQ(journal.current.retouch.exposure, 1);
    EXPECT_TRUE(model.includeWatermark());

    // Another slider move, then the panel's retouch (colour taken away): the batch's retouch
    // replaces the editor's, the watermark stays, and the editor's look is the step before it.
    PhotoRetouchSettings darker;
    darker.exposure = -1;
    model.setRetouchPreview(darker);
    PhotoRetouchSettings grey;
    grey.saturation = -100;
    store.setRetouch(grey);
    runBatch(true);
    const std::vector<double> greyTop = meanColour(photo, 100, 100, 400, 300);
    EXPECT_NEAR(greyTop[0], greyTop[2], 6) << "the batch's retouch is missing";
    EXPECT_GT(greyTop[0], 60) << "the editor's darker look landed over the batch";
    journal = PhotoEditMemory::readOrDefault(photo);
    EXPECT_EQ(journal.current.retouch, grey);
    EXPECT_TRUE(journal.current.includeWatermark);
    ASSERT_FALSE(journal.history.isEmpty());
    EXPECT_DOUBLE_EQ(journal.history.last().retouch.exposure, -1);
    EXPECT_EQ(model.retouchSettings(), grey);
}

// Choosing another order with the editor open closes it: the previous order's photo is never shown
// beside the new order's gallery.
TEST(OrdersCropEditor, AnotherOrderChosenClosesTheEditor)
{
    EditorOnOrder f;
    const QString photo = f.photo(QStringLiteral("IMG_0101.jpg"), {220, 30, 30});
    const QString other = f.data.file(QStringLiteral("Commandes/Martin/IMPRESSION A4/IMG_0200.jpg"));
    makeImage(other, {30, 30, 220}, 1500, 1000);
    f.start({255, 255, 255, 160});
    f.view->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(f.view.get()));
    f.editor->openCrop(photo);
    ASSERT_TRUE(waitIdle(f.editor->model()));
    ASSERT_EQ(f.view->besideGallery(), f.editor->panel());

    f.store->selectFolder(f.data.file(QStringLiteral("Commandes/Martin")));
    EXPECT_FALSE(f.editor->model().fileURL());
    EXPECT_EQ(f.view->besideGallery(), nullptr);
    // Back in the first order, a photo of it opens as before.
    f.store->selectFolder(f.order);
    f.editor->openCrop(photo);
    ASSERT_TRUE(waitIdle(f.editor->model()));
    EXPECT_EQ(f.editor->model().fileURL(), photo);
    // Leaving every order closes it too.
    f.store->selectFolder(std::nullopt);
    EXPECT_FALSE(f.editor->model().fileURL());
}
