#include "PrivateCups.h"

#include "printing/PhotoPrinter.h"
#include "printing/PrintInfoMemory.h"
#include "printing/views/PrintSession.h"

#include <gtest/gtest.h>

#include <QMessageBox>
#include <QPrinter>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <QWidget>

using namespace tavrin;
using test::output;
using test::PrivateCups;

namespace {

// A private print server with its PDF queue, chosen in the print panel; the photos the window
// marks delivered are kept in `marked`.
struct PrivateCupsWindow : ::testing::Test {
    void SetUp() override
    {
        if (!cups.running) GTEST_SKIP() << cups.reason.toStdString();
        // Before anything asks the print system for its printers.
        qputenv("CUPS_SERVER", cups.env.value("CUPS_SERVER").toUtf8());
        PrintInfoMemory::forgetRestoreForTesting();
        ASSERT_TRUE(PrintInfoMemory::printerExists(cups.queue));
        PhotoPrinter::setDeliveredMarker([this](const QStringList& photos) { marked << photos; });
        PrintSession::setPrintPanelForTesting([this](QPrinter& printer, const QStringList&, QWidget*) {
            printer.setPrinterName(cups.queue);
            return PrintPanelChoice::print;
        });
        window.show();
    }

    PrivateCups cups;
    test::TempDataDir data;
    QList<QStringList> marked;
    QWidget window;
};

} // namespace

// From the window to a real queue: the pages are written by the worker thread, which hands the
// job to the print server; an « Annuler » keeps the job to the pages already drawn.
TEST_F(PrivateCupsWindow, TheWorkerPrintsToTheQueueAndAnnulerKeepsTheJobShort)
{

    // Noise in PNG: every page takes a while to compress, so « Annuler » comes mid-job.
    const QString photo = data.file("IMG_0001.png");
    ASSERT_EQ(QProcess::execute("convert", {"-size", "1600x1000", "xc:gray", "+noise", "Random", "-depth", "8", "PNG24:" + photo}), 0);
    QStringList photos{photo};
    for (int i = 2; i <= 12; ++i) {
        photos << data.file(QStringLiteral("IMG_%1.png").arg(i, 4, 10, QChar(u'0')));
        ASSERT_TRUE(QFile::copy(photo, photos.last()));
    }

    PrintSession* session = PhotoPrinter::print(photos, PrintPaperFormat::a4, &window);
    ASSERT_NE(session, nullptr);
    QObject::connect(session, &PrintSession::progressed, [session](int done, int) {
        if (done == 2) QTest::mouseClick(session->progressDialog()->findChild<QPushButton*>(), Qt::LeftButton);
    });
    QStringList statuses;
    QObject::connect(session, &PrintSession::printerStatusChanged, [&](const QString& status) { statuses << status; });
    QSignalSpy finished(session, &PrintSession::finished);
    ASSERT_TRUE(finished.wait(120000));
    EXPECT_FALSE(finished.first().first().toBool());
    // The printer's own state was in view while the pages went.
    ASSERT_FALSE(statuses.isEmpty());
    EXPECT_TRUE(statuses.first().startsWith(QString::fromUtf8("Imprimante « TavrinTest » : prête"))) << qPrintable(statuses.first());
    ASSERT_TRUE(cups.waitForJob());
    const QRegularExpressionMatch pages = QRegularExpression("Pages:\\s+(\\d+)").match(output("pdfinfo", {cups.jobFile}));
    ASSERT_TRUE(pages.hasMatch());
    EXPECT_GE(pages.captured(1).toInt(), 2);
    EXPECT_LT(pages.captured(1).toInt(), 12);
    EXPECT_EQ(output("pdfimages", {"-list", cups.jobFile}).count(QRegularExpression("\\s1600\\s+1000\\s")), pages.captured(1).toInt());
    EXPECT_EQ(marked, QList<QStringList>({photos.mid(0, pages.captured(1).toInt())}));
    EXPECT_EQ(PrintInfoMemory::shared().printerName, cups.queue);

    PrintSession::setPrintPanelForTesting({});
    PhotoPrinter::setDeliveredMarker({});
}

// The print server stops the queue while the window sends the pages: the job waits in the queue,
// the window says why, and no photo is delivered.
TEST_F(PrivateCupsWindow, AQueueStoppedMidJobSaysWhyAndMarksNothing)
{
    QStringList photos;
    for (int i = 1; i <= 4; ++i) {
        photos << data.file(QStringLiteral("IMG_%1.png").arg(i));
        ASSERT_EQ(QProcess::execute("convert", {"-size", "1600x1000", "xc:gray", "+noise", "Random", "-depth", "8", "PNG24:" + photos.last()}), 0);
    }

    PrintSession* session = PhotoPrinter::print(photos, PrintPaperFormat::a4, &window);
    ASSERT_NE(session, nullptr);
    QObject::connect(session, &PrintSession::progressed, [&](int done, int) {
        if (done == 1) QProcess::execute("cupsdisable", {cups.queue});
    });
    QString message;
    QObject::connect(session, &PrintSession::finished, [&] { message = session->errorMessage(); });
    QSignalSpy finished(session, &PrintSession::finished);
    ASSERT_TRUE(finished.wait(120000));
    EXPECT_FALSE(finished.first().first().toBool());
    EXPECT_EQ(message, QString::fromUtf8("L’imprimante « TavrinTest » est arrêtée (en pause) : la suite de l’impression attend dans sa file.")) << qPrintable(message);
    EXPECT_TRUE(marked.isEmpty());
    QMessageBox* box = window.findChild<QMessageBox*>();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->text(), message);
    box->close();

    PrintSession::setPrintPanelForTesting({});
    PhotoPrinter::setDeliveredMarker({});
}

// A queue whose device is a file, chosen in the panel: the job goes through and nothing is
// delivered.
TEST_F(PrivateCupsWindow, AQueueWritingIntoAFileDeliversNothing)
{
    PrintSession::setPrintPanelForTesting([this](QPrinter& printer, const QStringList&, QWidget*) {
        printer.setPrinterName(cups.queue + "Fichier");
        return PrintPanelChoice::print;
    });
    const QString photo = data.file("IMG_0001.jpg");
    ASSERT_EQ(QProcess::execute("convert", {"-size", "600x400", "xc:#3060c0", photo}), 0);
    PrintSession* session = PhotoPrinter::print({photo}, PrintPaperFormat::a5, &window);
    ASSERT_NE(session, nullptr);
    QSignalSpy finished(session, &PrintSession::finished);
    ASSERT_TRUE(finished.wait(120000));
    EXPECT_TRUE(finished.first().first().toBool());
    EXPECT_TRUE(QTest::qWaitFor([&] { return QFile::exists(cups.dir.filePath("out/file-job.pdf")); }, 30000));
    EXPECT_EQ(marked, QList<QStringList>());
    PrintSession::setPrintPanelForTesting({});
    PhotoPrinter::setDeliveredMarker({});
}
