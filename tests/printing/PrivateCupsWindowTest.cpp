#include "PrivateCups.h"

#include "printing/PhotoPrinter.h"
#include "printing/PrintInfoMemory.h"
#include "printing/views/PrintSession.h"

#include <gtest/gtest.h>

#include <QPrinter>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <QWidget>

using namespace tavrin;
using test::output;
using test::PrivateCups;

// From the window to a real queue: the pages are written by the worker thread, which hands the
// job to the print server; an « Annuler » keeps the job to the pages already drawn.
TEST(PrivateCupsWindow, TheWorkerPrintsToTheQueueAndAnnulerKeepsTheJobShort)
{
    PrivateCups cups;
    if (!cups.running) GTEST_SKIP() << cups.reason.toStdString();
    // Before anything asks the print system for its printers.
    qputenv("CUPS_SERVER", cups.env.value("CUPS_SERVER").toUtf8());
    test::TempDataDir data;
    PrintInfoMemory::forgetRestoreForTesting();
    ASSERT_TRUE(PrintInfoMemory::printerExists(cups.queue));
    QList<QStringList> marked;
    PhotoPrinter::setDeliveredMarker([&](const QStringList& photos) { marked << photos; });
    PrintSession::setPrintPanelForTesting([&](QPrinter& printer, const QStringList&, QWidget*) {
        printer.setPrinterName(cups.queue);
        return PrintPanelChoice::print;
    });
    QWidget window;
    window.show();

    const QString photo = data.file("IMG_0001.jpg");
    ASSERT_EQ(QProcess::execute("convert", {"-size", "1600x1000", "xc:gray", "+noise", "Random", "-quality", "95", photo}), 0);
    QStringList photos{photo};
    for (int i = 2; i <= 12; ++i) {
        photos << data.file(QStringLiteral("IMG_%1.jpg").arg(i, 4, 10, QChar(u'0')));
        ASSERT_TRUE(QFile::copy(photo, photos.last()));
    }

    PrintSession* session = PhotoPrinter::print(photos, PrintPaperFormat::a4, &window);
    ASSERT_NE(session, nullptr);
    QObject::connect(session, &PrintSession::progressed, [session](int done, int) {
        if (done == 2) QTest::mouseClick(session->progressDialog()->findChild<QPushButton*>(), Qt::LeftButton);
    });
    QSignalSpy finished(session, &PrintSession::finished);
    ASSERT_TRUE(finished.wait(120000));
    EXPECT_FALSE(finished.first().first().toBool());
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
