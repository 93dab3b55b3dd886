#include "editing/RetouchBridges.h"
#include "photofiles/EmbeddedPreview.h"
#include "photofiles/MediaThumbnailer.h"

#include "CameraSamples.h"

#include <QColor>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>
#include <vips/vips8>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>

#include <cstdio>

using namespace tavrin;

namespace {

// Pixels stored as `colour` with a blue top-left quarter; `orientation` goes into EXIF.
void makePhoto(const QString& path, int width, int height, int orientation = 0,
               std::vector<double> colour = {255, 0, 0})
{
    RetouchBridges::ensureVips();
    vips::VImage image = vips::VImage::black(width, height, vips::VImage::option()->set("bands", 3)).new_from_image(colour);
    image = image.copy_memory();
    image.draw_rect({0, 0, 255}, 0, 0, width / 4, height / 4, vips::VImage::option()->set("fill", true));
    if (orientation) image.set("orientation", orientation);
    image.jpegsave(QFile::encodeName(path).constData(), vips::VImage::option()->set("Q", 95));
}

void setMtime(const QString& path, qint64 seconds)
{
    const struct utimbuf times {seconds, seconds};
    ASSERT_EQ(::utime(QFile::encodeName(path).constData(), &times), 0);
}

bool ffmpeg(const QStringList& arguments)
{
    QProcess process;
    process.start(QStringLiteral("ffmpeg"), QStringList{QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-y")} + arguments);
    return process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

bool isBlue(const QImage& image, int x, int y)
{
    const QColor c = image.pixelColor(x, y);
    return c.blue() > 200 && c.red() < 60 && c.green() < 60;
}
bool isRed(const QImage& image, int x, int y)
{
    const QColor c = image.pixelColor(x, y);
    return c.red() > 200 && c.blue() < 60 && c.green() < 60;
}

bool isGreen(const QImage& image, int x, int y)
{
    const QColor c = image.pixelColor(x, y);
    return c.green() > 200 && c.red() < 60 && c.blue() < 60;
}

// Writes `preview` into the photo's EXIF segment as its embedded thumbnail, as a camera does.
bool addPreview(const QString& photo, const QString& preview)
{
    return QProcess::execute(QStringLiteral("exiftool"), {QStringLiteral("-q"), QStringLiteral("-overwrite_original"),
                                                          QStringLiteral("-ThumbnailImage<=") + preview, photo}) == 0;
}

class MediaThumbnailerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        qputenv("XDG_CACHE_HOME", QFile::encodeName(dir.filePath(QStringLiteral("cache"))));
        thumbnailer().clearMemory();
        thumbnailer().setSharedCacheEnabled(true);
    }
    void TearDown() override { qunsetenv("XDG_CACHE_HOME"); }
    static MediaThumbnailer& thumbnailer() { return MediaThumbnailer::shared(); }
    QString file(const QString& name) const { return dir.filePath(name); }

    QTemporaryDir dir;
};

TEST_F(MediaThumbnailerTest, LongestSideIsBoundedAndSmallPhotosAreNotEnlarged)
{
    makePhoto(file("wide.jpg"), 600, 400);
    makePhoto(file("tall.jpg"), 400, 600);
    makePhoto(file("small.jpg"), 80, 60);
    const QImage wide = thumbnailer().thumbnailNow(file("wide.jpg"), false, 150);
    const QImage tall = thumbnailer().thumbnailNow(file("tall.jpg"), false, 150);
    const QImage small = thumbnailer().thumbnailNow(file("small.jpg"), false, 480);
    EXPECT_EQ(wide.size(), QSize(150, 100));
    EXPECT_EQ(tall.size(), QSize(100, 150));
    EXPECT_EQ(small.size(), QSize(80, 60));
    for (const QImage* image : {&wide, &tall, &small}) {
        EXPECT_TRUE(isBlue(*image, 2, 2));
        EXPECT_TRUE(isRed(*image, image->width() * 3 / 4, image->height() * 3 / 4));
    }
    EXPECT_TRUE(thumbnailer().thumbnailNow(file("missing.jpg"), false, 150).isNull());
    QFile junk(file("junk.jpg"));
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
    junk.write("not a photo");
    junk.close();
    EXPECT_TRUE(thumbnailer().thumbnailNow(file("junk.jpg"), false, 150).isNull());
}

TEST_F(MediaThumbnailerTest, ExifOrientationComesOutUpright)
{
    // Stored landscape with the blue corner top-left: 6 turns it clockwise, 8 counter-clockwise.
    makePhoto(file("six.jpg"), 600, 400, 6);
    makePhoto(file("eight.jpg"), 600, 400, 8);
    const QImage six = thumbnailer().thumbnailNow(file("six.jpg"), false, 150);
    const QImage eight = thumbnailer().thumbnailNow(file("eight.jpg"), false, 150);
    ASSERT_EQ(six.size(), QSize(100, 150));
    ASSERT_EQ(eight.size(), QSize(100, 150));
    EXPECT_TRUE(isBlue(six, 97, 2));
    EXPECT_TRUE(isRed(six, 2, 2));
    EXPECT_TRUE(isBlue(eight, 2, 147));
    EXPECT_TRUE(isRed(eight, 2, 2));
}

TEST_F(MediaThumbnailerTest, VideoFirstFrameWithTrackRotation)
{
    const QString plain = file("clip.mp4");
    const QString turned = file("turned.mp4");
    ASSERT_TRUE(ffmpeg({"-f", "lavfi", "-i", "color=red:s=320x240:d=1,drawbox=x=0:y=0:w=80:h=60:color=blue:t=fill",
                        "-pix_fmt", "yuv420p", plain}));
    ASSERT_TRUE(ffmpeg({"-i", plain, "-c", "copy", "-metadata:s:v:0", "rotate=90", turned}));
    const QImage frame = thumbnailer().thumbnailNow(plain, true, 100);
    ASSERT_EQ(frame.size(), QSize(100, 75));
    EXPECT_TRUE(isBlue(frame, 3, 3));
    EXPECT_TRUE(isRed(frame, 60, 50));
    // The display matrix turns the frame as ffmpeg itself shows it: the blue corner bottom-left.
    const QImage upright = thumbnailer().thumbnailNow(turned, true, 100);
    ASSERT_EQ(upright.size(), QSize(75, 100));
    EXPECT_TRUE(isBlue(upright, 3, 96));
    EXPECT_TRUE(isRed(upright, 3, 3));
    EXPECT_TRUE(thumbnailer().thumbnailNow(file("clip-missing.mp4"), true, 100).isNull());
}

TEST_F(MediaThumbnailerTest, RewrittenFileGetsANewKeyAndRemoveForgetsIt)
{
    const QString photo = file("photo.jpg");
    makePhoto(photo, 600, 400);
    setMtime(photo, 1700000000);
    const QString before = MediaThumbnailer::cacheKey(photo);
    EXPECT_TRUE(before.startsWith(photo + QStringLiteral("|1700000000|")));
    EXPECT_TRUE(isRed(thumbnailer().thumbnailNow(photo, false, 120), 100, 70));
    EXPECT_TRUE(thumbnailer().inMemory(photo, 120));

    // Rewritten without anyone calling remove: the new key alone shows the new pixels.
    makePhoto(photo, 600, 400, 0, {0, 255, 0});
    setMtime(photo, 1700000100);
    EXPECT_NE(MediaThumbnailer::cacheKey(photo), before);
    const QImage green = thumbnailer().thumbnailNow(photo, false, 120);
    EXPECT_GT(green.pixelColor(100, 70).green(), 200);
    EXPECT_LT(green.pixelColor(100, 70).red(), 60);

    const QString entry = SharedThumbnails::entryPath(photo, 128);
    ASSERT_TRUE(QFile::exists(entry));
    thumbnailer().remove(photo);
    EXPECT_FALSE(thumbnailer().inMemory(photo, 120));
    EXPECT_FALSE(QFile::exists(entry));

    EXPECT_EQ(MediaThumbnailer::cacheKey(file("gone.jpg")), file("gone.jpg") + QStringLiteral("|0|0"));
}

TEST_F(MediaThumbnailerTest, AsynchronousResultArrivesOnTheCallersThreadWithItsKey)
{
    const QString photo = file("photo.jpg");
    makePhoto(photo, 600, 400);
    QObject receiver;
    QEventLoop loop;
    QString key;
    QImage image;
    QThread* thread = nullptr;
    thumbnailer().thumbnail(photo, false, 480, &receiver, [&](const QString& k, const QImage& i) {
        key = k;
        image = i;
        thread = QThread::currentThread();
        loop.quit();
    });
    QTimer::singleShot(20000, &loop, &QEventLoop::quit);
    loop.exec();
    EXPECT_EQ(key, MediaThumbnailer::cacheKey(photo));
    EXPECT_EQ(image.size(), QSize(480, 320));
    EXPECT_EQ(thread, QThread::currentThread());
    // A hit is delivered at once.
    bool immediate = false;
    thumbnailer().thumbnail(photo, false, 480, &receiver, [&](const QString&, const QImage& i) { immediate = !i.isNull(); });
    EXPECT_TRUE(immediate);
}

TEST_F(MediaThumbnailerTest, FreedesktopEntriesAreWrittenCheckedAndShared)
{
    const QString photo = file("photo.jpg");
    makePhoto(photo, 1200, 800);
    setMtime(photo, 1700000000);
    ASSERT_EQ(thumbnailer().thumbnailNow(photo, false, 480).size(), QSize(480, 320));

    const QString entry = SharedThumbnails::entryPath(photo, 512);
    EXPECT_TRUE(entry.startsWith(file("cache/thumbnails/x-large/")));
    QImage written;
    ASSERT_TRUE(written.load(entry, "PNG"));
    EXPECT_EQ(written.size(), QSize(512, 341));
    EXPECT_EQ(written.text("Thumb::URI"), QStringLiteral("file://") + photo);
    EXPECT_EQ(written.text("Thumb::MTime"), QStringLiteral("1700000000"));
    EXPECT_EQ(written.text("Thumb::Size"), QString::number(QFileInfo(photo).size()));
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(entry).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    ASSERT_EQ(::stat(QFile::encodeName(file("cache/thumbnails")).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_TRUE(QDir(file("cache/thumbnails/x-large")).entryList(QDir::Files | QDir::Hidden).size() == 1);

    // Entries made by another program (vips writes the text chunks), green so they can be told apart.
    const auto writeForeign = [&](int folder, qint64 mtime) {
        vips::VImage green = vips::VImage::black(128, 85, vips::VImage::option()->set("bands", 3)).new_from_image({0, 255, 0});
        green = green.copy();
        green.set("png-comment-0-Thumb::URI", SharedThumbnails::fileUri(photo).toUtf8().constData());
        green.set("png-comment-1-Thumb::MTime", QByteArray::number(mtime).constData());
        QDir().mkpath(QFileInfo(SharedThumbnails::entryPath(photo, folder)).path());
        green.pngsave(QFile::encodeName(SharedThumbnails::entryPath(photo, folder)).constData());
    };
    thumbnailer().clearMemory();
    writeForeign(128, 1700000000);
    const QImage reused = thumbnailer().thumbnailNow(photo, false, 100);
    EXPECT_EQ(reused.size(), QSize(100, 66));
    EXPECT_GT(reused.pixelColor(50, 50).green(), 200);

    // A stale modification time: the entry is ignored and replaced by one from the photo.
    thumbnailer().clearMemory();
    ASSERT_TRUE(QFile::remove(entry));
    writeForeign(128, 1600000000);
    const QImage fresh = thumbnailer().thumbnailNow(photo, false, 100);
    EXPECT_TRUE(isRed(fresh, 80, 50));
    QImage replaced;
    ASSERT_TRUE(replaced.load(SharedThumbnails::entryPath(photo, 128), "PNG"));
    EXPECT_EQ(replaced.text("Thumb::MTime"), QStringLiteral("1700000000"));

    // Never a thumbnail of a thumbnail.
    EXPECT_FALSE(SharedThumbnails::write(entry, written, 512));
}

TEST_F(MediaThumbnailerTest, EmbeddedPreviewIsUprightInThePhotosShapeAndOnlyEverStandsIn)
{
    // The preview is stored as the photo is (blue top-left quarter) but green, and padded with
    // black bars to 4:3 as some cameras pad theirs.
    makePhoto(file("preview.jpg"), 160, 107, 0, {0, 255, 0});
    vips::VImage::new_from_file(QFile::encodeName(file("preview.jpg")).constData())
        .embed(0, 6, 160, 120)
        .jpegsave(QFile::encodeName(file("padded.jpg")).constData(), vips::VImage::option()->set("strip", true));
    for (int orientation = 1; orientation <= 8; ++orientation) {
        const QString photo = file(QStringLiteral("o%1.jpg").arg(orientation));
        makePhoto(photo, 600, 400, orientation);
        ASSERT_TRUE(addPreview(photo, file("padded.jpg")));
        const QImage real = MediaThumbnailer::photoThumbnail(photo, 480);
        const QImage shown = EmbeddedPreview::read(photo, 480);
        ASSERT_FALSE(shown.isNull()) << orientation;
        EXPECT_TRUE(test::sameShape(shown.size(), real.size())) << orientation;
        // The blue quarter in the same corner as on the real thumbnail, no bar left, green elsewhere.
        for (const auto& [fx, fy] : {std::pair(0.1, 0.1), {0.9, 0.1}, {0.1, 0.9}, {0.9, 0.9}}) {
            const int x = int(fx * shown.width()), y = int(fy * shown.height());
            EXPECT_EQ(isBlue(shown, x, y), isBlue(real, int(fx * real.width()), int(fy * real.height()))) << orientation << ' ' << fx << ' ' << fy;
            EXPECT_TRUE(isBlue(shown, x, y) || isGreen(shown, x, y)) << orientation << " " << fx << " " << fy;
        }
    }

    // Nothing to show: no EXIF preview, a damaged EXIF segment, not a JPEG, no file.
    makePhoto(file("plain.jpg"), 600, 400);
    EXPECT_TRUE(EmbeddedPreview::read(file("plain.jpg")).isNull());
    QFile source(file("plain.jpg"));
    ASSERT_TRUE(source.open(QIODevice::ReadOnly));
    const QByteArray jpeg = source.readAll();
    QByteArray broken = QByteArrayLiteral("\xFF\xD8\xFF\xE1\x00\x40") + QByteArrayLiteral("Exif\0\0II*\0\x08\0\0\0\xFF\xFF");
    broken += QByteArray(0x40 - 2 - 16, '\xEE') + jpeg.mid(2);
    QFile damaged(file("damaged.jpg"));
    ASSERT_TRUE(damaged.open(QIODevice::WriteOnly));
    damaged.write(broken);
    damaged.close();
    EXPECT_TRUE(EmbeddedPreview::read(file("damaged.jpg")).isNull());
    EXPECT_TRUE(isRed(MediaThumbnailer::photoThumbnail(file("damaged.jpg"), 100), 80, 50));
    vips::VImage::black(40, 30).pngsave(QFile::encodeName(file("flat.png")).constData());
    EXPECT_TRUE(EmbeddedPreview::read(file("flat.png")).isNull());
    EXPECT_TRUE(EmbeddedPreview::read(file("gone.jpg")).isNull());

    // Asked for in the background: the preview first, then the real thumbnail, which alone is
    // cached. A second caller of the same photo joins the job instead of making it again.
    const QString photo = file("o6.jpg");
    QObject first, second;
    QStringList events;
    const auto record = [&](const char* who) {
        return [&events, who](const QString&, const QImage& image) {
            const int x = image.width() / 2, y = image.height() / 2;
            events.push_back(QLatin1String(who) + (isGreen(image, x, y) ? QStringLiteral(" green") : isRed(image, x, y) ? QStringLiteral(" red") : QStringLiteral(" ?")));
        };
    };
    thumbnailer().thumbnail(photo, false, 480, &first, record("done"), record("preview"));
    thumbnailer().thumbnail(photo, false, 480, &second, record("joined"));
    EXPECT_EQ(thumbnailer().jobsInFlight(), 1);
    thumbnailer().waitForDone();
    EXPECT_EQ(events, (QStringList{"preview green", "done red", "joined red"}));
    EXPECT_TRUE(isRed(thumbnailer().thumbnailNow(photo, false, 480), 160, 240));
    events.clear();
    thumbnailer().thumbnail(photo, false, 480, &first, record("hit"), record("preview"));
    EXPECT_EQ(events, QStringList{"hit red"});

    // A caller that no longer wants it: the job stops and nothing is delivered.
    thumbnailer().clearMemory();
    events.clear();
    thumbnailer().thumbnail(photo, false, 480, &first, record("done"), record("preview"));
    thumbnailer().cancel(photo, 480, &first);
    EXPECT_EQ(thumbnailer().jobsInFlight(), 0);
    thumbnailer().waitForDone();
    EXPECT_TRUE(events.isEmpty()) << events.join(u',').toStdString();
    EXPECT_FALSE(thumbnailer().inMemory(photo, 480));
}

} // namespace

namespace {

// Mean difference per channel (0–255) of two same-sized images; a large value for different sizes.
double meanDifference(const QImage& a, const QImage& b)
{
    if (a.size() != b.size()) return 255;
    const QImage x = a.convertToFormat(QImage::Format_RGB32), y = b.convertToFormat(QImage::Format_RGB32);
    double sum = 0;
    for (int row = 0; row < x.height(); ++row)
        for (int col = 0; col < x.width(); ++col) {
            const QRgb p = x.pixel(col, row), q = y.pixel(col, row);
            sum += std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) + std::abs(qBlue(p) - qBlue(q));
        }
    return sum / (3.0 * x.width() * x.height());
}

} // namespace

TEST(CameraThumbnails, EveryReadablePhotoComesOutUprightAndTheDamagedOneEmpty)
{
    if (test::cameraSamplesDir().isEmpty()) GTEST_SKIP() << test::kNoCameraSamples;
    RetouchBridges::ensureVips();
    QStringList wrong;
    int made = 0;
    for (const QString& photo : test::cameraPhotos()) {
        const QImage thumbnail = MediaThumbnailer::photoThumbnail(photo, 160);
        if (test::isDamagedCameraPhoto(photo)) {
            if (!thumbnail.isNull()) wrong.push_back(photo + QStringLiteral(" (damaged, yet a thumbnail)"));
            continue;
        }
        const QSize upright = test::uprightSize(photo);
        if (thumbnail.isNull() || std::max(thumbnail.width(), thumbnail.height()) > 160 ||
            !test::sameShape(thumbnail.size(), upright))
            wrong.push_back(photo + QStringLiteral(" (%1×%2 for %3×%4)").arg(thumbnail.width()).arg(thumbnail.height())
                                        .arg(upright.width()).arg(upright.height()));
        else ++made;
    }
    EXPECT_TRUE(wrong.isEmpty()) << wrong.join(u'\n').toStdString();
    EXPECT_GE(made, 40);

    // The eight orientations of one scene show the same picture once upright, not only the same shape
    // (each bears its own number: about 14 apart when right, 45 and more when mirrored or turned).
    const QString folder = test::cameraSamplesDir() + QStringLiteral("/orientation/");
    for (const char* shape : {"landscape", "portrait"}) {
        const QImage reference = MediaThumbnailer::photoThumbnail(folder + QLatin1String(shape) + QStringLiteral("_1.jpg"), 160);
        for (int orientation = 2; orientation <= 8; ++orientation) {
            const QString name = QLatin1String(shape) + u'_' + QString::number(orientation) + QStringLiteral(".jpg");
            EXPECT_LT(meanDifference(MediaThumbnailer::photoThumbnail(folder + name, 160), reference), 25) << name.toStdString();
        }
    }
}

// What a photographer's cards hold: every camera preview comes out upright and in the photo's
// shape, showing the photo's own picture; the damaged files give no thumbnail, no crash and not a
// word of libvips on the terminal.
TEST(CameraThumbnails, CameraPreviewsComeOutUprightAndDamagedFilesStayQuiet)
{
    if (test::cameraSamplesDir().isEmpty()) GTEST_SKIP() << test::kNoCameraSamples;
    RetouchBridges::ensureVips();
    QStringList wrong;
    int previews = 0;
    for (const QString& photo : test::cameraPhotos()) {
        const QImage preview = EmbeddedPreview::read(photo, 160);
        if (preview.isNull() || test::isDamagedCameraPhoto(photo)) continue;
        ++previews;
        const QImage real = MediaThumbnailer::photoThumbnail(photo, 160);
        const auto coarse = [](const QImage& image) { return image.scaled(16, 16, Qt::IgnoreAspectRatio, Qt::SmoothTransformation); };
        const double difference = meanDifference(coarse(preview), coarse(real));
        if (!test::sameShape(preview.size(), test::uprightSize(photo)) || difference > 25)
            wrong.push_back(photo + QStringLiteral(" (%1×%2, %3 apart)").arg(preview.width()).arg(preview.height()).arg(difference));
    }
    EXPECT_TRUE(wrong.isEmpty()) << wrong.join(u'\n').toStdString();
    EXPECT_GE(previews, 20);

    // The damaged files as the gallery asks for them, standard error caught meanwhile.
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    qputenv("XDG_CACHE_HOME", QFile::encodeName(dir.filePath(QStringLiteral("cache"))));
    const QString captured = dir.filePath(QStringLiteral("stderr.txt"));
    std::fflush(stderr);
    const int saved = ::dup(2);
    const int sink = ::open(QFile::encodeName(captured).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ::dup2(sink, 2);
    QObject gallery;
    QMap<QString, QImage> made;
    QStringList damaged = QDir(test::cameraSamplesDir() + QStringLiteral("/invalid")).entryList({QStringLiteral("*.jpg")});
    for (QString& name : damaged) name = test::cameraSamplesDir() + QStringLiteral("/invalid/") + name;
    damaged.push_back(test::cameraSamplesDir() + QStringLiteral("/corrupted.jpg"));
    for (const QString& photo : damaged)
        MediaThumbnailer::shared().thumbnail(photo, false, 480, &gallery, [&made, photo](const QString&, const QImage& image) { made[photo] = image; },
                                             [](const QString&, const QImage&) {});
    MediaThumbnailer::shared().waitForDone();
    std::fflush(stderr);
    ::dup2(saved, 2);
    ::close(saved);
    ::close(sink);
    qunsetenv("XDG_CACHE_HOME");
    EXPECT_EQ(made.size(), damaged.size());
    EXPECT_TRUE(made.value(test::cameraSamplesDir() + QStringLiteral("/corrupted.jpg")).isNull());
    QFile said(captured);
    ASSERT_TRUE(said.open(QIODevice::ReadOnly));
    EXPECT_EQ(said.readAll(), QByteArray());
}
