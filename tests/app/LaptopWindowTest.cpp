#include "AppLaunch.h"
#include "TestSupport.h"
#include "app/MacRootView.h"
#include "app/SingleInstance.h"
#include "app/TavrinApp.h"
#include "editing/PhotoComposer.h"
#include "library/views/MacSidebar.h"
#include "library/views/TableurView.h"
#include "orders/views/OrdersCropEditor.h"
#include "orders/views/OrdersView.h"
#include "organizer/views/OrganizerHistoryView.h"
#include "organizer/views/SpreadsheetWorkspaceView.h"
#include "ui/CapsuleButton.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QMouseEvent>
#include <QScreen>
#include <QScrollArea>
#include <QSplitter>
#include <QTest>

#include <gtest/gtest.h>
#include <vips/vips8>

// Run on an offscreen screen of 1280 × 720 (laptop-screen.json), the smallest the window is made for.

using namespace tavrin;
using tavrin::test::Launch;
using tavrin::test::TempDataDir;

namespace {

// The texts of `root` that show cut: a one-line label narrower than its text, a wrapping label
// shorter than its lines, a button narrower than its label, or any of them clipped by a parent.
// Texts inside scrolling areas are left out: they are read by scrolling.
QStringList cutTexts(QWidget* root)
{
    const auto scrolls = [root](QWidget* w) {
        for (QWidget* p = w->parentWidget(); p && p != root; p = p->parentWidget())
            if (qobject_cast<QAbstractScrollArea*>(p)) return true;
        return false;
    };
    const auto clipped = [](QWidget* w) { return w->visibleRegion().boundingRect().size() != w->size(); };
    QStringList cut;
    for (QLabel* label : root->findChildren<QLabel*>()) {
        if (!label->isVisibleTo(root) || label->text().isEmpty() || scrolls(label)) continue;
        const QSize room = label->contentsRect().size();
        const bool fits = label->wordWrap() ? label->height() >= label->heightForWidth(label->width())
                                            : room.width() >= label->fontMetrics().size(0, label->text()).width();
        if (!fits || clipped(label)) cut.push_back(label->text());
    }
    for (CapsuleButton* button : root->findChildren<CapsuleButton*>()) {
        if (!button->isVisibleTo(root) || scrolls(button)) continue;
        if (button->width() < button->sizeHint().width() || clipped(button)) cut.push_back(button->text());
    }
    return cut;
}

void settle()
{
    for (int i = 0; i < 5; ++i) {
        QCoreApplication::processEvents();
        QTest::qWait(20);
    }
}

// Drags the handle of `splitter` before pane `index` by `dx` pixels, as the mouse does.
void dragSplitter(QSplitter* splitter, int index, int dx)
{
    QSplitterHandle* handle = splitter->handle(index);
    const QPoint at = handle->rect().center();
    QMouseEvent press(QEvent::MouseButtonPress, at, handle->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(handle, &press);
    const QPoint to = at + QPoint(dx, 0);
    QMouseEvent move(QEvent::MouseMove, to, handle->mapToGlobal(to), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(handle, &move);
    QMouseEvent release(QEvent::MouseButtonRelease, to, handle->mapToGlobal(to), Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(handle, &release);
}

void dragVertically(QWidget* grip, int dy)
{
    const QPoint at = grip->rect().center(), to = at + QPoint(0, dy);
    QMouseEvent press(QEvent::MouseButtonPress, at, grip->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(grip, &press);
    QMouseEvent move(QEvent::MouseMove, to, grip->mapToGlobal(to), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(grip, &move);
    QMouseEvent release(QEvent::MouseButtonRelease, to, grip->mapToGlobal(to), Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(grip, &release);
}

void makeOrderPhoto(const QString& path, std::vector<double> colour)
{
    PhotoComposer::ensureVips();
    QDir().mkpath(QFileInfo(path).absolutePath());
    vips::VImage::black(900, 600, vips::VImage::option()->set("bands", 3))
        .new_from_image(colour)
        .cast(VIPS_FORMAT_UCHAR)
        .write_to_file(QFile::encodeName(path).constData());
}

} // namespace

// A 1280 × 720 laptop: the spreadsheet screen and the orders screen with the crop editor open
// show every text whole, the gallery's section buttons fall back to their symbols with their
// help, and the window comes back at the size, place and splits the user left.
TEST(WindowFlow, ALaptopScreenShowsEveryTextWholeAndTheWindowComesBackAsLeft)
{
    TempDataDir data;
    const QString order = data.file(QStringLiteral("Commandes/0142 DUPONT Jean"));
    for (int n = 0; n < 3; ++n) {
        makeOrderPhoto(order + QStringLiteral("/IMPRESSION A5/DSC_04%1.JPG").arg(10 + n), {200, 60.0 + 40 * n, 40});
        makeOrderPhoto(order + QStringLiteral("/FICHIERS/DSC_05%1.JPG").arg(10 + n), {40, 90, 200.0 - 40 * n});
    }
    {
        OrdersStore earlier;
        earlier.storeRoot(data.file(QStringLiteral("Commandes")));
        earlier.selectFolder(order);
    }
    QList<int> tableurSizes;
    int historyHeight = 0;
    {
        Launch launch(data.path());
        MacRootView& window = launch.window;
        // The first start takes the whole of the laptop's screen, and nothing is cut at that size.
        ASSERT_EQ(window.screen()->availableGeometry().size(), QSize(1280, 720));
        EXPECT_TRUE(window.isMaximized());
        EXPECT_EQ(window.size(), QSize(1280, 720));
        const QUuid day = launch.store().addDay(QStringLiteral("Samedi 14 juin")).id;
        const QUuid sheet = launch.store().addSpreadsheet(day, QStringLiteral("Épreuve 4 · Grand Prix 1,35 m")).id;
        launch.sidebar().select(day, sheet);
        settle();
        QLabel* summary = window.workspace()->findChild<QLabel*>(QStringLiteral("summaryLine"));
        ASSERT_NE(summary, nullptr);
        EXPECT_TRUE(summary->wordWrap());
        EXPECT_EQ(cutTexts(&window), QStringList());
        window.resize(1280, 720);
        settle();
        EXPECT_EQ(cutTexts(&window), QStringList());

        window.setSection(MacWorkspaceSection::commandes);
        auto* orders = qobject_cast<OrdersView*>(window.sectionPage(MacWorkspaceSection::commandes));
        ASSERT_TRUE(orders && orders->isBuilt());
        const QList<OrderMedia> files = OrdersScreen::allFiles(orders->store().sections());
        ASSERT_EQ(files.size(), 6);
        orders->findChild<OrdersCropEditor*>()->openCrop(files[0].url);
        settle();
        ASSERT_NE(orders->besideGallery(), nullptr);
        EXPECT_EQ(orders->besideGallery()->visibleRegion().boundingRect().size(), orders->besideGallery()->size());
        EXPECT_EQ(cutTexts(&window), QStringList());
        // Beside the editor the section buttons are symbols that still say what they do.
        const QList<OrdersSectionHeader*> headers = orders->sectionHeaders();
        ASSERT_EQ(headers.size(), 2);
        for (OrdersSectionHeader* header : headers) {
            EXPECT_TRUE(header->isCompact());
            CapsuleButton* retouch = header->button(OrdersScreen::Action::Kind::retouch);
            ASSERT_NE(retouch, nullptr);
            EXPECT_FALSE(retouch->icon().isNull());
            EXPECT_FALSE(retouch->toolTip().isEmpty());
            EXPECT_LE(retouch->geometry().right(), header->width());
        }
        // And at the default size, narrower still.
        window.resize(1180, 720);
        settle();
        EXPECT_EQ(cutTexts(&window), QStringList());
        window.resize(1280, 720);
        settle();
        // Closed again, the gallery has room for the labels.
        orders->findChild<OrdersCropEditor*>()->close();
        settle();
        for (OrdersSectionHeader* header : orders->sectionHeaders()) EXPECT_FALSE(header->isCompact());

        // The user's own size, place and splits.
        window.setSection(MacWorkspaceSection::tableur);
        window.showNormal();
        window.setGeometry(QRect(QPoint(40, 30), QSize(1100, 640)));
        settle();
        auto* splitter = launch.tableur().findChild<QSplitter*>(QString(), Qt::FindDirectChildrenOnly);
        const int before = splitter->sizes().first();
        dragSplitter(splitter, 1, 60);
        tableurSizes = splitter->sizes();
        EXPECT_EQ(tableurSizes.first(), before + 60);
        // The history under the table pulled 80 pixels taller by its grip.
        auto* history = window.findChild<OrganizerHistoryView*>();
        ASSERT_NE(history, nullptr);
        if (!history->resizeGrip()->isVisible()) history->header()->click(); // unfolded
        settle();
        ASSERT_TRUE(history->resizeGrip()->isVisible());
        const int shown = history->linesArea()->height();
        dragVertically(history->resizeGrip(), -80);
        EXPECT_EQ(history->chosenHeight(), shown + 80);
        historyHeight = shown + 80;
        window.close();
    }
    Launch launch(data.path());
    EXPECT_EQ(launch.window.geometry(), QRect(QPoint(40, 30), QSize(1100, 640)));
    settle();
    EXPECT_EQ(launch.tableur().findChild<QSplitter*>(QString(), Qt::FindDirectChildrenOnly)->sizes(), tableurSizes);
    EXPECT_EQ(launch.window.findChild<OrganizerHistoryView*>()->chosenHeight(), historyHeight);
    EXPECT_EQ(launch.window.findChild<OrganizerHistoryView*>()->linesArea()->maximumHeight(), historyHeight);
}
