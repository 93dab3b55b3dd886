#include "PdfTools.h"
#include "TestSupport.h"

#include "printing/PhotoPrinter.h"
#include "printing/PrintInfoMemory.h"
#include "printing/PrintQueue.h"
#include "printing/PrinterMedia.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QPrinter>
#include <QProcess>

using namespace tavrin;
using test::magick;
using test::TempDataDir;

namespace {

// A dye-sub printer's description as its driver's own tool generates it; empty without the driver.
QString description(const QString& model, const QString& folder)
{
    const QString driver = "/usr/lib/cups/driver/gutenprint.5.3";
    if (!QFile::exists(driver)) return {};
    QProcess process;
    process.start(driver, {"cat", QStringLiteral("gutenprint.5.3://%1/expert").arg(model)});
    process.waitForFinished(60000);
    const QString file = folder + u'/' + model + ".ppd";
    test::writeFile(file, process.readAllStandardOutput());
    return QFileInfo(file).size() > 0 ? file : QString();
}

const PrinterMedia* find(const PrinterMediaList& list, const QByteArray& name)
{
    for (const PrinterMedia& media : list.sizes)
        if (media.name == name) return &media;
    return nullptr;
}

QList<int> numbers(const QString& program, const QStringList& arguments)
{
    QList<int> values;
    for (const QString& value : test::commandOutput(program, arguments).simplified().split(u' ', Qt::SkipEmptyParts))
        values << qRound(value.toDouble());
    return values;
}
QList<int> pixel(const QString& png, int x, int y) { return numbers("vips", {"getpoint", png, QString::number(x), QString::number(y)}); }
bool near(const QList<int>& rgb, int r, int g, int b)
{
    return rgb.size() >= 3 && std::abs(rgb[0] - r) < 40 && std::abs(rgb[1] - g) < 40 && std::abs(rgb[2] - b) < 40;
}

} // namespace

// The drivers' own descriptions of a DNP-like, a Mitsubishi-like and a Sinfonia-like printer: their
// sizes with French titles, the sheets cut in two and where their halves lie, borderless sizes, and
// the cut option each driver has.
TEST(PrinterMedia, DyeSubDescriptionsGiveTheirSizesCutSheetsAndCutOption)
{
    TempDataDir dir;
    const QString dnp = description("dnp-ds620", dir.path());
    if (dnp.isEmpty()) GTEST_SKIP() << "the dye-sub drivers are not installed";

    const PrinterMediaList ds620 = PrinterMedias::fromDescription(dnp);
    const PrinterMedia* twoUp = find(ds620, "w432h576-div2");
    ASSERT_NE(twoUp, nullptr);
    EXPECT_EQ(twoUp->prints, 2);
    EXPECT_EQ(twoUp->label, "4x6*2");
    EXPECT_EQ(twoUp->title(), "2 × 10 × 15 cm sur 15 × 20 cm");
    EXPECT_NEAR(twoUp->paper.width(), 460.8, 0.01);
    EXPECT_NEAR(twoUp->paper.height(), 599.52, 0.01);
    // One above the other, each a landscape 10 × 15 with what bleeds off.
    const QList<QRectF> halves = twoUp->cells();
    ASSERT_EQ(halves.size(), 2);
    EXPECT_NEAR(halves[0].width(), 442.56, 0.01);
    EXPECT_NEAR(halves[0].height(), 299.76, 0.01);
    EXPECT_NEAR(halves[1].top(), halves[0].bottom(), 0.01);
    // A 10 × 15 sheet cut into two 5 × 15 strips lies side by side.
    const PrinterMedia* strips = find(ds620, "w288h432-div2");
    ASSERT_NE(strips, nullptr);
    EXPECT_EQ(strips->title(), "2 × 5 × 15 cm sur 10 × 15 cm");
    EXPECT_NEAR(strips->cells()[1].left(), strips->cells()[0].right(), 0.01);
    EXPECT_GT(strips->cells()[0].height(), strips->cells()[0].width());
    EXPECT_EQ(find(ds620, "w288h432")->title(), "10 × 15 cm");
    // Sheets of unequal prints, or of four, are not offered: one photo cannot fill them.
    EXPECT_EQ(find(ds620, "w432h576-w432h432_w432h144"), nullptr);
    EXPECT_EQ(find(ds620, "w432h576-div4"), nullptr);
    EXPECT_EQ(ds620.cut, (QPair<QByteArray, QByteArray>{"StpNoCutWaste", "False"}));

    const PrinterMediaList d70 = PrinterMedias::fromDescription(description("mitsubishi-d70dw", dir.path()));
    ASSERT_NE(find(d70, "w288h432"), nullptr);
    EXPECT_TRUE(find(d70, "w288h432")->borderless);
    EXPECT_EQ(find(d70, "w288h432")->title(), "10 × 15 cm sans marge");
    EXPECT_EQ(find(d70, "w432h576-div2")->prints, 2);
    EXPECT_TRUE(d70.cut.first.isEmpty());
    EXPECT_EQ(PrinterMedias::fromDescription(description("mitsubishi-d90dw", dir.path())).cut,
              (QPair<QByteArray, QByteArray>{"StpMarginCutOff", "False"}));
    const PrinterMediaList s6145 = PrinterMedias::fromDescription(description("sinfonia-chcs6145", dir.path()));
    EXPECT_EQ(find(s6145, "w432h576-div2")->title(), "2 × 10 × 15 cm sur 15 × 20 cm");
    EXPECT_TRUE(PrinterMedias::fromDescription(dir.file("absent.ppd")).sizes.isEmpty());
}

// Photos of the same order share a sheet; an order's odd photo is alone on its own.
TEST(PrinterMedia, SheetsPairPhotosOfTheSameOrderInTheirOrder)
{
    const QString a1 = "/o/BERTIN 10h/IMPRESSION A5/1.jpg", a2 = "/o/BERTIN 10h/IMPRESSION A5/2.jpg",
                  a3 = "/o/BERTIN 10h/IMPRESSION A4/3.jpg", b1 = "/o/MARTIN 11h/IMPRESSION A5/1.jpg";
    EXPECT_EQ(PrinterMedias::sheetsOf({a1, b1, a2, a3}, 2), (QList<QStringList>{{a1, a2}, {a3}, {b1}}));
    EXPECT_EQ(PrinterMedias::sheetsOf({a1, b1}, 1), (QList<QStringList>{{a1}, {b1}}));
    EXPECT_EQ(PrinterMedias::printsOnSheet("w432h576-div2"), 2);
    EXPECT_EQ(PrinterMedias::printsOnSheet("A4"), 1);
    EXPECT_EQ(PrinterMedias::cutValue("StpCutter", "Cutter"), "True");
}

// What the driver says is left, in the photographer's words.
TEST(PrinterMedia, SuppliesLeftAsTheDriverCountsThem)
{
    PrintQueue::PrinterState state;
    state.markers = {{"Ribbon", 68}};
    state.markerTypes = {"ribbonWax"};
    state.markerMessages = {"340 native prints remaining on '6x8' ribbon"};
    EXPECT_EQ(state.suppliesLeft(), "Ruban : 340 tirages restants");
    state.markerMessages = {"1 native print remaining on ribbon"};
    EXPECT_EQ(state.suppliesLeft(), "Ruban : 1 tirage restant");
    // A level without a count says nothing here: the state line already shows it.
    state.markerMessages = {"Ribbon low"};
    EXPECT_EQ(state.suppliesLeft(), "");
    EXPECT_EQ(PrintQueue::printsRemaining("120 prints remaining"), 120);
}

// A cut sheet written to a file: the driver's sheet size, two photos of an order in their halves
// (a portrait one turned to fill its landscape half), and a borderless size filled to its edges.
TEST(PrinterMedia, TwoUpSheetsAndBorderlessPagesOnPaper)
{
    TempDataDir dir;
    const QString ppd = description("dnp-ds620", dir.path());
    if (ppd.isEmpty()) GTEST_SKIP() << "the dye-sub drivers are not installed";
    const PrinterMediaList ds620 = PrinterMedias::fromDescription(ppd);
    QDir().mkpath(dir.file("BERTIN/IMPRESSION A5"));
    const QString red = dir.file("BERTIN/IMPRESSION A5/IMG_1.jpg"), blue = dir.file("BERTIN/IMPRESSION A5/IMG_2.jpg");
    ASSERT_TRUE(magick({"-size", "1500x1000", "xc:#d02020", red}));
    ASSERT_TRUE(magick({"-size", "1000x1500", "xc:#2020d0", blue}));

    PrintInfoMemory::forgetRestoreForTesting();
    const auto print = [&](const PrinterMedia& media, const QStringList& photos, const QString& pdf) {
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(pdf);
        const PhotoPrinter::MediaChoice choice{"DS620", media, ds620.cut};
        PhotoPrinter::configure(printer, photos, choice);
        return PhotoPrinter::printJob(printer, photos, {}, choice);
    };
    const QString sheet = dir.file("sheet.pdf");
    const PhotoPrinter::JobResult job = print(*find(ds620, "w432h576-div2"), {red, blue}, sheet);
    EXPECT_EQ(job.pages, (QList<QStringList>{{red, blue}}));
    EXPECT_EQ(test::pdfPages(sheet), 1);
    EXPECT_TRUE(test::commandOutput("pdfinfo", {sheet}).contains("460.8 x 599.52 pts")) << qPrintable(test::commandOutput("pdfinfo", {sheet}));
    QProcess::execute("pdftoppm", {"-r", "72", "-png", "-singlefile", sheet, dir.file("sheet")});
    const QString png = dir.file("sheet.png");
    // Red fills the top half, blue (turned) the bottom one, edge to edge across the printable width.
    EXPECT_TRUE(near(pixel(png, 230, 150), 208, 32, 32)) << pixel(png, 230, 150).size();
    EXPECT_TRUE(near(pixel(png, 230, 450), 32, 32, 208));
    EXPECT_TRUE(near(pixel(png, 20, 450), 32, 32, 208));
    EXPECT_TRUE(near(pixel(png, 440, 20), 208, 32, 32));

    // The preview draws the same sheet with Qt's painter.
    QPrinter preview(QPrinter::HighResolution);
    preview.setOutputFormat(QPrinter::PdfFormat);
    preview.setOutputFileName(dir.file("preview.pdf"));
    const PhotoPrinter::MediaChoice previewed{preview.printerName(), *find(ds620, "w432h576-div2"), ds620.cut};
    PhotoPrinter::configure(preview, {red, blue}, previewed);
    ASSERT_TRUE(PhotoPrinter::renderSheets(preview, {red, blue}, previewed, 300));
    EXPECT_EQ(test::pdfPages(dir.file("preview.pdf")), 1);
    QProcess::execute("pdftoppm", {"-r", "72", "-png", "-singlefile", dir.file("preview.pdf"), dir.file("preview")});
    EXPECT_TRUE(near(pixel(dir.file("preview.png"), 230, 150), 208, 32, 32));
    EXPECT_TRUE(near(pixel(dir.file("preview.png"), 230, 450), 32, 32, 208));

    // Mitsubishi-like borderless 10 × 15: the landscape photo covers the whole landscape page.
    const PrinterMediaList d70 = PrinterMedias::fromDescription(description("mitsubishi-d70dw", dir.path()));
    const QString single = dir.file("single.pdf");
    print(*find(d70, "w288h432"), {red}, single);
    EXPECT_TRUE(test::commandOutput("pdfinfo", {single}).contains("447.36 x 294.72 pts")) << qPrintable(test::commandOutput("pdfinfo", {single}));
    QProcess::execute("pdftoppm", {"-r", "72", "-png", "-singlefile", single, dir.file("single")});
    for (const auto& [x, y] : {std::pair{4, 1}, {443, 1}, {4, 292}, {443, 292}})
        EXPECT_TRUE(near(pixel(dir.file("single.png"), x, y), 208, 32, 32)) << x << "," << y;
}
