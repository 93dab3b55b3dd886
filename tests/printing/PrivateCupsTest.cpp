#include "PrivateCups.h"

#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QThread>

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

    EXPECT_EQ(run(cups.env, {"--data-dir", data, "print", wide, "--printer", "Absente"}, &err), 1);
    EXPECT_TRUE(err.contains(QString::fromUtf8("L’imprimante « Absente » est introuvable."))) << qPrintable(err);
}
