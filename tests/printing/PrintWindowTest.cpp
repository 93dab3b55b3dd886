#include "PdfTools.h"
#include "TestSupport.h"

#include "base/UserDefaults.h"
#include "printing/PhotoPrinter.h"
#include "printing/PrintInfoMemory.h"
#include "printing/views/PrintPhotosMenu.h"
#include "printing/views/PrintCaptionTab.h"
#include "printing/views/PrintSession.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QPrintDialog>
#include <QComboBox>
#include <QCheckBox>
#include <QSpinBox>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QTimer>
#include <QFile>
#include <QMessageBox>
#include <QPrinter>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <QWidget>

using namespace tavrin;
using test::TempDataDir;
using test::magick;
using test::pdfImages;
using test::pdfPages;

namespace {


// "width height" of each image of the PDF, in page order.
QStringList pdfImageSizes(const QString& pdf)
{
    QStringList sizes;
    for (const test::PdfImage& image : test::pdfImages(pdf)) sizes << QString::number(image.width) + u' ' + QString::number(image.height);
    return sizes;
}

// Each test answers the panel itself (by default: print into `pdf`) and collects the delivered marks.
struct PrintHarness {
    TempDataDir data;
    QWidget window;
    const QString pdf = data.file("job.pdf");
    QList<QStringList> marked;
    std::function<PrintPanelChoice(QPrinter&)> panel = [this](QPrinter& printer) {
        toPdf(printer, pdf);
        return PrintPanelChoice::print;
    };

    PrintHarness()
    {
        PrintInfoMemory::forgetRestoreForTesting();
        PhotoPrinter::setDeliveredMarker([this](const QStringList& photos) { marked << photos; });
        PrintSession::setPrintPanelForTesting([this](QPrinter& printer, const QStringList&, QWidget*) { return panel(printer); });
        window.show();
    }
    ~PrintHarness()
    {
        PrintSession::setPrintPanelForTesting({});
        PhotoPrinter::setDeliveredMarker({});
    }
    static void toPdf(QPrinter& printer, const QString& pdf)
    {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(pdf);
    }
};

// Runs the session to its end; true when it completed.
bool waitFor(PrintSession* session)
{
    if (!session) return false;
    QSignalSpy finished(session, &PrintSession::finished);
    return finished.wait(120000) && finished.first().first().toBool();
}

} // namespace

TEST(PrintPhotosMenu, OneEntryPerPaperThenThePanelAndDisabledWithoutPhotos)
{
    PrintHarness harness;
    const QString photo = harness.data.file("IMG_0007.jpg"), notes = harness.data.file("notes.txt");
    ASSERT_TRUE(magick({"-size", "600x400", "xc:gray", photo}));

    PrintPhotosMenu menu({photo, notes, harness.data.file("clip.mov")}, "Imprimer en pleine résolution", &harness.window);
    EXPECT_EQ(menu.photos(), QStringList({photo}));
    EXPECT_TRUE(menu.isEnabled());
    QStringList titles;
    for (QAction* action : menu.actions()) {
        titles << (action->isSeparator() ? QStringLiteral("—") : action->text());
        if (!action->isSeparator()) {
            EXPECT_EQ(action->toolTip(), "Imprimer en pleine résolution, sans compression");
        }
    }
    EXPECT_EQ(titles, QStringList({"A5", "A4", "10 × 15 cm", "13 × 18 cm", "15 × 21 cm", "—", "Panneau d’impression…"}));
    EXPECT_EQ(menu.menuAction()->toolTip(), "Imprimer en pleine résolution, sans compression");

    // "10 × 15 cm" for a landscape photo reaches the panel set up for that paper; cancelling the
    // panel prints nothing and still remembers the settings.
    std::optional<QPageLayout> layout;
    harness.panel = [&](QPrinter& printer) {
        layout = printer.pageLayout();
        EXPECT_EQ(printer.docName(), "IMG_0007");
        return PrintPanelChoice::cancel;
    };
    menu.actions()[2]->trigger();
    QTRY_VERIFY(layout.has_value());
    EXPECT_NEAR(layout->pageSize().size(QPageSize::Point).width(), 283.46, 0.6);
    EXPECT_EQ(layout->orientation(), QPageLayout::Landscape);
    EXPECT_TRUE(harness.marked.isEmpty());
    EXPECT_TRUE(UserDefaults::standard().contains(PrintInfoMemory::lastPrintInfoKey));

    std::unique_ptr<QMenu> empty(PrintPhotosMenu::create({notes}, &harness.window));
    EXPECT_FALSE(empty->menuAction()->isEnabled());
    EXPECT_EQ(empty->title(), "Aucune photo à imprimer");
    EXPECT_EQ(empty->menuAction()->toolTip(), "Aucune photo à imprimer");
    EXPECT_EQ(PhotoPrinter::print({notes}, PrintPaperFormat::a4, &harness.window), nullptr);
}

TEST(PrintSession, PrintsTheChosenRangeIntoAFileRemembersThePanelAndDeliversNothing)
{
    PrintHarness harness;
    harness.panel = [&](QPrinter& printer) {
        PrintHarness::toPdf(printer, harness.pdf);
        // What the photographer changes in the panel: the pages 1 and 3 to 4, two copies.
        printer.setPrintRange(QPrinter::PageRange);
        printer.setPageRanges(QPageRanges::fromString("1,3-4"));
        printer.setCopyCount(2);
        return PrintPanelChoice::print;
    };
    const QString wide = harness.data.file("IMG_0001.png"), red = harness.data.file("IMG_0002.jpg"), tall = harness.data.file("IMG_0003.png");
    ASSERT_TRUE(magick({"-size", "800x500", "xc:#2050d0", "-fill", "#10c020", "-draw", "rectangle 0,0 199,99", wide}));
    ASSERT_TRUE(magick({"-size", "500x300", "xc:red", red}));
    ASSERT_TRUE(magick({"-size", "300x500", "xc:white", tall}));
    const QString broken = harness.data.file("IMG_0004.jpg");
    test::writeFile(broken, "pas une photo");

    PrintSession* session = PhotoPrinter::print({wide, harness.data.file("liste.txt"), red, tall, broken}, PrintPaperFormat::a5, &harness.window);
    ASSERT_NE(session, nullptr);
    EXPECT_EQ(session->photos(), QStringList({wide, red, tall, broken}));
    EXPECT_EQ(session->progressDialog()->windowTitle(), "Impression");
    EXPECT_EQ(session->progressDialog()->labelText(), "Impression de la photo 1 sur 3…");
    EXPECT_EQ(session->progressDialog()->findChild<QPushButton*>()->text(), "Annuler");
    QList<int> done;
    QObject::connect(session, &PrintSession::progressed, [&](int d, int total) { done << d * 10 + total; });
    ASSERT_TRUE(waitFor(session));
    EXPECT_EQ(done, QList<int>({13, 23, 33}));

    // Pages 1, 3 and 4 only (the last one blank), A5 in landscape from the first photo, at the
    // photos' full size.
    EXPECT_EQ(pdfPages(harness.pdf), 3);
    EXPECT_TRUE(test::commandOutput("pdfinfo", {harness.pdf}).contains(QRegularExpression("Page size:\\s+595 x 420 pts")));
    EXPECT_EQ(pdfImageSizes(harness.pdf), QStringList({"800 500", "300 500"}));
    QProcess::execute("pdfimages", {"-f", "1", "-l", "1", "-png", harness.pdf, harness.data.file("page")});
    const QString image = harness.data.file("page-000.png");
    const QStringList corner = test::commandOutput("vips", {"getpoint", image, "50", "50"}).simplified().split(u' ');
    const QStringList field = test::commandOutput("vips", {"getpoint", image, "600", "400"}).simplified().split(u' ');
    ASSERT_EQ(corner.size(), 3);
    ASSERT_EQ(field.size(), 3);
    EXPECT_NEAR(corner[1].toInt(), 0xc0, 8);
    EXPECT_NEAR(field[2].toInt(), 0xd0, 8);

    // « Imprimer dans un fichier (PDF) » is a proof: nothing handed to a customer.
    EXPECT_EQ(harness.marked, QList<QStringList>());
    // The panel's choices are the next print's, in this run and the next.
    PrintInfoMemory::forgetRestoreForTesting();
    PrintInfoMemory::restoreSharedIfNeeded();
    EXPECT_EQ(PrintInfoMemory::shared().pageSize.id(), QPageSize::A5);
    EXPECT_EQ(PrintInfoMemory::shared().orientation, QPageLayout::Landscape);
    EXPECT_EQ(PrintInfoMemory::shared().copies, 2);
}

TEST(PrintSession, AnnulerStopsAFortyPhotoJobAfterItsFirstPages)
{
    PrintHarness harness;
    const QString first = harness.data.file("IMG_0001.png");
    // Noise does not compress: every page takes a while to write.
    ASSERT_TRUE(magick({"-size", "1600x1000", "xc:gray", "+noise", "Random", "-depth", "8", "PNG24:" + first}));
    QStringList photos{first};
    for (int i = 2; i <= 40; ++i) {
        photos << harness.data.file(QStringLiteral("IMG_%1.png").arg(i, 4, 10, QChar(u'0')));
        ASSERT_TRUE(QFile::copy(first, photos.last()));
    }

    PrintSession* session = PhotoPrinter::print(photos, std::nullopt, &harness.window);
    ASSERT_NE(session, nullptr);
    QObject::connect(session, &PrintSession::progressed, [session](int done, int) {
        if (done == 2) QTest::mouseClick(session->progressDialog()->findChild<QPushButton*>(), Qt::LeftButton);
    });
    EXPECT_FALSE(waitFor(session));

    const int pages = pdfPages(harness.pdf);
    EXPECT_GE(pages, 2);
    EXPECT_LT(pages, 40);
    EXPECT_EQ(harness.marked, QList<QStringList>());
}

TEST(PrintSession, AFailedJobSaysWhyAndMarksNothing)
{
    PrintHarness harness;
    harness.panel = [](QPrinter& printer) {
        PrintHarness::toPdf(printer, "/nonexistent/dossier/photos.pdf");
        return PrintPanelChoice::print;
    };
    const QString photo = harness.data.file("IMG_0001.jpg");
    ASSERT_TRUE(magick({"-size", "60x40", "xc:red", photo}));
    PrintSession* session = PhotoPrinter::print({photo}, PrintPaperFormat::a4, &harness.window);
    ASSERT_NE(session, nullptr);
    QString message;
    QObject::connect(session, &PrintSession::finished, [&] { message = session->errorMessage(); });
    EXPECT_FALSE(waitFor(session));
    EXPECT_EQ(message, "Impossible d’écrire « /nonexistent/dossier/photos.pdf ».");
    EXPECT_TRUE(harness.marked.isEmpty());
    QMessageBox* box = harness.window.findChild<QMessageBox*>();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->text(), message);
    box->close();
}

// The real panel: its options, the « Aperçu… » button, a preview of every page with reduced
// photos, and back to the panel.
TEST(PrintPanel, OffersThePageRangeAndAPreviewThenGoesBackToThePanel)
{
    TempDataDir data;
    QStringList photos;
    for (const char* colour : {"red", "blue", "green"}) {
        photos << data.file(QStringLiteral("IMG_%1.jpg").arg(colour));
        ASSERT_TRUE(magick({"-size", "4000x3000", QStringLiteral("xc:%1").arg(colour), photos.last()}));
    }
    QPrinter printer(QPrinter::HighResolution);
    PrintHarness::toPdf(printer, data.file("panel.pdf"));
    PhotoPrinter::configure(printer, photos, PrintPaperFormat::a4);
    QWidget window;
    window.show();

    QStringList steps;
    int previewPages = -1;
    const auto modal = [] { return QApplication::activeModalWidget(); };
    QTimer::singleShot(50, [&] {
        auto* panel = qobject_cast<QPrintDialog*>(modal());
        ASSERT_NE(panel, nullptr);
        steps << panel->windowTitle();
        EXPECT_TRUE(panel->testOption(QAbstractPrintDialog::PrintPageRange));
        EXPECT_EQ(panel->maxPage(), 3);
        // The caption's own tab: chosen here, remembered once the panel is accepted.
        auto* caption = panel->findChild<PrintCaptionTab*>();
        ASSERT_NE(caption, nullptr);
        EXPECT_FALSE(caption->positionBox()->isEnabled());
        caption->shownBox()->setChecked(true);
        caption->positionBox()->setCurrentIndex(1);
        caption->sizeBox()->setValue(12);
        QTimer::singleShot(50, [&] {
            auto* preview = qobject_cast<QPrintPreviewDialog*>(modal());
            ASSERT_NE(preview, nullptr);
            steps << preview->windowTitle();
            // The preview draws its pages once it is laid out.
            auto* pages = preview->findChild<QPrintPreviewWidget*>();
            EXPECT_TRUE(QTest::qWaitFor([&] { return pages->pageCount() == 3; }, 10000));
            previewPages = pages->pageCount();
            QTimer::singleShot(50, [&] {
                steps << modal()->windowTitle();
                qobject_cast<QDialog*>(modal())->reject();
            });
            preview->reject();
        });
        for (QPushButton* button : panel->findChildren<QPushButton*>())
            if (button->text() == "Aperçu…") return button->click();
        panel->reject();
    });
    EXPECT_EQ(PrintSession::showPrintPanel(printer, photos, &window), PrintPanelChoice::cancel);
    EXPECT_EQ(steps, QStringList({"Imprimer", "Aperçu avant impression", "Imprimer"}));
    EXPECT_EQ(PrintCaption::remembered(), (CaptionStyle{true, CaptionPosition::over, 12}));
    EXPECT_EQ(previewPages, 3);

    // The preview's photos are reduced for the screen, laid out as on paper.
    const QString proof = data.file("preview.pdf");
    PrintHarness::toPdf(printer, proof);
    ASSERT_TRUE(PhotoPrinter::render(printer, photos.mid(0, 1), {}, 1600));
    EXPECT_EQ(pdfImageSizes(proof), QStringList({"1600 1200"}));
}
