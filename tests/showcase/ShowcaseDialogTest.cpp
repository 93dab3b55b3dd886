#include "orders/OrdersStore.h"
#include "showcase/ShowcaseOrders.h"
#include "orders/views/OrdersSidebar.h"
#include "showcase/views/ShowcaseDialog.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QProcess>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <vips/vips8>

#include <gtest/gtest.h>

using namespace tavrin;

namespace {

int post(quint16 port, const QByteArray& target, const QByteArray& body = {})
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    if (!socket.waitForConnected(3000)) return 0;
    socket.write((body.isNull() ? "GET " : "POST ") + target + " HTTP/1.1\r\nHost: x\r\nConnection: close\r\n" +
                 (body.isNull() ? QByteArray()
                                : "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: " +
                                      QByteArray::number(body.size()) + "\r\n") +
                 "\r\n" + body);
    QByteArray reply;
    while (socket.waitForReadyRead(5000)) reply += socket.readAll();
    return reply.mid(9, 3).toInt();
}

} // namespace

TEST(ShowcaseDialog, startsCountsVisitorsAndOrdersWritesThePosterAndStops)
{
    QTemporaryDir dir;
    const QString riders = dir.filePath("Clients");
    QDir().mkpath(riders + "/MARTIN Paul");
    QDir().mkpath(dir.filePath("Commandes"));
    vips::VImage::black(300, 200, vips::VImage::option()->set("bands", 3))
        .write_to_file(QFile::encodeName(riders + "/MARTIN Paul/IMG_1.jpg").constData());
    OrdersStore store(nullptr, dir.filePath("settings.json"));
    store.storeRoot(dir.filePath("Commandes"));

    ShowcaseDialog dialog(store);
    dialog.serverOptions.address = QHostAddress::LocalHost;
    dialog.serverOptions.port = 0;
    dialog.toggle();
    EXPECT_TRUE(dialog.statusLabel()->text().contains("dossier des cavaliers")) << dialog.statusLabel()->text().toStdString();
    EXPECT_FALSE(dialog.service().isRunning());
    dialog.setFolder(riders);
    dialog.toggle();
    ASSERT_TRUE(dialog.service().isRunning()) << dialog.statusLabel()->text().toStdString();
    const quint16 port = dialog.service().url().port();
    EXPECT_TRUE(dialog.addressLabel()->text().startsWith("http://127.0.0.1:"));
    EXPECT_FALSE(dialog.codeLabel()->pixmap().isNull());
    // What the previews take on disk, against their bound.
    EXPECT_TRUE(dialog.cacheLabel()->text().startsWith(QString::fromUtf8("Aperçus prêts : "))) << dialog.cacheLabel()->text().toStdString();
    EXPECT_TRUE(dialog.cacheLabel()->text().endsWith(QString::fromUtf8("sur 2\u00A0Go")));
    EXPECT_EQ(ShowcaseDialog::sizeText(340LL << 20), QString::fromUtf8("340\u00A0Mo"));
    EXPECT_EQ(ShowcaseDialog::sizeText(1288490189), QString::fromUtf8("1,2\u00A0Go"));

    EXPECT_EQ(post(port, "/?q=martin"), 200);
    EXPECT_EQ(post(port, "/cavalier/0"), 200);
    EXPECT_EQ(post(port, "/commande", "cavalier=0&photo=0&format-0=FICHIERS&nom=Zo%C3%A9"), 200);
    QTRY_COMPARE_WITH_TIMEOUT(dialog.countsLabel()->text(), QString("1 visiteur · 1 commande"), 3000);

    const QString pdf = dir.filePath("affiche.pdf");
    ASSERT_TRUE(dialog.writePoster(pdf));
    QProcess text;
    text.start("pdftotext", {pdf, "-"});
    ASSERT_TRUE(text.waitForFinished(10000));
    const QString words = QString::fromUtf8(text.readAllStandardOutput());
    EXPECT_TRUE(words.contains("Vos photos du concours"));
    EXPECT_TRUE(words.contains(dialog.service().url().toString())) << words.toStdString();

    dialog.toggle();
    EXPECT_FALSE(dialog.service().isRunning());
    EXPECT_EQ(post(port, "/"), 0);
}

TEST(ShowcaseDialog, anOrderFromTheShowcaseIsMarkedNewUntilOpened)
{
    QTemporaryDir dir;
    const QString root = dir.filePath("Commandes");
    QDir().mkpath(root + "/ANCIENNE/IMPRESSION A5");
    const QString photo = dir.filePath("IMG_1.jpg");
    vips::VImage::black(30, 20).write_to_file(QFile::encodeName(photo).constData());
    const QString fresh = ShowcaseOrders(root).place({"Zoé", "", {{photo, "FICHIERS"}}, {}});
    OrdersStore store(nullptr, dir.filePath("settings.json"));
    store.storeRoot(root);
    store.reload();
    OrdersSidebar sidebar(store);
    sidebar.refreshOrders(); // as the orders screen does when the store lists its folders
    auto* list = sidebar.findChild<QListWidget*>("ordersList");
    ASSERT_TRUE(list);
    QListWidgetItem* item = list->findItems(fresh, Qt::MatchStartsWith).value(0);
    ASSERT_TRUE(item);
    EXPECT_EQ(item->text(), fresh + "\nNouvelle commande");
    EXPECT_EQ(list->findItems("ANCIENNE", Qt::MatchExactly).size(), 1);
    list->setCurrentItem(item);
    EXPECT_EQ(item->text(), fresh);
    EXPECT_FALSE(NewOrder::isNew(root + '/' + fresh));
}
