#include "PdfTools.h"
#include "PrivateCups.h"
#include "RealWindow.h"

#include "printing/PhotoPrinter.h"
#include "printing/PrintInfoMemory.h"
#include "printing/views/PrintPhotosMenu.h"
#include "printing/views/PrintSession.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QProgressDialog>
#include <QPushButton>
#include <QVBoxLayout>

using namespace tavrin;
namespace realwindow = tavrin::test::realwindow;

// In a framed window with real clicks: the print menu opened on a dye-sub printer, its cut sheet
// chosen with the mouse, the dialog that says what is left, closed with « Fermer », and the menu
// that says it again.
TEST(StandPrintRealWindow, ACutSheetChosenWithTheMouseAndWhatIsLeftClosedWithFermer)
{
    test::PrivateCups cups;
    if (!cups.running) GTEST_SKIP() << cups.reason.toStdString();
    if (!cups.addDriverQueue("DS620", "dnp-ds620")) GTEST_SKIP() << cups.reason.toStdString();
    cups.reportSupplies("marker-names=Ribbon marker-types=ribbonWax marker-levels=68 marker-message='340 native prints remaining on ribbon'\n");
    qputenv("CUPS_SERVER", cups.env.value("CUPS_SERVER").toUtf8());
    test::TempDataDir data;
    PrintInfoMemory::forgetRestoreForTesting();
    PrintInfoMemory::restoreSharedIfNeeded();
    PrintInfoMemory::shared().printerName = "DS620";
    QList<QStringList> marked;
    PhotoPrinter::setDeliveredMarker([&](const QStringList& photos) { marked << photos; });
    PrintSession::setPrintPanelForTesting([](QPrinter&, const QStringList&, QWidget*) { return PrintPanelChoice::print; });
    QDir().mkpath(data.file("MARTIN Léa 11h20/IMPRESSION 10x15"));
    QStringList photos;
    for (const char* name : {"IMG_1.jpg", "IMG_2.jpg"}) {
        photos << data.file(QStringLiteral("MARTIN Léa 11h20/IMPRESSION 10x15/%1").arg(name));
        ASSERT_TRUE(test::magick({"-size", "900x600", "xc:#30a050", photos.last()}));
    }

    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* button = new QPushButton("Imprimer…", &window);
    layout->addWidget(button);
    window.resize(400, 200);
    auto* menu = new PrintPhotosMenu(photos, "Imprimer", &window);
    // Opened without a nested event loop, so that the test's own clicks keep coming.
    QObject::connect(button, &QPushButton::clicked, menu, [menu, button] { menu->popup(button->mapToGlobal(button->rect().bottomLeft())); });
    window.show();
    ASSERT_TRUE(realwindow::waitForWindow(window));
    ASSERT_TRUE(realwindow::click(button));
    ASSERT_TRUE(QTest::qWaitFor([&] { return menu->isVisible(); }, 5000));
    QAction* twoUp = nullptr;
    for (QAction* action : menu->actions())
        if (action->text() == QString::fromUtf8("2 × 10 × 15 cm sur 15 × 20 cm")) twoUp = action;
    ASSERT_NE(twoUp, nullptr);
    ASSERT_TRUE(realwindow::click(menu, menu->actionGeometry(twoUp).center()));

    QProgressDialog* dialog = nullptr;
    ASSERT_TRUE(QTest::qWaitFor([&] { return (dialog = window.findChild<QProgressDialog*>()) && dialog->labelText().contains("Ruban"); }, 120000));
    EXPECT_EQ(dialog->labelText(), QString::fromUtf8("Impression terminée.\nRuban : 340 tirages restants"));
    EXPECT_EQ(marked, QList<QStringList>({photos}));
    EXPECT_EQ(test::pdfPages(cups.spooledDocument(1)), 1);
    QPushButton* close = dialog->findChild<QPushButton*>();
    ASSERT_NE(close, nullptr);
    EXPECT_EQ(close->text(), "Fermer");
    const QPointer<QProgressDialog> watched = dialog;
    ASSERT_TRUE(realwindow::click(close));
    EXPECT_TRUE(QTest::qWaitFor([&] { return watched.isNull(); }, 5000));

    // The menu says it again under the printer's sizes, until the next job.
    PrintPhotosMenu again(photos, "Imprimer", &window);
    QAction* left = nullptr;
    for (QAction* action : again.actions())
        if (action->text() == QString::fromUtf8("Ruban : 340 tirages restants")) left = action;
    ASSERT_NE(left, nullptr);
    EXPECT_FALSE(left->isEnabled());

    PrintSession::setPrintPanelForTesting({});
    PhotoPrinter::setDeliveredMarker({});
}

int main(int argc, char** argv) { return realwindow::run(argc, argv); }
