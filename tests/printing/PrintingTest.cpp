#include "PdfTools.h"
#include "TestSupport.h"

#include "base/UserDefaults.h"
#include "editing/PhotoComposer.h"
#include "printing/PhotoPrinter.h"
#include "printing/PrintInfoMemory.h"
#include "printing/PrintQueue.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QJsonDocument>
#include <QPrinter>
#include <QProcess>
#include <QRegularExpression>

using namespace tavrin;
using test::TempDataDir;
using test::magick;
using test::PdfImage;
using test::pdfImages;

namespace {

// The real cameras' photos shared beside the repository (or the worktrees' folder).
QString cameraSamples()
{
    for (const char* up : {"/../shared/samples/cameras", "/../../shared/samples/cameras"})
        if (QDir(test::sourceDir() + up).exists()) return QDir(test::sourceDir() + up).canonicalPath();
    return {};
}

// Prints the photos into a PDF on `paper` the way a print job does.
PhotoPrinter::JobResult printToPdf(const QStringList& photos, PrintPaperFormat paper, const QString& pdf, QStringList* unreadable = nullptr)
{
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(pdf);
    PhotoPrinter::configure(printer, photos, paper);
    PhotoPrinter::RenderProgress progress;
    progress.unreadable = [&](const QString& photo) {
        if (unreadable) *unreadable << photo;
    };
    return PhotoPrinter::printJob(printer, photos, progress);
}

// One page rendered by poppler at 72 dpi (one pixel per point).
QString renderPage(const QString& pdf, int page, const QString& prefix)
{
    QProcess::execute("pdftoppm", {"-r", "72", "-png", "-singlefile", "-f", QString::number(page), "-l", QString::number(page), pdf, prefix});
    return prefix + ".png";
}

QList<int> numbers(const QString& program, const QStringList& arguments)
{
    QList<int> values;
    for (const QString& value : test::commandOutput(program, arguments).simplified().split(u' ', Qt::SkipEmptyParts))
        values << qRound(value.toDouble());
    return values;
}

// The drawn area of a rendered page: left, top, width, height of what is not white.
QList<int> drawnArea(const QString& png) { return numbers("vips", {"find_trim", png, "--background", "255", "--threshold", "40"}); }
QList<int> pixel(const QString& png, int x, int y) { return numbers("vips", {"getpoint", png, QString::number(x), QString::number(y)}); }

} // namespace

TEST(PrintPaper, TitlesSizesAndRawValuesInMenuOrder)
{
    QStringList titles, raws;
    for (const PrintPaperFormat f : allPrintPaperFormats) {
        titles << menuTitle(f);
        raws << rawValue(f);
        EXPECT_EQ(printPaperFormatFromRaw(rawValue(f)), f);
    }
    EXPECT_EQ(titles, QStringList({"A5", "A4", "10 × 15 cm", "13 × 18 cm", "15 × 21 cm"}));
    EXPECT_EQ(raws, QStringList({"a5", "a4", "photo10x15", "photo13x18", "photo15x21"}));
    EXPECT_FALSE(printPaperFormatFromRaw("A4"));
    EXPECT_NEAR(paperSizeInPoints(PrintPaperFormat::a4).width(), 595.2756, 1e-9);
    EXPECT_NEAR(paperSizeInPoints(PrintPaperFormat::a4).height(), 841.8898, 1e-4);
    EXPECT_NEAR(paperSizeInPoints(PrintPaperFormat::photo10x15).height(), 425.1969, 1e-4);
    EXPECT_NEAR(paperSizeInPoints(PrintPaperFormat::photo13x18).height(), 510.2362, 1e-4);
    EXPECT_NEAR(pageSize(PrintPaperFormat::photo10x15).size(QPageSize::Point).width(), 283.46, 0.6);
}

TEST(PhotoPrinterLayout, TitlesFittingAndThePrintableArea)
{
    EXPECT_EQ(PhotoPrinter::jobTitle({"/o/IMG_0042.JPG"}), "IMG_0042");
    EXPECT_EQ(PhotoPrinter::jobTitle({"/o/a.jpg", "/o/b.jpg", "/o/c.jpg"}), "Tavrin — 3 photos");
    EXPECT_EQ(PhotoPrinter::photosOf({"/o/a.JPG", "/o/notes.txt", "/o/clip.mp4", "/o/b.heic"}), QStringList({"/o/a.JPG", "/o/b.heic"}));

    // The 6000 × 4000 photo on a 595 × 842 area: full width, centred vertically.
    const QRectF drawn = PhotoPrinter::fittedRect(QSizeF(6000, 4000), QRectF(0, 0, 595, 842));
    EXPECT_DOUBLE_EQ(drawn.width(), 595);
    EXPECT_NEAR(drawn.height(), 396.6667, 1e-4);
    EXPECT_NEAR(drawn.y(), (842 - 396.6667) / 2, 1e-4);
    EXPECT_DOUBLE_EQ(drawn.x(), 0);

    const QRectF paper(0, 0, 595, 842);
    EXPECT_EQ(PhotoPrinter::printableRect(paper, QRectF(12, 12, 571, 818)), QRectF(12, 12, 571, 818));
    EXPECT_EQ(PhotoPrinter::printableRect(paper, QRectF(1, 1, 594, 841)), paper); // under 1.5 points away
    EXPECT_EQ(PhotoPrinter::printableRect(paper, QRectF(0, 0, 8, 842)), paper);   // not a real area
}

TEST(PhotoPrinterJob, PaperOrientationPagesAndFullResolutionImagesInAPdf)
{
    TempDataDir data;
    PrintInfoMemory::forgetRestoreForTesting();
    const QString wide = data.file("IMG_0001.jpg"), tall = data.file("IMG_0002.png"), turned = data.file("IMG_0003.jpg");
    const QString broken = data.file("IMG_0004.jpg");
    ASSERT_TRUE(magick({"-size", "640x400", "xc:#3060c0", "-fill", "red", "-draw", "rectangle 0,0 99,99", wide}));
    ASSERT_TRUE(magick({"-size", "300x500", "xc:green", tall}));
    // Stored 600 × 400 with orientation 6 (libvips writes the tag), shown upright as 400 × 600.
    {
        PhotoComposer::ensureVips();
        vips::VImage stored = vips::VImage::black(600, 400, vips::VImage::option()->set("bands", 3)).copy();
        stored.set(VIPS_META_ORIENTATION, 6);
        stored.jpegsave(turned.toUtf8().constData());
    }
    test::writeFile(broken, "pas une photo");

    EXPECT_EQ(PhotoPrinter::pixelSize(turned), QSize(400, 600));
    EXPECT_EQ(PhotoPrinter::pixelSize(tall), QSize(300, 500));
    EXPECT_FALSE(PhotoPrinter::pixelSize(broken));

    {
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        PhotoPrinter::configure(printer, {wide, tall}, PrintPaperFormat::photo10x15);
        EXPECT_EQ(printer.pageLayout().orientation(), QPageLayout::Landscape);
        EXPECT_EQ(printer.pageLayout().margins(QPageLayout::Point), QMarginsF(0, 0, 0, 0));
        const QSizeF portrait = printer.pageLayout().pageSize().size(QPageSize::Point);
        EXPECT_NEAR(portrait.width(), 283.4646, 0.6);
        EXPECT_NEAR(portrait.height(), 425.1969, 0.6);
        PhotoPrinter::configure(printer, {broken, wide}, PrintPaperFormat::a4);
        EXPECT_EQ(printer.pageLayout().orientation(), QPageLayout::Portrait);
    }

    const QString pdf = data.file("proof.pdf");
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(pdf);
    const QStringList photos{wide, broken, tall, turned};
    PhotoPrinter::configure(printer, photos, PrintPaperFormat::a4);
    QStringList unreadable;
    QList<int> pages;
    PhotoPrinter::RenderProgress progress;
    progress.unreadable = [&](const QString& p) { unreadable << p; };
    progress.pageDone = [&](int done, int total) { pages << done * 10 + total; };
    ASSERT_TRUE(PhotoPrinter::printJob(printer, photos, progress).completed);
    EXPECT_EQ(unreadable, QStringList({broken}));
    EXPECT_EQ(pages, QList<int>({14, 24, 34, 44}));

    const QString info = test::commandOutput("pdfinfo", {pdf});
    EXPECT_TRUE(info.contains(QRegularExpression("Pages:\\s+4\\n"))) << qPrintable(info);
    EXPECT_TRUE(info.contains(QString::fromUtf8("Tavrin — 4 photos"))) << qPrintable(info);
    EXPECT_TRUE(info.contains(QRegularExpression("Page size:\\s+842 x 595 pts"))) << qPrintable(info);
    // One image per readable page at the photo's own stored pixel size (a JPEG is placed turned
    // as it is shown); the unreadable page is blank.
    const QList<PdfImage> images = pdfImages(pdf);
    ASSERT_EQ(images.size(), 3);
    EXPECT_EQ((QList<int>{images[0].page, images[0].width, images[0].height}), (QList<int>{1, 640, 400}));
    EXPECT_EQ((QList<int>{images[1].page, images[1].width, images[1].height}), (QList<int>{3, 300, 500}));
    EXPECT_EQ((QList<int>{images[2].page, images[2].width, images[2].height}), (QList<int>{4, 600, 400}));

    // Pixels: the red corner and the blue field of the first photo come through unchanged.
    QProcess::execute("pdfimages", {"-f", "1", "-l", "1", "-png", pdf, data.file("page")});
    const QString corner = test::commandOutput("vips", {"getpoint", data.file("page-000.png"), "20", "20"}).simplified();
    const QString field = test::commandOutput("vips", {"getpoint", data.file("page-000.png"), "400", "300"}).simplified();
    const QStringList c = corner.split(u' '), f = field.split(u' ');
    ASSERT_EQ(c.size(), 3);
    ASSERT_EQ(f.size(), 3);
    EXPECT_GT(c[0].toInt(), 245);
    EXPECT_LT(c[2].toInt(), 10);
    EXPECT_NEAR(f[2].toInt(), 0xc0, 6);
}

TEST(PrintInfoMemory, SettingsComeBackOnceAndABadArchiveIsRemoved)
{
    TempDataDir data;
    PrintInfoMemory::forgetRestoreForTesting();
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setPageSize(QPageSize(QPageSize::A5));
    printer.setPageOrientation(QPageLayout::Landscape);
    printer.setPageMargins(QMarginsF(5, 6, 7, 8), QPageLayout::Point);
    printer.setCopyCount(3);
    printer.setColorMode(QPrinter::GrayScale);
    PrintInfoMemory::remember(printer);
    const PrintSettings remembered = PrintInfoMemory::shared();
    EXPECT_FALSE(UserDefaults::standard().contains(PrintInfoMemory::lastPrinterNameKey));

    // As in a new process: the archive is read back once.
    PrintInfoMemory::forgetRestoreForTesting();
    PrintInfoMemory::restoreSharedIfNeeded();
    const PrintSettings back = PrintInfoMemory::shared();
    EXPECT_EQ(back.pageSize.id(), QPageSize::A5);
    EXPECT_EQ(back.orientation, QPageLayout::Landscape);
    EXPECT_EQ(back.margins, QMarginsF(5, 6, 7, 8));
    EXPECT_EQ(back.copies, 3);
    EXPECT_EQ(back.colorMode, QPrinter::GrayScale);
    EXPECT_EQ(toJson(back), toJson(remembered));
    // A PDF printer has no duplex: that setting is checked through its archive alone.
    PrintSettings duplex = remembered;
    duplex.duplex = QPrinter::DuplexLongSide;
    duplex.printerName = "Atelier";
    EXPECT_EQ(printSettingsFromJson(toJson(duplex)), duplex);

    // A second print in the same run does not read the defaults again.
    PrintSettings other = remembered;
    other.copies = 9;
    UserDefaults::standard().setString(PrintInfoMemory::lastPrintInfoKey, QString::fromUtf8(QJsonDocument(toJson(other)).toJson()));
    PrintInfoMemory::restoreSharedIfNeeded();
    EXPECT_EQ(PrintInfoMemory::shared().copies, 3);

    // A damaged archive is dropped; a printer that is not installed is not chosen.
    UserDefaults::standard().setString(PrintInfoMemory::lastPrintInfoKey, "{\"printer\": 3");
    UserDefaults::standard().setString(PrintInfoMemory::lastPrinterNameKey, "Imprimante-disparue");
    PrintInfoMemory::forgetRestoreForTesting();
    PrintInfoMemory::restoreSharedIfNeeded();
    EXPECT_FALSE(UserDefaults::standard().contains(PrintInfoMemory::lastPrintInfoKey));
    EXPECT_EQ(PrintInfoMemory::shared(), PrintSettings{});
    QJsonObject missing = toJson(remembered);
    missing.remove("duplex");
    EXPECT_FALSE(printSettingsFromJson(missing));
}

// Every real camera's JPEG prints, each page carrying the file's own bytes; the damaged one leaves
// its page blank.
TEST(PhotoPages, CameraPhotosCarryTheirOwnJpegBytesAndADamagedOneLeavesABlankPage)
{
    const QString samples = cameraSamples();
    if (samples.isEmpty()) GTEST_SKIP() << "the camera samples are not beside the repository";
    QStringList photos;
    for (const char* folder : {"", "/orientation", "/invalid", "/exif-org", "/mobile"})
        for (const QFileInfo& file : QDir(samples + folder).entryInfoList({"*.jpg"}, QDir::Files, QDir::Name)) photos << file.filePath();
    ASSERT_GT(photos.size(), 50);
    TempDataDir data;
    // A camera file cut short on the way from the card.
    const QString cut = data.file("cut.jpg");
    test::writeFile(cut, test::readFile(photos.first()).left(int(QFileInfo(photos.first()).size() * 2 / 3)));
    photos << cut;
    PrintInfoMemory::forgetRestoreForTesting();
    const QString pdf = data.file("cameras.pdf");
    QStringList unreadable;
    const PhotoPrinter::JobResult job = printToPdf(photos, PrintPaperFormat::a4, pdf, &unreadable);
    EXPECT_EQ(unreadable, QStringList({samples + "/corrupted.jpg", cut}));
    QStringList pagePhotos;
    for (const QStringList& page : job.pages) pagePhotos << page;
    EXPECT_EQ(pagePhotos, photos);
    EXPECT_EQ(job.pages.size(), photos.size());
    EXPECT_EQ(test::pdfPages(pdf), photos.size());

    QProcess::execute("pdfimages", {"-j", "-p", pdf, data.file("img")});
    int image = 0;
    for (int page = 1; page <= photos.size(); ++page) {
        const QString& photo = photos[page - 1];
        const QString extracted = data.file(QStringLiteral("img-%1-%2.jpg").arg(page, 3, 10, QChar(u'0')).arg(image, 3, 10, QChar(u'0')));
        if (unreadable.contains(photo)) {
            EXPECT_FALSE(QFile::exists(extracted));
            continue;
        }
        EXPECT_TRUE(QFile::exists(extracted) && test::readFile(extracted) == test::readFile(photo)) << qPrintable(photo);
        ++image;
    }
}

// The photo drawn where today's fitted rectangle puts it on every paper; an EXIF-turned JPEG
// upright though its bytes are stored turned; a PNG page lossless to the pixel.
TEST(PhotoPages, FittedOnEveryPaperUprightAndLossless)
{
    TempDataDir data;
    PrintInfoMemory::forgetRestoreForTesting();
    const QString wide = data.file("wide.jpg");
    ASSERT_TRUE(magick({"-size", "900x600", "xc:#c02020", "-quality", "95", wide}));
    for (const PrintPaperFormat paper : allPrintPaperFormats) {
        const QString pdf = data.file(rawValue(paper) + ".pdf");
        ASSERT_TRUE(printToPdf({wide}, paper, pdf).completed);
        const QSizeF sheet = paperSizeInPoints(paper).transposed();
        const QRegularExpressionMatch size = QRegularExpression("Page size:\\s+([\\d.]+) x ([\\d.]+) pts").match(test::commandOutput("pdfinfo", {pdf}));
        EXPECT_NEAR(size.captured(1).toDouble(), sheet.width(), 0.6) << qPrintable(rawValue(paper));
        EXPECT_NEAR(size.captured(2).toDouble(), sheet.height(), 0.6) << qPrintable(rawValue(paper));
        const QRectF fitted = PhotoPrinter::fittedRect(QSizeF(900, 600), QRectF(QPointF(0, 0), sheet));
        const QList<int> area = drawnArea(renderPage(pdf, 1, data.file(rawValue(paper))));
        ASSERT_EQ(area.size(), 4) << qPrintable(rawValue(paper));
        // One point of anti-aliasing on each edge.
        EXPECT_NEAR(area[0], fitted.x(), 1.5);
        EXPECT_NEAR(area[1], fitted.y(), 1.5);
        EXPECT_NEAR(area[2], fitted.width(), 2.5);
        EXPECT_NEAR(area[3], fitted.height(), 2.5);
    }

    // Stored 400 × 200 with a blue band on its left and orientation 6 (turned a quarter
    // clockwise): shown 200 × 400 with the band on top.
    const QString turned = data.file("turned.jpg");
    ASSERT_TRUE(magick({"-size", "400x200", "xc:#d02020", "-fill", "#2020d0", "-draw", "rectangle 0,0 99,199", data.file("raw.png")}));
    {
        PhotoComposer::ensureVips();
        vips::VImage stored = vips::VImage::new_from_file(data.file("raw.png").toUtf8().constData()).copy();
        stored.set(VIPS_META_ORIENTATION, 6);
        stored.jpegsave(turned.toUtf8().constData(), vips::VImage::option()->set("Q", 95));
    }
    const QString noise = data.file("noise.png");
    ASSERT_TRUE(magick({"-size", "300x200", "xc:gray", "+noise", "Random", "-depth", "8", "PNG24:" + noise}));
    const QString pdf = data.file("turned.pdf");
    ASSERT_TRUE(printToPdf({turned, noise}, PrintPaperFormat::a5, pdf).completed);
    const QString page = renderPage(pdf, 1, data.file("turned-page"));
    // A5 portrait, as the first photo is shown tall.
    const QRectF fitted = PhotoPrinter::fittedRect(QSizeF(200, 400), QRectF(QPointF(0, 0), paperSizeInPoints(PrintPaperFormat::a5)));
    const QList<int> area = drawnArea(page);
    ASSERT_EQ(area.size(), 4);
    EXPECT_NEAR(area[0], fitted.x(), 1.5);
    EXPECT_NEAR(area[3], fitted.height(), 2.5);
    const int x = qRound(fitted.center().x());
    const QList<int> top = pixel(page, x, qRound(fitted.y() + fitted.height() * 0.1)), bottom = pixel(page, x, qRound(fitted.y() + fitted.height() * 0.8));
    ASSERT_EQ(top.size(), 3);
    ASSERT_EQ(bottom.size(), 3);
    EXPECT_GT(top[2], 150);
    EXPECT_LT(top[0], 100);
    EXPECT_GT(bottom[0], 150);
    EXPECT_LT(bottom[2], 100);
    QProcess::execute("pdfimages", {"-all", pdf, data.file("page")});
    EXPECT_EQ(test::readFile(data.file("page-000.jpg")), test::readFile(turned));
    // The PNG's pixels come back exactly.
    QProcess compare;
    compare.start("compare", {"-metric", "AE", noise, data.file("page-001.png"), "null:"});
    compare.waitForFinished(60000);
    EXPECT_EQ(QString::fromUtf8(compare.readAllStandardError()).trimmed(), "0");
}

// What the printer says, in French: its state, why it stopped, its troubles and supply levels.
TEST(PrintQueueState, ThePrintersOwnStateInFrench)
{
    PrintQueue::PrinterState stopped;
    stopped.state = 5;
    stopped.reasons = {"media-empty-error", "marker-supply-empty-error", "cups-ipp-conformance-failure-report"};
    EXPECT_EQ(stopped.text(), QString::fromUtf8("arrêtée : plus de papier, plus d’encre ou de ruban"));
    stopped.reasons = {"paused"};
    EXPECT_EQ(stopped.why(), "en pause");
    // A reason of no interest gives way to the printer's own message.
    stopped.reasons = {"com.example-spooler-fault"};
    stopped.message = "Print head fault";
    EXPECT_EQ(stopped.why(), "Print head fault");

    PrintQueue::PrinterState printing;
    printing.state = 4;
    printing.reasons = {"media-jam-warning", "marker-supply-low-warning"};
    printing.markers = {{"Cyan", 40}, {"Ruban YMCO", 8}};
    EXPECT_EQ(printing.text(), QString::fromUtf8("en cours d’impression (bourrage papier, encre ou ruban bientôt épuisé) — Cyan 40\u00a0%, Ruban YMCO 8\u00a0%"));
    printing.state = 3;
    printing.reasons.clear();
    printing.markers.clear();
    EXPECT_EQ(printing.text(), QString::fromUtf8("prête"));
}
