#include "TestSupport.h"
#include "base/UserDefaults.h"
#include "editing/RetouchBridges.h"
#include "editing/views/RetouchPanel.h"
#include "photofiles/MediaThumbnailer.h"
#include "orders/OpenWithApps.h"
#include "handover/views/HandOverDialog.h"
#include "orders/views/OpenPanels.h"
#include "orders/views/OrdersGallery.h"
#include "orders/views/OrdersSidebar.h"
#include "orders/views/OrdersView.h"
#include "ui/CapsuleButton.h"
#include "ui/FusedGroup.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QDir>
#include <QScreen>
#include <QScrollArea>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QProcess>
#include <QProgressBar>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTest>

#include <gtest/gtest.h>
#include <vips/vips8>

using namespace tavrin;
using Kind = OrdersScreen::GalleryRow::Kind;

namespace {

// A flat-coloured photo made by libvips, so that a cell's pixels tell which file it shows.
void makePhoto(const QString& path, std::vector<double> colour, int width = 300, int height = 200)
{
    RetouchBridges::ensureVips();
    QDir().mkpath(QFileInfo(path).absolutePath());
    vips::VImage::black(width, height, vips::VImage::option()->set("bands", 3))
        .new_from_image(colour)
        .cast(VIPS_FORMAT_UCHAR)
        .write_to_file(QFile::encodeName(path).constData());
}

QColor cellColour(OrdersView& view, const QString& path)
{
    OrdersGallery* gallery = view.gallery();
    const QModelIndex index = view.galleryModel()->indexOf(path);
    gallery->scrollTo(index);
    const QRect cell = gallery->visualRect(index);
    // Inside the thumbnail: the top of a card, the left end of a row.
    const QPoint inside = view.galleryLayout() == OrdersGalleryLayout::list ? QPoint(cell.left() + 30, cell.center().y())
                                                                             : cell.center() - QPoint(0, 16);
    return gallery->viewport()->grab().toImage().pixelColor(inside);
}

bool near(const QColor& c, int r, int g, int b) { return std::abs(c.red() - r) + std::abs(c.green() - g) + std::abs(c.blue() - b) < 40; }

void click(OrdersView& view, const QString& path, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    OrdersGallery* gallery = view.gallery();
    const QModelIndex index = view.galleryModel()->indexOf(path);
    gallery->scrollTo(index);
    QTest::mouseClick(gallery->viewport(), Qt::LeftButton, modifiers, gallery->visualRect(index).center());
}

QStringList selectedNames(const OrdersView& view)
{
    QStringList names;
    for (const OrderMedia& media : view.selectedMedia()) names.push_back(QFileInfo(media.url).fileName());
    return names;
}

QStringList entries(QMenu* menu)
{
    QStringList out;
    for (QAction* action : menu->actions())
        if (!action->isSeparator()) out.push_back(action->text());
    return out;
}

class OrdersViewTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        MediaThumbnailer::shared().setSharedCacheEnabled(false);
        MediaThumbnailer::shared().clearMemory();
        root = data.file(QStringLiteral("Commandes"));
        order = root + QStringLiteral("/Dupont");
        makePhoto(order + "/IMPRESSION A5/IMG_0101.jpg", {220, 30, 30});
        makePhoto(order + "/IMPRESSION A5/IMG_0102.jpg", {30, 30, 220});
        makePhoto(order + "/IMPRESSION A5/IMG_0110.jpg", {30, 200, 30});
        // Large enough that a batch over them is still running when it is cancelled.
        for (int n = 0; n < 5; ++n) makePhoto(order + QStringLiteral("/FICHIERS/IMG_020%1.jpg").arg(n), {200, 200, 40}, 3000, 2000);
        QDir().mkpath(root + QStringLiteral("/Martin"));
        // The root chosen in an earlier session.
        OrdersStore earlier;
        earlier.storeRoot(root);
        earlier.selectFolder(order);
    }

    void show(OrdersView& view)
    {
        view.resize(1200, 800);
        view.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
        waitForThumbnails(view);
    }

    void waitForThumbnails(OrdersView& view)
    {
        EXPECT_TRUE(QTest::qWaitFor([&] {
            QCoreApplication::processEvents();
            return view.galleryModel()->pendingThumbnails() == 0;
        }, 10000));
    }

    QString a5(const char* name) const { return order + "/IMPRESSION A5/" + QString::fromLatin1(name); }

    test::TempDataDir data;
    QString root, order;
};

} // namespace

TEST_F(OrdersViewTest, ShowsTheOrderAndSelectsWithClicks)
{
    OrdersStore store;
    OrdersView view(store);
    // Nothing is listed before the section is first shown.
    EXPECT_FALSE(view.isBuilt());
    EXPECT_EQ(store.sectionLoads(), 0);
    show(view);
    ASSERT_EQ(view.detailPages()->currentIndex(), int(OrdersScreen::Detail::gallery));
    EXPECT_EQ(view.summaryLabel()->text(), QStringLiteral("2 types · 8 fichiers"));
    EXPECT_EQ(view.sidebar()->orderList()->count(), 2);
    EXPECT_EQ(view.sidebar()->orderList()->currentItem()->text(), QStringLiteral("Dupont"));

    // Sections in file-browser order, each with its header; one jump of numbers in IMPRESSION A5.
    QStringList headers;
    for (OrdersSectionHeader* header : view.sectionHeaders()) {
        headers.push_back(header->title());
        EXPECT_TRUE(header->isVisible());
    }
    EXPECT_EQ(headers, (QStringList{"FICHIERS", "IMPRESSION A5"}));
    const auto& rows = view.galleryModel()->rows();
    const auto separator = std::find_if(rows.begin(), rows.end(), [](const auto& row) { return row.kind == Kind::separator; });
    ASSERT_NE(separator, rows.end());
    EXPECT_EQ(std::prev(separator)->media->url, a5("IMG_0102.jpg"));
    EXPECT_EQ(std::next(separator)->media->url, a5("IMG_0110.jpg"));
    EXPECT_EQ(std::count_if(rows.begin(), rows.end(), [](const auto& row) { return row.kind == Kind::separator; }), 1);

    // The cells show the photos' own pixels.
    EXPECT_TRUE(near(cellColour(view, a5("IMG_0101.jpg")), 220, 30, 30)) << cellColour(view, a5("IMG_0101.jpg")).name().toStdString();
    EXPECT_TRUE(near(cellColour(view, a5("IMG_0110.jpg")), 30, 200, 30));

    click(view, a5("IMG_0101.jpg"));
    EXPECT_EQ(selectedNames(view), QStringList{"IMG_0101.jpg"});
    click(view, a5("IMG_0110.jpg"), Qt::ControlModifier);
    EXPECT_EQ(selectedNames(view), (QStringList{"IMG_0101.jpg", "IMG_0110.jpg"}));
    click(view, a5("IMG_0101.jpg"), Qt::ControlModifier);
    EXPECT_EQ(selectedNames(view), QStringList{"IMG_0110.jpg"});
    // From the anchor back to the fourth photo of FICHIERS, across the section boundary.
    // The anchor is the last file clicked, even when that click unselected it.
    click(view, order + "/FICHIERS/IMG_0203.jpg", Qt::ShiftModifier);
    EXPECT_EQ(selectedNames(view), (QStringList{"IMG_0203.jpg", "IMG_0204.jpg", "IMG_0101.jpg"}));
    EXPECT_EQ(view.sidebar()->selectionSummary()->text(), QStringLiteral("3 fichiers sélectionnés"));
    EXPECT_TRUE(view.sidebar()->handOverButton()->isEnabled());
    EXPECT_TRUE(view.sidebar()->openWithHint()->isHidden());
    QTest::keyClick(view.gallery(), Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(view.selectedMedia().size(), 8);

    // A crop editor that is open takes plain clicks on photos.
    QStringList cropped;
    view.openCrop = [&](const QString& file) { cropped.push_back(file); };
    view.isCropEditorOpen = [] { return true; };
    click(view, a5("IMG_0102.jpg"));
    EXPECT_EQ(cropped, QStringList{a5("IMG_0102.jpg")});
    EXPECT_EQ(view.selectedMedia().size(), 8);

    // The search narrows the list; its clear button brings every order back.
    view.sidebar()->search()->setText(QStringLiteral("  mar "));
    EXPECT_EQ(view.sidebar()->orderList()->count(), 1);
    view.sidebar()->search()->setText(QStringLiteral("zz"));
    EXPECT_TRUE(view.sidebar()->orderList()->isHidden());
    EXPECT_EQ(view.sidebar()->orderListEmpty()->text(), QStringLiteral("Aucune commande ne correspond à « zz »."));
    QTest::mouseClick(view.sidebar()->clearSearch(), Qt::LeftButton);
    EXPECT_EQ(view.sidebar()->orderList()->count(), 2);

    // Choosing the empty order shows its message; delivered files get their mark.
    view.sidebar()->orderList()->setCurrentRow(1);
    EXPECT_EQ(view.detailPages()->currentIndex(), int(OrdersScreen::Detail::noSections));
    view.sidebar()->orderList()->setCurrentRow(0);
    store.markDelivered({a5("IMG_0101.jpg")});
    const QModelIndex delivered = view.galleryModel()->indexOf(a5("IMG_0101.jpg"));
    EXPECT_TRUE(delivered.data(OrdersGalleryModel::DeliveredRole).toBool());
    EXPECT_TRUE(delivered.data(Qt::ToolTipRole).toString().endsWith(QStringLiteral("Transféré par QR code ou imprimé")));
}

TEST_F(OrdersViewTest, LayoutIsRememberedAndRewrittenFilesRefresh)
{
    {
        OrdersStore store;
        OrdersView view(store);
        show(view);
        QTest::mouseClick(view.layoutPicker()->button(int(OrdersGalleryLayout::list)), Qt::LeftButton);
        EXPECT_EQ(view.galleryLayout(), OrdersGalleryLayout::list);
        EXPECT_TRUE(view.sectionHeaders().isEmpty());
        EXPECT_EQ(view.galleryModel()->rowCount(), 8);
        EXPECT_EQ(UserDefaults::standard().string(QStringLiteral("ordersGalleryLayout")), QStringLiteral("list"));
    }
    OrdersStore store;
    OrdersView view(store);
    EXPECT_EQ(view.galleryLayout(), OrdersGalleryLayout::list);
    show(view);
    EXPECT_EQ(view.layoutPicker()->checkedId(), int(OrdersGalleryLayout::list));
    // Rows are as wide as the gallery.
    const QRect row = view.gallery()->visualRect(view.galleryModel()->indexOf(a5("IMG_0101.jpg")));
    EXPECT_GT(row.width(), view.gallery()->viewport()->width() / 2);
    const QModelIndex index = view.galleryModel()->indexOf(a5("IMG_0101.jpg"));
    auto thumbnailColour = [&] { return index.data(OrdersGalleryModel::ThumbnailRole).value<QImage>().pixelColor(20, 20); };
    EXPECT_TRUE(near(thumbnailColour(), 220, 30, 30));

    // Another program rewrites the photo: its cell follows, without a reload of the sections.
    const int loads = store.sectionLoads();
    QSignalSpy edited(&store, &OrdersStore::fileEdited);
    makePhoto(a5("IMG_0101.jpg"), {30, 200, 200});
    ASSERT_TRUE(edited.wait(3000));
    view.gallery()->viewport()->repaint();
    waitForThumbnails(view);
    EXPECT_TRUE(QTest::qWaitFor([&] { return near(thumbnailColour(), 30, 200, 200); }, 5000));
    EXPECT_TRUE(near(cellColour(view, a5("IMG_0101.jpg")), 30, 200, 200)) << cellColour(view, a5("IMG_0101.jpg")).name().toStdString();
    EXPECT_EQ(index.data(OrdersGalleryModel::RevisionRole).toInt(), 1);
    EXPECT_EQ(store.sectionLoads(), loads);
}

TEST_F(OrdersViewTest, MenusFollowTheHooksAndBatchesShowProgress)
{
    OrdersStore store;
    OrdersView view(store);
    show(view);
    const OrderMedia photo{a5("IMG_0101.jpg"), false};
    std::unique_ptr<QMenu> menu(view.makeContextMenu(photo));
    EXPECT_EQ(entries(menu.get()), (QStringList{"Appliquer les réglages de retouche", "Ajouter le filigrane sélectionné",
                                                "Annuler les modifications", "Partager par QR code", "Ouvrir avec",
                                                "Choisir une application…"}));
    EXPECT_FALSE(menu->actions().first()->isEnabled());
    EXPECT_EQ(menu->actions().first()->toolTip(), QStringLiteral("Réglez d’abord la retouche dans le panneau de gauche"));
    OrdersSectionHeader* fichiers = view.sectionHeaders().first();
    EXPECT_EQ(fichiers->button(OrdersScreen::Action::Kind::print), nullptr);
    EXPECT_FALSE(fichiers->button(OrdersScreen::Action::Kind::watermark)->isEnabled());
    EXPECT_TRUE(view.sidebar()->printButton()->isHidden());

    // The crop editor's place, right of the gallery.
    QLabel editor(QStringLiteral("recadrage"));
    view.setBesideGallery(&editor);
    EXPECT_TRUE(QTest::qWaitFor([&] { return editor.isVisible() && editor.width() > 0; }, 1000));
    EXPECT_GT(editor.mapTo(&view, QPoint()).x(), view.gallery()->mapTo(&view, QPoint()).x());
    view.setBesideGallery(nullptr);
    EXPECT_FALSE(editor.isVisible());

    QStringList printed;
    view.openCrop = [](const QString&) {};
    view.printMenu = [&](const QStringList& files, QWidget* parent) {
        auto* print = new QMenu(parent);
        print->addAction(QStringLiteral("A5"), [&printed, files] { printed = files; });
        return print;
    };
    view.hooksChanged();
    menu.reset(view.makeContextMenu(photo));
    const QStringList withHooks = entries(menu.get());
    EXPECT_EQ(withHooks.first(), QStringLiteral("Recadrer"));
    EXPECT_TRUE(withHooks.contains(QStringLiteral("Imprimer en pleine résolution")));
    ASSERT_NE(fichiers->button(OrdersScreen::Action::Kind::print), nullptr);

    // Without a watermark the file's entry says what is missing, above the gallery.
    const auto trigger = [&](QMenu* from, const QString& text) {
        for (QAction* action : from->actions())
            if (action->text() == text) return action->trigger(), true;
        return false;
    };
    ASSERT_TRUE(trigger(menu.get(), QStringLiteral("Ajouter le filigrane sélectionné")));
    EXPECT_TRUE(view.errorLabel()->isVisibleTo(&view));
    EXPECT_EQ(view.errorLabel()->text(), QStringLiteral("Choisissez d’abord un fichier filigrane."));

    // A watermark chosen in the column enables the section's batch.
    const QString watermark = data.file(QStringLiteral("logo.png"));
    makePhoto(watermark, {255, 255, 255});
    store.addWatermark(watermark);
    ASSERT_EQ(view.sidebar()->watermarkRows().size(), 1);
    EXPECT_TRUE(view.sidebar()->watermarksEmpty()->isHidden());
    CapsuleButton* batch = fichiers->button(OrdersScreen::Action::Kind::watermark);
    EXPECT_TRUE(batch->isEnabled());

    QSignalSpy finished(&store, &OrdersStore::batchFinished);
    QTest::mouseClick(batch, Qt::LeftButton);
    EXPECT_TRUE(view.batchBar()->isVisible());
    EXPECT_EQ(view.batchProgress()->maximum(), 5);
    EXPECT_FALSE(batch->isEnabled());
    QTest::mouseClick(view.cancelBatchButton(), Qt::LeftButton);
    ASSERT_TRUE(finished.wait(20000));
    EXPECT_TRUE(finished.first().first().toBool());
    EXPECT_FALSE(view.batchBar()->isVisible());
    // The edits touched the section's folder, whose headers may have been made again since.
    EXPECT_TRUE(QTest::qWaitFor([&] {
        return view.sectionHeaders().first()->button(OrdersScreen::Action::Kind::watermark)->isEnabled();
    }, 2000));
    // It stopped after the photo being edited.
    EXPECT_EQ(store.fileRevision(order + "/FICHIERS/IMG_0204.jpg"), 0);

    // A small batch runs without a progress bar, and marks its files edited.
    const QByteArray original = test::readFile(a5("IMG_0101.jpg"));
    QSignalSpy again(&store, &OrdersStore::batchFinished);
    store.applyWatermark({a5("IMG_0101.jpg")});
    EXPECT_FALSE(view.batchBar()->isVisible());
    ASSERT_TRUE(again.wait(10000));
    EXPECT_EQ(store.fileRevision(a5("IMG_0101.jpg")), 1);
    menu.reset(view.makeContextMenu(photo));
    const QList<QAction*> actions = menu->actions();
    const auto undo = std::find_if(actions.begin(), actions.end(),
                                   [](QAction* a) { return a->text() == QStringLiteral("Annuler les modifications"); });
    ASSERT_NE(undo, actions.end());
    EXPECT_TRUE((*undo)->isEnabled());
    EXPECT_NE(test::readFile(a5("IMG_0101.jpg")), original);
    // Undoing puts the camera's file back and refreshes its cell.
    (*undo)->trigger();
    EXPECT_EQ(test::readFile(a5("IMG_0101.jpg")), original);
    EXPECT_EQ(store.fileRevision(a5("IMG_0101.jpg")), 2);
    EXPECT_FALSE(view.errorLabel()->isVisibleTo(&view));
}

TEST_F(OrdersViewTest, LeftColumnDrivesTheStore)
{
    QStringList titles;
    const QString other = data.file(QStringLiteral("Autre salon"));
    QDir().mkpath(other + QStringLiteral("/Leroy"));
    const QString logoA = data.file(QStringLiteral("logo A.png")), logoB = data.file(QStringLiteral("logo B.png"));
    makePhoto(logoA, {250, 250, 250});
    makePhoto(logoB, {10, 10, 10});
    QString nextImage = logoA;
    QStringList opened;
    OpenPanels::hooks().folder = [&](const QString& title) {
        titles.push_back(title);
        return other;
    };
    OpenPanels::hooks().image = [&](const QString& title) {
        titles.push_back(title);
        return nextImage;
    };
    OpenWithApps::hooks().openInDefaultApp = [&](const QStringList& files) { opened += files; };
    struct Reset {
        ~Reset()
        {
            OpenPanels::hooks() = {};
            OpenWithApps::hooks() = {};
        }
    } reset;

    OrdersStore store;
    OrdersView view(store);
    show(view);
    OrdersSidebar* column = view.sidebar();

    // A double click opens the clicked file, or the whole selection when it is part of it.
    const QString first = a5("IMG_0101.jpg"), second = a5("IMG_0102.jpg");
    auto doubleClick = [&](const QString& path) {
        const QModelIndex index = view.galleryModel()->indexOf(path);
        view.gallery()->scrollTo(index);
        // The first press of a double click comes as a click of its own.
        click(view, path);
        QTest::mouseDClick(view.gallery()->viewport(), Qt::LeftButton, Qt::NoModifier, view.gallery()->visualRect(index).center());
    };
    doubleClick(first);
    EXPECT_EQ(opened, QStringList{first});
    opened.clear();
    click(view, second, Qt::ControlModifier);
    doubleClick(first);
    EXPECT_EQ(opened, (QStringList{first, second}));

    // The retouch popover edits the store's settings, which enable the sections' retouch.
    EXPECT_FALSE(view.sectionHeaders().first()->button(OrdersScreen::Action::Kind::retouch)->isEnabled());
    QTest::mouseClick(column->retouchButton(), Qt::LeftButton);
    ASSERT_TRUE(column->retouchPopover()->isVisible());
    for (RetouchSliderRow* row : column->retouchPanel()->findChildren<RetouchSliderRow*>()) {
        if (row->setup().title != QStringLiteral("Contraste")) continue;
        auto* field = row->findChild<QLineEdit*>();
        field->setText(QStringLiteral("20"));
        QTest::keyClick(field, Qt::Key_Return);
    }
    EXPECT_DOUBLE_EQ(store.retouch().contrast, 20);
    EXPECT_TRUE(view.sectionHeaders().first()->button(OrdersScreen::Action::Kind::retouch)->isEnabled());
    column->retouchPopover()->hide();

    // Watermarks: added through the image panel, chosen and removed from their rows.
    EXPECT_EQ(column->watermarksEmpty()->text(), QStringLiteral("Aucun fichier filigrane"));
    QTest::mouseClick(column->addWatermarkButton(), Qt::LeftButton);
    nextImage = logoB;
    QTest::mouseClick(column->addWatermarkButton(), Qt::LeftButton);
    ASSERT_EQ(column->watermarkRows().size(), 2);
    EXPECT_TRUE(column->watermarkRows()[1]->isSelected());
    EXPECT_TRUE(QTest::qWaitFor([&] { return !column->watermarkRows()[0]->thumbnail()->pixmap().isNull(); }, 5000));
    EXPECT_LE(column->watermarkRows()[0]->thumbnail()->pixmap().width(), WatermarkChoiceRow::thumbnailPixels);
    QTest::mouseClick(column->watermarkRows()[0]->selectButton(), Qt::LeftButton);
    EXPECT_EQ(store.selectedWatermarkID(), store.watermarks()[0].id);
    const QString remaining = store.watermarks()[1].id;
    QTest::mouseClick(column->watermarkRows()[0]->removeButton(), Qt::LeftButton);
    EXPECT_TRUE(QTest::qWaitFor([&] { return column->watermarkRows().size() == 1; }, 2000));
    EXPECT_EQ(store.selectedWatermarkID(), remaining);
    EXPECT_TRUE(column->watermarkRows()[0]->isSelected());

    // Three files handed over to a customer who goes away: nothing is marked delivered.
    click(view, order + "/FICHIERS/IMG_0200.jpg");
    click(view, order + "/FICHIERS/IMG_0202.jpg", Qt::ShiftModifier);
    QTest::mouseClick(column->handOverButton(), Qt::LeftButton);
    auto* handOver = view.findChild<HandOverDialog*>();
    ASSERT_NE(handOver, nullptr);
    EXPECT_TRUE(handOver->countLabel()->text().contains(QStringLiteral("3 fichiers")));
    handOver->reject();
    EXPECT_TRUE(store.deliveredPaths().isEmpty());

    // Another root folder, chosen with the column's first button.
    QTest::mouseClick(column->rootButton(), Qt::LeftButton);
    EXPECT_EQ(store.rootName(), QStringLiteral("Autre salon"));
    ASSERT_EQ(column->orderList()->count(), 1);
    EXPECT_EQ(column->orderList()->item(0)->text(), QStringLiteral("Leroy"));
    EXPECT_EQ(view.detailPages()->currentIndex(), int(OrdersScreen::Detail::noSections));
    EXPECT_EQ(titles, (QStringList{"Fichier filigrane", "Fichier filigrane", "Dossier des commandes"}));
}

TEST_F(OrdersViewTest, RightClickSelectsAndTheLeftColumnKeepsItsShape)
{
    const QString whiteLogo = data.file(QStringLiteral("logo blanc.png"));
    RetouchBridges::ensureVips();
    // A white watermark, half transparent: on a plain white thumbnail it would not show.
    vips::VImage::black(200, 200, vips::VImage::option()->set("bands", 4))
        .new_from_image({255, 255, 255, 120})
        .cast(VIPS_FORMAT_UCHAR)
        .pngsave(QFile::encodeName(whiteLogo).constData());
    OrdersStore store;
    OrdersView view(store);
    show(view);
    const auto rightClick = [&](const QString& path) {
        const QModelIndex index = view.galleryModel()->indexOf(path);
        view.gallery()->scrollTo(index);
        const QPoint at = view.gallery()->visualRect(index).center();
        QContextMenuEvent event(QContextMenuEvent::Mouse, at, view.gallery()->viewport()->mapToGlobal(at));
        QApplication::sendEvent(view.gallery()->viewport(), &event);
        if (QWidget* menu = QApplication::activePopupWidget()) menu->close();
    };

    // Outside the selection a right click selects the file alone; inside it keeps the selection.
    click(view, a5("IMG_0101.jpg"));
    rightClick(a5("IMG_0110.jpg"));
    EXPECT_EQ(selectedNames(view), QStringList{"IMG_0110.jpg"});
    EXPECT_EQ(view.sidebar()->selectionSummary()->text(), QStringLiteral("1 fichier sélectionné"));
    click(view, a5("IMG_0101.jpg"), Qt::ControlModifier);
    rightClick(a5("IMG_0101.jpg"));
    EXPECT_EQ(selectedNames(view), (QStringList{"IMG_0101.jpg", "IMG_0110.jpg"}));

    // The white watermark's thumbnail stands on a checkerboard: two neighbouring squares differ
    // and neither is white.
    store.addWatermark(whiteLogo);
    OrdersSidebar* column = view.sidebar();
    ASSERT_EQ(column->watermarkRows().size(), 1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !column->watermarkRows()[0]->thumbnail()->pixmap().isNull(); }, 5000));
    const QImage thumbnail = column->watermarkRows()[0]->thumbnail()->pixmap().toImage();
    const QColor a = thumbnail.pixelColor(20, 36), b = thumbnail.pixelColor(28, 36);
    EXPECT_GT(std::abs(a.lightness() - b.lightness()), 20) << a.name().toStdString() << " " << b.name().toStdString();
    EXPECT_LT(std::max(a.lightness(), b.lightness()), 250);

    // The retouch popover scrolls inside itself and never outgrows the screen.
    QTest::mouseClick(column->retouchButton(), Qt::LeftButton);
    ASSERT_TRUE(column->retouchPopover()->isVisible());
    EXPECT_EQ(column->retouchScroll()->widget(), column->retouchPanel());
    EXPECT_LE(column->retouchPopover()->height(), column->screen()->availableGeometry().height());
    column->retouchPopover()->hide();

    // A root without orders keeps the column's lower half where a full one has it.
    click(view, a5("IMG_0101.jpg"), Qt::ControlModifier);
    click(view, a5("IMG_0110.jpg"), Qt::ControlModifier);
    ASSERT_TRUE(view.selectedMedia().isEmpty());
    QCoreApplication::processEvents();
    const int retouchTop = column->retouchButton()->y();
    const QString empty = data.file(QStringLiteral("Salon vide"));
    QDir().mkpath(empty);
    store.storeRoot(empty);
    QCoreApplication::processEvents();
    ASSERT_TRUE(column->orderList()->isHidden());
    EXPECT_FALSE(column->orderListEmpty()->text().isEmpty());
    EXPECT_EQ(column->retouchButton()->y(), retouchTop);
    EXPECT_LT(column->orderListEmpty()->y(), retouchTop / 2) << "the message stays at the top";
}

TEST_F(OrdersViewTest, CellsShowTheCameraPreviewFirstAndSayWhenAFileCannotBeRead)
{
    // A red photo whose camera wrote a green preview, and a file that is no photo at all.
    makePhoto(a5("IMG_0103.jpg"), {220, 30, 30}, 3000, 2000);
    makePhoto(data.file(QStringLiteral("preview.jpg")), {30, 200, 30}, 160, 107);
    ASSERT_EQ(QProcess::execute(QStringLiteral("exiftool"), {QStringLiteral("-q"), QStringLiteral("-overwrite_original"),
                                                             QStringLiteral("-ThumbnailImage<=") + data.file(QStringLiteral("preview.jpg")),
                                                             a5("IMG_0103.jpg")}),
              0);
    QFile text(a5("IMG_0104.jpg"));
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write("pas une photo");
    text.close();

    OrdersStore store;
    OrdersView view(store);
    view.resize(1200, 800);
    // Built when first shown; the thumbnails are asked for once it is painted.
    view.show();
    ASSERT_NE(view.galleryModel(), nullptr);
    // What each cell showed, in turn, and where.
    QMap<QString, QStringList> shown;
    QMap<QString, QList<QRect>> places;
    QObject::connect(view.galleryModel(), &QAbstractItemModel::dataChanged, &view, [&](const QModelIndex& from, const QModelIndex& to, const QList<int>& roles) {
        if (!roles.contains(OrdersGalleryModel::ThumbnailRole)) return;
        for (int row = from.row(); row <= to.row(); ++row) {
            const QModelIndex index = view.galleryModel()->index(row);
            const QString name = QFileInfo(index.data(OrdersGalleryModel::PathRole).toString()).fileName();
            const QImage image = index.data(OrdersGalleryModel::ThumbnailRole).value<QImage>();
            const QColor c = image.isNull() ? QColor() : image.pixelColor(image.width() / 2, image.height() / 2);
            const QString colour = image.isNull() ? QStringLiteral("none") : near(c, 220, 30, 30) ? QStringLiteral("red") : near(c, 30, 200, 30) ? QStringLiteral("green") : c.name();
            shown[name].push_back((index.data(OrdersGalleryModel::PreviewRole).toBool() ? QStringLiteral("preview ") : QString()) + colour);
            places[name].push_back(view.gallery()->visualRect(index));
        }
    });
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    waitForThumbnails(view);

    EXPECT_EQ(shown.value("IMG_0103.jpg"), (QStringList{"preview green", "red"}));
    EXPECT_EQ(shown.value("IMG_0101.jpg"), QStringList{"red"});
    EXPECT_EQ(shown.value("IMG_0104.jpg"), QStringList{"none"});
    // The cell keeps its place from the placeholder to the thumbnail.
    const QList<QRect> place = places.value("IMG_0103.jpg");
    ASSERT_EQ(place.size(), 2);
    EXPECT_EQ(place[0], place[1]);
    EXPECT_EQ(place[0].size(), OrdersGalleryDelegate::cardSize);
    EXPECT_TRUE(near(cellColour(view, a5("IMG_0103.jpg")), 220, 30, 30));

    // The unreadable file says so in its cell, in words: the middle of its placeholder shows the
    // text's colour, not only the placeholder's.
    const QModelIndex unreadable = view.galleryModel()->indexOf(a5("IMG_0104.jpg"));
    EXPECT_TRUE(unreadable.data(OrdersGalleryModel::UnreadableRole).toBool());
    view.gallery()->scrollTo(unreadable);
    const QRect cell = view.gallery()->visualRect(unreadable).adjusted(10, 10, -10, -42);
    const QImage grabbed = view.gallery()->viewport()->grab(cell).toImage();
    QSet<QRgb> colours;
    for (int x = 0; x < grabbed.width(); ++x) colours.insert(grabbed.pixel(x, grabbed.height() / 2));
    EXPECT_GT(colours.size(), 3);
    EXPECT_FALSE(view.galleryModel()->hasThumbnail(a5("IMG_0104.jpg")));
}
