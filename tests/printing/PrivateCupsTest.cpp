#include "PdfTools.h"
#include "PrivateCups.h"

#include "editing/PhotoComposer.h"
#include "printing/PhotoPrinter.h"
#include "printing/PrintInfoMemory.h"
#include "printing/PrintQueue.h"

#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QDirIterator>
#include <QPrinter>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QThread>

#include <cups/cups.h>
#include <glib.h>

using namespace tavrin;
using test::output;
using test::PrivateCups;

namespace {

int run(const QProcessEnvironment& env, const QStringList& arguments, QString* err = nullptr)
{
    QProcess process;
    process.setProcessEnvironment(env);
    process.start(test::binDir() + "/tavrin-cli", arguments);
    process.waitForFinished(120000);
    if (err) *err = QString::fromUtf8(process.readAllStandardError());
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

// A job's attributes as the print server keeps them (name → values joined by commas).
QMap<QString, QString> jobAttributes(int job)
{
    QMap<QString, QString> values;
    ipp_t* request = ippNewRequest(IPP_OP_GET_JOB_ATTRIBUTES);
    const QByteArray uri = QStringLiteral("ipp://localhost/jobs/%1").arg(job).toUtf8();
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "job-uri", nullptr, uri.constData());
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", nullptr, "all");
    ipp_t* response = cupsDoRequest(CUPS_HTTP_DEFAULT, request, "/");
    for (ipp_attribute_t* a = response ? ippFirstAttribute(response) : nullptr; a; a = ippNextAttribute(response)) {
        if (!ippGetName(a)) continue;
        char text[1024];
        ippAttributeString(a, text, sizeof text);
        values.insert(QString::fromUtf8(ippGetName(a)), QString::fromUtf8(text));
    }
    ippDelete(response);
    return values;
}

// Bytes of the files the print server holds in its spool so far.
qint64 spooled(const QString& folder)
{
    qint64 bytes = 0;
    for (QDirIterator it(folder, QDir::Files, QDirIterator::Subdirectories); it.hasNext();) bytes += it.nextFileInfo().size();
    return bytes;
}

} // namespace

// Through a real print queue, then in a second process whose settings come back from the first.
TEST(PrivateCups, PrintsAtFullResolutionAndTheNextProcessStartsWithTheSameSettings)
{
    PrivateCups cups;
    if (!cups.running) GTEST_SKIP() << cups.reason.toStdString();
    QTemporaryDir work;
    const QString data = work.filePath("data"), wide = work.filePath("IMG_0001.jpg"), tall = work.filePath("IMG_0002.jpg");
    ASSERT_EQ(QProcess::execute("convert", {"-size", "900x600", "xc:#3060c0", wide}), 0);
    ASSERT_EQ(QProcess::execute("convert", {"-size", "400x700", "xc:#20a040", tall}), 0);

    QString err;
    ASSERT_EQ(run(cups.env, {"--data-dir", data, "print", wide, tall, "--paper", "a5", "--printer", cups.queue}, &err), 0) << qPrintable(err);
    ASSERT_TRUE(cups.waitForJob());
    const QString info = output("pdfinfo", {cups.jobFile});
    EXPECT_TRUE(info.contains(QRegularExpression("Pages:\\s+2\\n"))) << qPrintable(info);
    const QString images = output("pdfimages", {"-list", cups.jobFile});
    EXPECT_TRUE(images.contains(QRegularExpression("\\n\\s*1\\s+0\\s+image\\s+900\\s+600 "))) << qPrintable(images);
    EXPECT_TRUE(images.contains(QRegularExpression("\\n\\s*2\\s+1\\s+image\\s+400\\s+700 "))) << qPrintable(images);
    // Printed photos show as delivered in the orders screen.
    const QByteArray orders = test::readFile(data + "/Orders/settings.json");
    EXPECT_TRUE(orders.contains("IMG_0001.jpg") && orders.contains("IMG_0002.jpg")) << orders.constData();

    // No paper named: the A5 landscape of the last print, remembered by the first process.
    const QString proof = work.filePath("proof.pdf");
    ASSERT_EQ(run(cups.env, {"--data-dir", data, "print", tall, "--pdf", proof}, &err), 0) << qPrintable(err);
    const QString proofInfo = output("pdfinfo", {proof});
    EXPECT_TRUE(proofInfo.contains(QRegularExpression("Page size:\\s+595(\\.\\d+)? x 420(\\.\\d+)? pts"))) << qPrintable(proofInfo);

    // A queue whose device is a file prints a proof: nothing more is delivered.
    const QString other = work.filePath("IMG_0003.jpg");
    ASSERT_EQ(QProcess::execute("convert", {"-size", "300x200", "xc:#c03030", other}), 0);
    ASSERT_EQ(run(cups.env, {"--data-dir", data, "print", other, "--printer", cups.queue + "Fichier"}, &err), 0) << qPrintable(err);
    EXPECT_FALSE(test::readFile(data + "/Orders/settings.json").contains("IMG_0003.jpg"));

    EXPECT_EQ(run(cups.env, {"--data-dir", data, "print", wide, "--printer", "Absente"}, &err), 1);
    EXPECT_TRUE(err.contains(QString::fromUtf8("L’imprimante « Absente » est introuvable."))) << qPrintable(err);
}

// Through the CUPS API in this process: the queue has the job and its first page while the next
// pages are still to be made, and prints the JPEG files' own bytes; a queue stopped mid-job says
// why, and nothing it has not printed is delivered.
TEST(PrivateCups, TheQueueHasTheFirstPageBeforeTheLastIsMadeAndAStoppedQueueSaysWhy)
{
    PrivateCups cups;
    if (!cups.running) GTEST_SKIP() << cups.reason.toStdString();
    qputenv("CUPS_SERVER", cups.env.value("CUPS_SERVER").toUtf8());
    PrintInfoMemory::forgetRestoreForTesting();
    QTemporaryDir work;
    QStringList photos;
    for (const char* colour : {"#c03030", "#30c030", "#3030c0"}) {
        photos << work.filePath(QStringLiteral("IMG_%1.jpg").arg(photos.size() + 1));
        ASSERT_EQ(QProcess::execute("convert", {"-size", "1200x800", QStringLiteral("xc:%1").arg(colour), "+noise", "Gaussian", "-quality", "90", photos.last()}), 0);
    }
    const qint64 firstBytes = QFileInfo(photos.first()).size();

    QPrinter printer(QPrinter::HighResolution);
    PhotoPrinter::configure(printer, photos, PrintPaperFormat::a4);
    printer.setPrinterName(cups.queue);
    int job = 0, stateAtFirstPage = 0;
    qint64 spooledAtFirstPage = 0;
    std::function<void()> atFirstPage = [&] {
        stateAtFirstPage = PrintQueue::jobState(job).state;
        QDeadlineTimer deadline(10000);
        while (!deadline.hasExpired() && (spooledAtFirstPage = spooled(cups.dir.filePath("spool"))) < firstBytes) QThread::msleep(20);
    };
    PhotoPrinter::RenderProgress progress;
    progress.submitted = [&](int id) { job = id; };
    progress.pageDone = [&](int done, int) {
        if (done == 1) atFirstPage();
    };
    PhotoPrinter::JobResult result = PhotoPrinter::printJob(printer, photos, progress);
    EXPECT_GT(job, 0);
    EXPECT_EQ(result.job, job);
    // Pending or held (3, 4): the job waits for the rest of its document.
    EXPECT_TRUE(stateAtFirstPage == 3 || stateAtFirstPage == 4) << stateAtFirstPage;
    EXPECT_GE(spooledAtFirstPage, firstBytes);
    EXPECT_EQ(result.taken, photos);
    EXPECT_EQ(PrintQueue::followJob(cups.queue, job, 3, 1, true, {}, nullptr).kind, PrintQueue::JobEnd::Kind::completed);
    ASSERT_TRUE(cups.waitForJob());
    QProcess::execute("pdfimages", {"-j", cups.jobFile, work.filePath("queued")});
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(test::readFile(work.filePath(QStringLiteral("queued-%1.jpg").arg(i, 3, 10, QChar(u'0')))), test::readFile(photos[i])) << i;

    // The queue is stopped while the pages are sent: the job waits in it and the reason is given.
    atFirstPage = [&] { QProcess::execute("cupsdisable", {cups.queue}); };
    result = PhotoPrinter::printJob(printer, photos, progress);
    const PrintQueue::JobEnd end = PrintQueue::followJob(cups.queue, result.job, 3, 1, true, {}, nullptr);
    EXPECT_EQ(end.kind, PrintQueue::JobEnd::Kind::stopped);
    EXPECT_EQ(end.pagesPrinted, 0);
    EXPECT_EQ(end.message, QString::fromUtf8("L’imprimante « TavrinTest » est arrêtée (en pause) : la suite de l’impression attend dans sa file."));
    EXPECT_TRUE(PrintQueue::printerState(cups.queue).text().startsWith(QString::fromUtf8("arrêtée : en pause")));

    // From the command line the same: nothing is marked delivered.
    QTemporaryDir data;
    QString err;
    EXPECT_EQ(run(cups.env, {"--data-dir", data.path(), "print", photos.first(), "--paper", "a4", "--printer", cups.queue}, &err), 1);
    EXPECT_TRUE(err.contains(QString::fromUtf8("est arrêtée (en pause)"))) << qPrintable(err);
    EXPECT_FALSE(test::readFile(data.path() + "/Orders/settings.json").contains("IMG_1.jpg"));
}

// Queues made from the dye-sub drivers' own descriptions: the sizes each offers, a sheet of two
// photos of an order with the driver's cut asked for, a borderless page, and what the printer
// says is left once the job is done.
TEST(PrivateCups, DyeSubQueuesOfferTheirSizesAndPrintTwoPhotosOfAnOrderOnACutSheet)
{
    PrivateCups cups;
    if (!cups.running) GTEST_SKIP() << cups.reason.toStdString();
    if (!cups.addDriverQueue("DS620", "dnp-ds620")) GTEST_SKIP() << cups.reason.toStdString();
    ASSERT_TRUE(cups.addDriverQueue("D70", "mitsubishi-d70dw")) << qPrintable(cups.reason);
    ASSERT_TRUE(cups.addDriverQueue("S6145", "sinfonia-chcs6145")) << qPrintable(cups.reason);
    qputenv("CUPS_SERVER", cups.env.value("CUPS_SERVER").toUtf8());
    QTemporaryDir work;
    const QString data = work.filePath("data");
    QString err;

    // What each queue offers, named as its driver names it.
    const auto offered = [&](const QString& queue) {
        QProcess process;
        process.setProcessEnvironment(cups.env);
        process.start(test::binDir() + "/tavrin-cli", {"--data-dir", data, "printer-media", "--printer", queue});
        process.waitForFinished(60000);
        return QJsonDocument::fromJson(process.readAllStandardOutput()).object();
    };
    const auto size = [](const QJsonObject& list, const QString& name) {
        for (const QJsonValue& v : list.value("sizes").toArray())
            if (v.toObject().value("name").toString() == name) return v.toObject();
        return QJsonObject();
    };
    const QJsonObject ds620 = offered("DS620"), d70 = offered("D70"), s6145 = offered("S6145");
    EXPECT_EQ(size(ds620, "w432h576-div2").value("title").toString(), QString::fromUtf8("2 × 10 × 15 cm sur 15 × 20 cm"));
    EXPECT_EQ(size(ds620, "w432h576-div2").value("prints").toInt(), 2);
    EXPECT_EQ(ds620.value("cut").toObject().value("option").toString(), "StpNoCutWaste");
    EXPECT_EQ(size(ds620, "w360h504").value("title").toString(), QString::fromUtf8("13 × 18 cm"));
    EXPECT_TRUE(size(d70, "w288h432").value("borderless").toBool());
    EXPECT_EQ(size(d70, "w432h576-div2").value("prints").toInt(), 2);
    EXPECT_FALSE(d70.contains("cut"));
    EXPECT_EQ(size(s6145, "w432h576-div2").value("prints").toInt(), 2);
    EXPECT_TRUE(size(s6145, "w432h576-w432h432_w432h144").isEmpty());

    // Three photos of one order and one of another: three sheets, the cut asked for.
    QStringList photos;
    for (const auto& [order, count] : {std::pair{"BERTIN Camille 10h02", 3}, {"MARTIN Léa 10h15", 1}}) {
        QDir().mkpath(work.filePath(QString::fromUtf8(order) + "/IMPRESSION 10x15"));
        for (int i = 1; i <= count; ++i) {
            photos << work.filePath(QStringLiteral("%1/IMPRESSION 10x15/IMG_%2.jpg").arg(order).arg(i));
            ASSERT_EQ(QProcess::execute("convert", {"-size", "900x600", "xc:#3060c0", photos.last()}), 0);
        }
    }
    cups.reportSupplies("marker-names=Ribbon marker-types=ribbonWax marker-levels=68 marker-message='340 native prints remaining on ribbon'\n");
    ASSERT_EQ(run(cups.env, QStringList{"--data-dir", data, "print"} + photos + QStringList{"--media", "w432h576-div2", "--printer", "DS620"}, &err), 0)
        << qPrintable(err);
    ASSERT_TRUE(cups.waitForQueue("DS620"));
    const QMap<QString, QString> attributes = jobAttributes(1);
    EXPECT_EQ(attributes.value("PageSize"), "w432h576-div2") << qPrintable(QStringList(attributes.keys()).join(' '));
    EXPECT_EQ(attributes.value("StpNoCutWaste").toLower(), "false");
    EXPECT_EQ(attributes.value("job-state"), "completed");
    const QString sent = cups.spooledDocument(1);
    EXPECT_EQ(test::pdfPages(sent), 3);
    EXPECT_TRUE(output("pdfinfo", {sent}).contains("460.8 x 599.52 pts"));
    // Two images on the first sheet, one on each of the others.
    QList<int> perPage(4, 0);
    for (const test::PdfImage& image : test::pdfImages(sent)) perPage[std::clamp(image.page, 0, 3)]++;
    EXPECT_EQ(perPage, QList<int>({0, 2, 1, 1}));
    // The driver made the printer's data from it.
    EXPECT_GT(QFileInfo(cups.dir.filePath("out/DS620.out")).size(), 100000);
    // After the job, what the printer says is left.
    EXPECT_EQ(PrintQueue::printerState("DS620").suppliesLeft(), QString::fromUtf8("Ruban : 340 tirages restants"));

    // A borderless 10 × 15 on the Mitsubishi-like queue: the driver's size, no cut asked.
    ASSERT_EQ(run(cups.env, {"--data-dir", data, "print", photos.first(), "--media", "w288h432", "--printer", "D70"}, &err), 0) << qPrintable(err);
    ASSERT_TRUE(cups.waitForQueue("D70"));
    const QMap<QString, QString> single = jobAttributes(2);
    EXPECT_EQ(single.value("PageSize"), "w288h432");
    EXPECT_FALSE(single.contains("StpNoCutWaste"));
    EXPECT_TRUE(output("pdfinfo", {cups.spooledDocument(2)}).contains("447.36 x 294.72 pts"));

    EXPECT_EQ(run(cups.env, {"--data-dir", data, "print", photos.first(), "--media", "w999h999", "--printer", "D70"}, &err), 1);
    EXPECT_TRUE(err.contains(QString::fromUtf8("L’imprimante « D70 » n’offre pas le format « w999h999 »."))) << qPrintable(err);
}

namespace {

// The page rendered by poppler at 72 dpi (one pixel a point), decoded by libvips.
struct Page {
    int width = 0, height = 0;
    std::vector<unsigned char> rgb;
    const unsigned char* at(int x, int y) const { return &rgb[(size_t(y) * width + x) * 3]; }
    bool blue(int x, int y) const { const auto* p = at(x, y); return std::abs(p[0] - 0x30) < 24 && std::abs(p[1] - 0x60) < 24 && std::abs(p[2] - 0xc0) < 24; }
    // Text pixels, smoothed at this size: grey or darker, never the photo's blue nor the veil.
    bool dark(int x, int y) const { const auto* p = at(x, y); return p[0] < 160 && p[1] < 160 && p[2] < 160; }
    // The blue photo's box within rows [top, bottom).
    QRect photo(int top, int bottom) const
    {
        QRect box;
        for (int y = top; y < bottom; ++y)
            for (int x = 0; x < width; ++x)
                if (blue(x, y)) box |= QRect(x, y, 1, 1);
        return box;
    }
    int darkIn(const QRect& r) const
    {
        int n = 0;
        for (int y = std::max(0, r.top()); y <= std::min(height - 1, r.bottom()); ++y)
            for (int x = std::max(0, r.left()); x <= std::min(width - 1, r.right()); ++x) n += dark(x, y);
        return n;
    }
    bool allBlue(const QRect& r) const
    {
        for (int y = r.top(); y <= r.bottom(); ++y)
            for (int x = r.left(); x <= r.right(); ++x)
                if (!blue(x, y)) return false;
        return true;
    }
};

Page rendered(const QString& pdf, int page, const QString& png)
{
    QProcess::execute("pdftoppm", {"-r", "72", "-png", "-f", QString::number(page), "-l", QString::number(page), "-singlefile", pdf, png.chopped(4)});
    PhotoComposer::ensureVips();
    Page out;
    vips::VImage image = vips::VImage::new_from_file(png.toUtf8().constData()).extract_band(0, vips::VImage::option()->set("n", 3));
    size_t size = 0;
    auto* data = static_cast<unsigned char*>(image.write_to_memory(&size));
    out.width = image.width();
    out.height = image.height();
    out.rgb.assign(data, data + size);
    g_free(data);
    return out;
}

QRect centreThird(const QRect& r) { return {r.x() + r.width() / 3, r.y() + r.height() / 3, r.width() / 3, r.height() / 3}; }

} // namespace

// The caption of each print, read from the order and the class, found in the job's text and in its
// place on the rendered page: under the photos of a cut sheet, over a photo with white above it,
// never on the centre third of the photo.
TEST(PrivateCups, CaptionsUnderOrOverEachPrintFromTheOrderAndTheClass)
{
    PrivateCups cups;
    if (!cups.running) GTEST_SKIP() << cups.reason.toStdString();
    if (!cups.addDriverQueue("DS620", "dnp-ds620")) GTEST_SKIP() << cups.reason.toStdString();
    ASSERT_TRUE(cups.addDriverQueue("D70", "mitsubishi-d70dw")) << qPrintable(cups.reason);
    QTemporaryDir work;
    const QString data = work.filePath("data"), classFolder = work.filePath("Grand Prix");
    QString err;
    const auto cli = [&](const QStringList& arguments) {
        QProcess process;
        process.setProcessEnvironment(cups.env);
        process.start(test::binDir() + "/tavrin-cli", QStringList{"--data-dir", data} + arguments);
        process.waitForFinished(120000);
        err = QString::fromUtf8(process.readAllStandardError());
        EXPECT_EQ(process.exitCode(), 0) << qPrintable(arguments.join(' ')) << qPrintable(err);
        return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
    };

    // The class: a day of the library, its spreadsheet organised into the class folder, the
    // programme (written by openpyxl) giving the rider's horse.
    const QString workbook = work.filePath("programme.xlsx");
    ASSERT_EQ(QProcess::execute("/usr/bin/python3",
                                {"-c", "import openpyxl, sys\nwb = openpyxl.Workbook()\nws = wb.active\nws.title = 'Samedi'\n"
                                       "for row in [['Epreuve 5 - Grand Prix (1,40 m)'], ['N°', 'Nom', 'Prénom', 'Cheval'], [12, 'BERTIN', 'Camille', 'Quaprice du Bois']]:\n"
                                       "    ws.append(row)\nwb.save(sys.argv[1])\n",
                                 workbook}),
              0);
    const QString day = cli({"library", "add-day", QString::fromUtf8("Samedi 12 décembre")});
    const QString sheet = cli({"library", "add-spreadsheet", "--day", day, "Grand Prix"});
    cli({"workspace", "import-programme", workbook});
    QDir().mkpath(classFolder + "/BERTIN CAMILLE");
    cli({"workspace", "set", "--spreadsheet", sheet, "--dest", classFolder, "--day", "Samedi", "--event", "Samedi|Epreuve 5 - Grand Prix (1,40 m)"});

    // Two photos of the rider, ordered as 10 × 15 prints; a square one printed from his folder.
    const QString order = work.filePath("Commandes/Camille 2026-12-12 10h02");
    QDir().mkpath(order + "/IMPRESSION 10x15");
    QString note = QString::fromUtf8("Nom : Camille\nTéléphone : \nDate : 12/12/2026 10:02:00\nPhotos :\n");
    QStringList ordered;
    for (const QString name : {"IMG_0001.jpg", "IMG_0002.jpg"}) {
        ASSERT_EQ(QProcess::execute("convert", {"-size", "900x600", "xc:#3060c0", classFolder + "/BERTIN CAMILLE/" + name}), 0);
        ASSERT_TRUE(QFile::copy(classFolder + "/BERTIN CAMILLE/" + name, order + "/IMPRESSION 10x15/" + name));
        ordered << order + "/IMPRESSION 10x15/" + name;
        note += QString::fromUtf8("IMPRESSION 10x15 : %1 — BERTIN CAMILLE (n° 12)\n").arg(name);
    }
    test::writeFile(order + "/commande.txt", note.toUtf8());
    const QString square = classFolder + "/BERTIN CAMILLE/IMG_0003.jpg";
    ASSERT_EQ(QProcess::execute("convert", {"-size", "900x900", "xc:#3060c0", square}), 0);
    const QString caption = QString::fromUtf8("BERTIN Camille · Quaprice du Bois · Epreuve 5 - Grand Prix (1,40 m) · Samedi 12 décembre");

    // A cut sheet, captions under the photos (on their edge: the halves have no white).
    cli(QStringList{"print"} + ordered + QStringList{"--media", "w432h576-div2", "--printer", "DS620", "--caption", "under", "--caption-size", "10"});
    ASSERT_TRUE(cups.waitForQueue("DS620"));
    const QString sheetPdf = cups.spooledDocument(1);
    EXPECT_EQ(output("pdftotext", {sheetPdf, "-"}).count(caption), 2) << qPrintable(output("pdftotext", {sheetPdf, "-"}));
    const Page cut = rendered(sheetPdf, 1, work.filePath("sheet.png"));
    for (const int half : {0, 1}) {
        const QRect photo = cut.photo(half * cut.height / 2, (half + 1) * cut.height / 2);
        ASSERT_GT(photo.height(), 200) << half;
        EXPECT_TRUE(cut.allBlue(centreThird(photo))) << half;
        // The text on the photo's lower sixth, nowhere above it.
        const int sixth = photo.height() / 6;
        EXPECT_GT(cut.darkIn(QRect(photo.left(), photo.bottom() - sixth, photo.width(), sixth + 1)), 40) << half;
        EXPECT_EQ(cut.darkIn(QRect(photo.left(), photo.top(), photo.width(), photo.height() - sixth - 1)), 0) << half;
    }

    // A borderless 10 × 15 of a square photo: the caption over it, in the white above.
    cli({"print", square, "--media", "w288h432", "--printer", "D70", "--caption", "over"});
    ASSERT_TRUE(cups.waitForQueue("D70"));
    const QString singlePdf = cups.spooledDocument(2);
    EXPECT_EQ(output("pdftotext", {singlePdf, "-"}).count(caption), 1);
    const Page single = rendered(singlePdf, 1, work.filePath("single.png"));
    const QRect photo = single.photo(0, single.height);
    ASSERT_GT(photo.height(), 200);
    EXPECT_TRUE(single.allBlue(photo.adjusted(2, 2, -2, -2)));
    EXPECT_GT(single.darkIn(QRect(photo.left(), photo.top() - 16, photo.width(), 16)), 40);
    EXPECT_EQ(single.darkIn(QRect(0, photo.bottom() + 1, single.width, single.height)), 0);

    // Remembered for the next print, until told otherwise.
    EXPECT_TRUE(test::readFile(data + "/defaults.ini").contains("printCaption"));
    const QString plain = work.filePath("plain.pdf");
    cli({"print", square, "--pdf", plain, "--caption", "none"});
    EXPECT_EQ(output("pdftotext", {plain, "-"}).count("BERTIN"), 0);
    EXPECT_NE(run(cups.env, {"--data-dir", data, "print", square, "--pdf", plain, "--caption", "sideways"}, &err), 0);
    EXPECT_TRUE(err.contains(QString::fromUtf8("légende inconnue : sideways"))) << qPrintable(err);
}
