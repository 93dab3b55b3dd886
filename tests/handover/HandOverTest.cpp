#include "handover/HandOverService.h"

#include <QEventLoop>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRandomGenerator>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <vips/vips8>

#include <gtest/gtest.h>

using namespace tavrin;

namespace {

struct Response {
    int status = 0;
    QByteArray body;
    bool complete = false; // the server closed the connection
};

// One request over a raw socket; `readLimit` stops reading and resets the connection early.
Response exchange(quint16 port, const QByteArray& request, qsizetype readLimit = -1)
{
    QTcpSocket socket;
    QByteArray data;
    QEventLoop loop;
    bool closed = false;
    bool gaveUp = false;
    QObject::connect(&socket, &QTcpSocket::connected, [&] { socket.write(request); });
    QObject::connect(&socket, &QTcpSocket::readyRead, [&] {
        data += socket.readAll();
        if (readLimit >= 0 && data.size() >= readLimit) {
            gaveUp = true;
            socket.abort();
            loop.quit();
        }
    });
    QObject::connect(&socket, &QTcpSocket::disconnected, [&] {
        closed = true;
        loop.quit();
    });
    QTimer::singleShot(15000, &loop, &QEventLoop::quit);
    socket.connectToHost(QHostAddress::LocalHost, port);
    loop.exec();
    Response r;
    r.status = data.mid(9, 3).toInt();
    r.body = data.mid(data.indexOf("\r\n\r\n") + 4);
    r.complete = closed && !gaveUp;
    return r;
}

Response get(quint16 port, const QByteArray& target, const QByteArray& method = "GET")
{
    return exchange(port, method + ' ' + target + " HTTP/1.1\r\nHost: phone\r\nConnection: close\r\n\r\n");
}

QByteArray readAll(const QString& path)
{
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    return f.readAll();
}

class HandOver : public ::testing::Test {
protected:
    void SetUp() override
    {
        vips::VImage::black(120, 80, vips::VImage::option()->set("bands", 3))
            .new_from_image({200.0, 30.0, 40.0})
            .jpegsave(QFile::encodeName(dir.filePath("IMG_0101.jpg")).constData());
        files = {dir.filePath("IMG_0101.jpg"), write("clip.mov", 300 * 1000), write("Élan n°3.jpg", 5000)};
        HandOverService::Options options;
        options.address = QHostAddress::LocalHost;
        options.idleTimeoutMs = 1500;
        options.maxConnections = 6;
        service.setOptions(options);
        service.send(files, [this](const QStringList& paths) { delivered = paths; });
        port = service.url().port();
        token = service.url().path().section('/', 1, 1).toLatin1();
    }

    QString write(const QString& name, qsizetype size)
    {
        QByteArray bytes(size, Qt::Uninitialized);
        for (char& c : bytes) c = char(QRandomGenerator::global()->bounded(256));
        QFile f(dir.filePath(name));
        f.open(QIODevice::WriteOnly);
        f.write(bytes);
        return f.fileName();
    }

    QByteArray fileTarget(int index, const QString& name) const
    {
        return '/' + token + "/f/" + QByteArray::number(index) + '/' + QUrl::toPercentEncoding(name);
    }

    QTemporaryDir dir;
    QStringList files;
    HandOverService service;
    QStringList delivered;
    quint16 port = 0;
    QByteArray token;
};

} // namespace

TEST_F(HandOver, servesEachFileIntactAndDeliversOnlyOnceAllArrived)
{
    EXPECT_EQ(token.size(), 32); // 128 bits
    const Response page = get(port, '/' + token + '/');
    ASSERT_EQ(page.status, 200);
    const QString html = QString::fromUtf8(page.body);
    EXPECT_TRUE(html.contains("3 fichiers"));
    EXPECT_TRUE(html.contains(QString::fromLatin1(fileTarget(2, "Élan n°3.jpg"))));

    // The thumbnail is the photo, small.
    const Response thumb = get(port, '/' + token + "/t/0.jpg");
    ASSERT_EQ(thumb.status, 200);
    const QImage image = QImage::fromData(thumb.body, "JPEG");
    ASSERT_FALSE(image.isNull());
    EXPECT_LE(image.width(), 320);
    const QColor centre = image.pixelColor(image.width() / 2, image.height() / 2);
    EXPECT_NEAR(centre.red(), 200, 8);
    EXPECT_NEAR(centre.green(), 30, 8);
    EXPECT_EQ(get(port, '/' + token + "/t/1.jpg").status, 404); // random bytes: no picture

    EXPECT_EQ(get(port, fileTarget(0, "IMG_0101.jpg"), "HEAD").status, 200);
    for (int i = 0; i < 2; ++i) {
        const Response r = get(port, fileTarget(i, QFileInfo(files[i]).fileName()));
        ASSERT_EQ(r.status, 200);
        EXPECT_EQ(r.body, readAll(files[i]));
    }
    QTest::qWait(100);
    EXPECT_TRUE(delivered.isEmpty());
    EXPECT_EQ(service.fetchedCount(), 2);

    EXPECT_EQ(get(port, fileTarget(2, "Élan n°3.jpg")).body, readAll(files[2]));
    QTRY_COMPARE_WITH_TIMEOUT(delivered, files, 5000);
    EXPECT_FALSE(service.isRunning());
}

TEST_F(HandOver, theArchiveIsAValidZipOfTheSameBytesAndCountsForAll)
{
    const Response zip = get(port, '/' + token + "/photos.zip");
    ASSERT_EQ(zip.status, 200);
    const QString path = dir.filePath("out.zip");
    QFile out(path);
    out.open(QIODevice::WriteOnly);
    out.write(zip.body);
    out.close();
    QProcess python;
    python.start("python3", {"-c",
                             "import sys, zipfile\n"
                             "z = zipfile.ZipFile(sys.argv[1])\n"
                             "assert z.testzip() is None\n"
                             "for name, src in zip(sys.argv[2::2], sys.argv[3::2]):\n"
                             "    assert z.read(name) == open(src, 'rb').read(), name\n"
                             "assert len(z.namelist()) == 3\n"
                             "print('ok')\n",
                             path, "IMG_0101.jpg", files[0], "clip.mov", files[1], "Élan n°3.jpg", files[2]});
    ASSERT_TRUE(python.waitForFinished(20000));
    EXPECT_EQ(python.readAllStandardOutput().trimmed(), "ok") << python.readAllStandardError().toStdString();
    QTRY_COMPARE_WITH_TIMEOUT(delivered, files, 5000);
}

TEST_F(HandOver, nothingElseIsReachableAndAllRefusalsLookAlike)
{
    const QByteArray notFound = get(port, "/").body;
    const QByteArray t = '/' + token;
    const QList<QByteArray> targets{QByteArray("/0123456789ABCDEF0123456789ABCDEF/"), '/' + token.toLower() + '/', t + "/f/0/../../../etc/passwd",
          t + "/f/0/..%2F..%2Fetc%2Fpasswd", t + "/f/01/IMG_0101.jpg", t + "/f/-1/IMG_0101.jpg", t + "/f/3/IMG_0101.jpg",
          t + "/f/0/clip.mov", t + "/../" + token + "/f/0/IMG_0101.jpg", t + "/f/0" + dir.filePath("IMG_0101.jpg").toUtf8(),
          t + "x/", t + "/t/9.jpg", t + "/index.html"};
    for (const QByteArray& target : targets) {
        const Response r = get(port, target);
        EXPECT_EQ(r.status, 404) << target.constData();
        EXPECT_EQ(r.body, notFound) << target.constData();
    }
    // Other methods and uploads get the same answer, even at a real address.
    EXPECT_EQ(get(port, t + "/", "POST").body, notFound);
    const Response put = exchange(port, "PUT " + fileTarget(0, "IMG_0101.jpg") + " HTTP/1.1\r\nContent-Length: 4\r\n\r\nabcd");
    EXPECT_EQ(put.status, 404);
    EXPECT_TRUE(put.complete);
    EXPECT_EQ(readAll(files[0]).size(), QFileInfo(files[0]).size());
    EXPECT_EQ(service.fetchedCount(), 0);
}

TEST_F(HandOver, anInterruptedDownloadDoesNotCount)
{
    // Larger than any socket buffers, so that giving up early really leaves most of it unsent.
    const QString big = write("big.mov", 32 * 1000 * 1000);
    service.send({big}, [this](const QStringList& paths) { delivered = paths; });
    port = service.url().port();
    token = service.url().path().section('/', 1, 1).toLatin1();
    const QByteArray request = "GET " + fileTarget(0, "big.mov") + " HTTP/1.1\r\nHost: phone\r\n\r\n";
    const Response partial = exchange(port, request, 64 * 1024);
    EXPECT_FALSE(partial.complete);
    QTest::qWait(500);
    EXPECT_EQ(service.fetchedCount(), 0);
    EXPECT_TRUE(delivered.isEmpty());

    const Response whole = get(port, fileTarget(0, "big.mov"));
    EXPECT_EQ(whole.body.size(), 32 * 1000 * 1000);
    QTRY_COMPARE_WITH_TIMEOUT(delivered, QStringList{big}, 5000);
}

TEST_F(HandOver, stalledAndOversizedRequestsDoNotLockOutAPhone)
{
    std::vector<std::unique_ptr<QTcpSocket>> stalled;
    for (int i = 0; i < 12; ++i) {
        auto socket = std::make_unique<QTcpSocket>();
        socket->connectToHost(QHostAddress::LocalHost, port);
        QObject::connect(socket.get(), &QTcpSocket::connected, socket.get(), [s = socket.get()] { s->write("GET /"); });
        stalled.push_back(std::move(socket));
    }
    QTcpSocket endless;
    bool endlessClosed = false;
    QObject::connect(&endless, &QTcpSocket::disconnected, [&] { endlessClosed = true; });
    QObject::connect(&endless, &QTcpSocket::connected, [&] { endless.write("GET /" + QByteArray(20000, 'a')); });
    endless.connectToHost(QHostAddress::LocalHost, port);
    QTest::qWait(300);
    EXPECT_LE(service.connectionCount(), 6);
    QTRY_VERIFY_WITH_TIMEOUT(endlessClosed, 5000);

    const Response page = get(port, '/' + token + '/');
    EXPECT_EQ(page.status, 200);
    EXPECT_TRUE(page.body.contains("Vos photos"));
}
