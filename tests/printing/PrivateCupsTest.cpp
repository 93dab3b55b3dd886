#include "PdfTools.h"
#include "PrivateCups.h"

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
