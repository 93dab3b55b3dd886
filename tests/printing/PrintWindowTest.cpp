#include "TestSupport.h"

#include "base/UserDefaults.h"
#include "printing/PhotoPrinter.h"
#include "printing/PrintInfoMemory.h"
#include "printing/views/PrintPhotosMenu.h"
#include "printing/views/PrintSession.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QPrintDialog>
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

namespace {

bool magick(const QStringList& arguments) { return QProcess::execute(QStringLiteral("convert"), arguments) == 0; }

QString output(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.start(program, arguments);
    process.waitForFinished(60000);
    return QString::fromUtf8(process.readAllStandardOutput());
}

int pdfPages(const QString& pdf)
{
    const QRegularExpressionMatch m = QRegularExpression("Pages:\\s+(\\d+)").match(output("pdfinfo", {pdf}));
    return m.hasMatch() ? m.captured(1).toInt() : -1;
}

// "width height" of each image of the PDF, in page order.
QStringList pdfImageSizes(const QString& pdf)
{
    QStringList sizes;
    for (const QString& line : output("pdfimages", {"-list", pdf}).split(u'\n').mid(2)) {
        const QStringList f = line.simplified().split(u' ');
        if (f.size() > 4) sizes << f[3] + u' ' + f[4];
    }
    return sizes;
}

// Each test answers the panel itself and collects the delivered marks.
struct PrintHarness {
    TempDataDir data;
    QWidget window;
    QList<QStringList> marked;
    int panels = 0;

    explicit PrintHarness(std::function<void(QPrinter&)> choose, PrintPanelChoice choice = PrintPanelChoice::print)
    {
        PrintInfoMemory::forgetRestoreForTesting();
        PhotoPrinter::setDeliveredMarker([this](const QStringList& photos) { marked << photos; });
        PrintSession::setPrintPanelForTesting([this, choose, choice](QPrinter& printer, const QStringList&, QWidget*) {
            ++panels;
            choose(printer);
            return choice;
        });
        window.resize(400, 300);
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
    if (!finished.wait(120000)) return false;
    return finished.first().first().toBool();
}

} // namespace

TEST(PrintPhotosMenu, OneEntryPerPaperThenThePanelAndDisabledWithoutPhotos)
{
    PrintHarness harness([](QPrinter&) {}, PrintPanelChoice::cancel);
    const QString photo = harness.data.file("IMG_0007.jpg");
    ASSERT_TRUE(magick({"-size", "600x400", "xc:gray", photo}));

    PrintPhotosMenu menu({photo, harness.data.file("notes.txt"), harness.data.file("clip.mov")}, "Imprimer en pleine résolution", &harness.window);
    EXPECT_EQ(menu.photos(), QStringList({photo}));
    EXPECT_TRUE(menu.isEnabled());
    QStringList titles;
    for (QAction* action : menu.actions()) {
        titles << (action->isSeparator() ? QStringLiteral("—") : action->text());
        if (!action->isSeparator()) {
            EXPECT_TRUE(action->isEnabled());
            EXPECT_EQ(action->toolTip(), "Imprimer en pleine résolution, sans compression");
        }
    }
    EXPECT_EQ(titles, QStringList({"A5", "A4", "10 × 15 cm", "13 × 18 cm", "15 × 21 cm", "—", "Panneau d’impression…"}));
    EXPECT_EQ(menu.menuAction()->toolTip(), "Imprimer en pleine résolution, sans compression");

    // "10 × 15 cm" for a landscape photo reaches the panel set up for that paper; cancelling the
    // panel prints nothing, marks nothing and still remembers the settings.
    QPrinter* seen = nullptr;
    QSizeF paper;
    QPageLayout::Orientation orientation{};
    PrintSession::setPrintPanelForTesting([&](QPrinter& printer, const QStringList& photos, QWidget* window) {
        seen = &printer;
        paper = printer.pageLayout().pageSize().size(QPageSize::Point);
        orientation = printer.pageLayout().orientation();
        EXPECT_EQ(photos, QStringList({photo}));
        EXPECT_EQ(window, &harness.window);
        EXPECT_EQ(printer.docName(), "IMG_0007");
        return PrintPanelChoice::cancel;
    });
    menu.actions()[2]->trigger();
    QTRY_VERIFY(seen != nullptr);
    EXPECT_NEAR(paper.width(), 283.46, 0.6);
    EXPECT_NEAR(paper.height(), 425.20, 0.6);
    EXPECT_EQ(orientation, QPageLayout::Landscape);
    EXPECT_TRUE(harness.marked.isEmpty());
    EXPECT_TRUE(UserDefaults::standard().contains(PrintInfoMemory::lastPrintInfoKey));

    std::unique_ptr<QMenu> empty(PrintPhotosMenu::create({harness.data.file("notes.txt")}, &harness.window));
    EXPECT_FALSE(empty->isEnabled());
    EXPECT_EQ(empty->title(), "Aucune photo à imprimer");
    EXPECT_EQ(empty->menuAction()->toolTip(), "Aucune photo à imprimer");
    EXPECT_FALSE(empty->menuAction()->isEnabled());
    for (QAction* action : empty->actions()) EXPECT_FALSE(action->isEnabled() && !action->isSeparator());
    EXPECT_EQ(PhotoPrinter::print({harness.data.file("notes.txt")}, PrintPaperFormat::a4, &harness.window), nullptr);
}

TEST(PrintSession, PrintsTheChosenRangeRemembersThePanelAndMarksOnlyThosePhotos)
{
    const QString pdf = QDir::temp().filePath("tavrin-window-print.pdf");
    QFile::remove(pdf);
    PrintHarness harness([pdf](QPrinter& printer) {
        PrintHarness::toPdf(printer, pdf);
        // What the photographer changes in the panel: the pages 1 and 3, two copies.
        printer.setPrintRange(QPrinter::PageRange);
        printer.setPageRanges(QPageRanges::fromString("1,3"));
        printer.setCopyCount(2);
    });
    const QString red = harness.data.file("IMG_0001.jpg"), wide = harness.data.file("IMG_0002.png"), tall = harness.data.file("IMG_0003.png");
    ASSERT_TRUE(magick({"-size", "500x300", "xc:red", red}));
    ASSERT_TRUE(magick({"-size", "800x500", "xc:#2050d0", "-fill", "#10c020", "-draw", "rectangle 0,0 199,99", wide}));
    ASSERT_TRUE(magick({"-size", "300x500", "xc:white", tall}));

    PrintSession* session = PhotoPrinter::print({wide, harness.data.file("liste.txt"), red, tall}, PrintPaperFormat::a5, &harness.window);
    ASSERT_NE(session, nullptr);
    EXPECT_EQ(session->photos(), QStringList({wide, red, tall}));
    ASSERT_NE(session->progressDialog(), nullptr);
    EXPECT_EQ(session->progressDialog()->windowTitle(), "Impression");
    EXPECT_TRUE(session->progressDialog()->labelText().startsWith("Impression de la photo 1 sur 2"));
    EXPECT_EQ(session->progressDialog()->findChild<QPushButton*>()->text(), "Annuler");
    QList<int> done;
    QObject::connect(session, &PrintSession::progressed, [&](int d, int total) { done << d * 10 + total; });
    ASSERT_TRUE(waitFor(session));
    EXPECT_EQ(done, QList<int>({12, 22}));

    // Pages 1 and 3 only, A5 in landscape from the first photo, at the photos' full size.
    EXPECT_EQ(pdfPages(pdf), 2);
    EXPECT_TRUE(output("pdfinfo", {pdf}).contains(QRegularExpression("Page size:\\s+595 x 420 pts"))) << qPrintable(output("pdfinfo", {pdf}));
    EXPECT_EQ(pdfImageSizes(pdf), QStringList({"800 500", "300 500"}));
    QProcess::execute("pdfimages", {"-f", "1", "-l", "1", "-png", pdf, harness.data.file("page")});
    const QStringList corner = output("vips", {"getpoint", harness.data.file("page-000.png"), "50", "50"}).simplified().split(u' ');
    const QStringList field = output("vips", {"getpoint", harness.data.file("page-000.png"), "600", "400"}).simplified().split(u' ');
    ASSERT_EQ(corner.size(), 3);
    ASSERT_EQ(field.size(), 3);
    EXPECT_NEAR(corner[1].toInt(), 0xc0, 8);
    EXPECT_NEAR(field[2].toInt(), 0xd0, 8);

    EXPECT_EQ(harness.marked, QList<QStringList>({{wide, tall}}));
    // The panel's choices are the next print's, in this run and the next.
    PrintInfoMemory::forgetRestoreForTesting();
    PrintInfoMemory::restoreSharedIfNeeded();
    EXPECT_EQ(PrintInfoMemory::shared().pageSize.id(), QPageSize::A5);
    EXPECT_EQ(PrintInfoMemory::shared().orientation, QPageLayout::Landscape);
    EXPECT_EQ(PrintInfoMemory::shared().margins, QMarginsF(0, 0, 0, 0));
    EXPECT_EQ(PrintInfoMemory::shared().copies, 2);
    QFile::remove(pdf);
}

TEST(PrintSession, AnnulerStopsAFortyPhotoJobAndOnlyItsPrintedPagesAreDelivered)
{
    const QString pdf = QDir::temp().filePath("tavrin-window-cancel.pdf");
    QFile::remove(pdf);
    PrintHarness harness([pdf](QPrinter& printer) { PrintHarness::toPdf(printer, pdf); });
    const QString first = harness.data.file("IMG_0001.jpg");
    // Noise does not compress: every page takes a while to write.
    ASSERT_TRUE(magick({"-size", "1600x1000", "xc:gray", "+noise", "Random", "-quality", "95", first}));
    QStringList photos{first};
    for (int i = 2; i <= 40; ++i) {
        photos << harness.data.file(QStringLiteral("IMG_%1.jpg").arg(i, 4, 10, QChar(u'0')));
        ASSERT_TRUE(QFile::copy(first, photos.last()));
    }

    PrintSession* session = PhotoPrinter::print(photos, std::nullopt, &harness.window);
    ASSERT_NE(session, nullptr);
    QObject::connect(session, &PrintSession::progressed, [session](int done, int) {
        if (done == 2 && session->progressDialog()) QTest::mouseClick(session->progressDialog()->findChild<QPushButton*>(), Qt::LeftButton);
    });
    EXPECT_FALSE(waitFor(session));

    const int pages = pdfPages(pdf);
    EXPECT_GE(pages, 2);
    EXPECT_LT(pages, 40);
    ASSERT_EQ(harness.marked.size(), 1);
    EXPECT_EQ(harness.marked.first(), photos.mid(0, pages));
    QFile::remove(pdf);
}

TEST(PrintSession, AFailedJobSaysWhyAndMarksNothing)
{
    PrintHarness harness([](QPrinter& printer) { PrintHarness::toPdf(printer, "/nonexistent/dossier/photos.pdf"); });
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

TEST(PhotoPrinterPreview, ThePreviewDrawsReducedPhotos)
{
    TempDataDir data;
    const QString photo = data.file("IMG_0001.jpg"), pdf = data.file("preview.pdf");
    ASSERT_TRUE(magick({"-size", "4000x3000", "xc:orange", photo}));
    QPrinter printer(QPrinter::HighResolution);
    PrintHarness::toPdf(printer, pdf);
    PhotoPrinter::configure(printer, {photo}, PrintPaperFormat::a4);
    ASSERT_TRUE(PhotoPrinter::render(printer, {photo}, {}, 1600));
    EXPECT_EQ(pdfImageSizes(pdf), QStringList({"1600 1200"}));
    EXPECT_TRUE(output("pdfinfo", {pdf}).contains(QRegularExpression("Page size:\\s+842 x 595 pts")));
}

// The real panel: its options, the « Aperçu… » button, a preview of every page, and back.
TEST(PrintPanel, OffersThePageRangeAndAPreviewThenGoesBackToThePanel)
{
    TempDataDir data;
    QStringList photos;
    for (const char* colour : {"red", "blue", "green"}) {
        photos << data.file(QStringLiteral("IMG_%1.jpg").arg(colour));
        ASSERT_TRUE(magick({"-size", "900x600", QStringLiteral("xc:%1").arg(colour), photos.last()}));
    }
    QPrinter printer(QPrinter::HighResolution);
    PrintHarness::toPdf(printer, data.file("panel.pdf"));
    PhotoPrinter::configure(printer, photos, PrintPaperFormat::a4);
    QWidget window;
    window.show();

    QStringList steps;
    int previewPages = -1;
    std::function<void()> next;
    const auto later = [&](std::function<void()> step) {
        next = std::move(step);
        QTimer::singleShot(50, [&] { next(); });
    };
    const auto inPanel = [&](std::function<void(QPrintDialog*)> act) {
        later([&, act] {
            if (auto* panel = qobject_cast<QPrintDialog*>(QApplication::activeModalWidget())) act(panel);
        });
    };
    inPanel([&](QPrintDialog* panel) {
        steps << panel->windowTitle();
        EXPECT_TRUE(panel->testOption(QAbstractPrintDialog::PrintPageRange));
        EXPECT_TRUE(panel->testOption(QAbstractPrintDialog::PrintShowPageSize));
        EXPECT_EQ(panel->minPage(), 1);
        EXPECT_EQ(panel->maxPage(), 3);
        QPushButton* preview = nullptr;
        for (QPushButton* b : panel->findChildren<QPushButton*>())
            if (b->text() == "Aperçu…") preview = b;
        if (!preview) return panel->reject();
        preview->click();
        later([&] {
            auto* shown = qobject_cast<QPrintPreviewDialog*>(QApplication::activeModalWidget());
            if (!shown) return;
            steps << shown->windowTitle();
            // The preview draws its pages once it is laid out.
            if (auto* pages = shown->findChild<QPrintPreviewWidget*>()) {
                EXPECT_TRUE(QTest::qWaitFor([&] { return pages->pageCount() == 3; }, 5000));
                previewPages = pages->pageCount();
            }
            shown->reject();
            inPanel([&](QPrintDialog* again) {
                steps << again->windowTitle();
                again->reject();
            });
        });
    });
    EXPECT_EQ(PrintSession::showPrintPanel(printer, photos, &window), PrintPanelChoice::cancel);
    EXPECT_EQ(steps, QStringList({"Imprimer", "Aperçu avant impression", "Imprimer"}));
    EXPECT_EQ(previewPages, 3);
}
