// Capture times read by Tavrin against those the reference EXIF tool reads from the same files.
#include "rounds/CaptureTimes.h"

#include "TestSupport.h"
#include "base/Error.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimeZone>

#include <gtest/gtest.h>

using namespace tavrin;
using namespace tavrin::test;

namespace {

QString cameraSamples()
{
    const QStringList candidates{sourceDir() + QStringLiteral("/../shared/samples/cameras"), QStringLiteral("/work/shared/samples/cameras")};
    for (const QString& candidate : candidates)
        if (QDir(candidate).exists()) return QDir(candidate).absolutePath();
    return {};
}

struct Reference {
    QString date, subSeconds, offset; // "-" when absent
};

// `exiftool -T` of every JPEG under `root`, keyed by absolute path. Only the EXIF block counts:
// a date kept in a maker's private note alone (trail cameras) is not a capture time we read.
QHash<QString, Reference> exiftoolTimes(const QString& root)
{
    QProcess tool;
    tool.start(QStringLiteral("exiftool"), {"-T", "-f", "-r", "-ext", "jpg", "-Directory", "-FileName",
                                            "-EXIF:DateTimeOriginal", "-EXIF:SubSecTimeOriginal", "-EXIF:OffsetTimeOriginal", root});
    EXPECT_TRUE(tool.waitForFinished(120000));
    QHash<QString, Reference> times;
    for (const QString& line : QString::fromUtf8(tool.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const QStringList cells = line.split(QLatin1Char('\t'));
        if (cells.size() != 5) continue;
        times.insert(QDir(cells[0]).absoluteFilePath(cells[1]), {cells[2], cells[3], cells[4]});
    }
    return times;
}

// The instant the reference reads, or none when it reads no usable date.
std::optional<QDateTime> expectedTime(const Reference& ref)
{
    const QDateTime plain = QDateTime::fromString(ref.date, QStringLiteral("yyyy:MM:dd HH:mm:ss"));
    if (!plain.isValid()) return std::nullopt;
    int millis = 0;
    if (ref.subSeconds != u"-") millis = QStringLiteral("0.%1").arg(ref.subSeconds).left(5).toDouble() * 1000.0 + 0.5;
    QDateTime time(plain.date(), plain.time().addMSecs(millis), Qt::LocalTime);
    if (ref.offset != u"-") {
        const int sign = ref.offset.startsWith(QLatin1Char('-')) ? -1 : 1;
        time = QDateTime(time.date(), time.time(), QTimeZone(sign * (ref.offset.mid(1, 2).toInt() * 3600 + ref.offset.mid(4, 2).toInt() * 60)));
    }
    return time;
}

void expectSameAsReference(const QString& root)
{
    const QHash<QString, Reference> reference = exiftoolTimes(root);
    ASSERT_GE(reference.size(), 5);
    int dated = 0;
    for (auto it = reference.begin(); it != reference.end(); ++it) {
        SCOPED_TRACE(it.key().toStdString());
        const PhotoCapture capture = CaptureTimes::capture(it.key());
        if (const std::optional<QDateTime> expected = expectedTime(it.value())) {
            ++dated;
            EXPECT_TRUE(capture.fromExif);
            EXPECT_EQ(capture.time, *expected) << capture.time.toString(Qt::ISODateWithMs).toStdString();
            EXPECT_EQ(capture.time.time().msec(), expected->time().msec());
        } else {
            EXPECT_FALSE(capture.fromExif);
            EXPECT_EQ(capture.time, QFileInfo(it.key()).lastModified());
        }
    }
    EXPECT_GT(dated, 0);
}

void run(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.start(program, arguments);
    ASSERT_TRUE(process.waitForFinished(60000));
    ASSERT_EQ(process.exitCode(), 0) << program.toStdString() << ": " << process.readAllStandardError().toStdString();
}

} // namespace

TEST(CaptureTimes, CameraSamplesGiveTheDatesTheReferenceReads)
{
    const QString samples = cameraSamples();
    if (samples.isEmpty()) GTEST_SKIP() << "the camera samples are not beside the project";
    expectSameAsReference(samples);
}

TEST(CaptureTimes, SubSecondsAndOffsetsWrittenByTheReference)
{
    QTemporaryDir dir;
    const QString base = dir.filePath(QStringLiteral("base.jpg"));
    run(QStringLiteral("vips"), {"black", base, "32", "24"});
    const struct {
        const char* name;
        QStringList tags;
        QTime time;
        std::optional<int> offset;
    } cases[] = {
        {"DSC_0001.JPG", {"-DateTimeOriginal=2026:06:14 10:11:12", "-SubSecTimeOriginal=5"}, QTime(10, 11, 12, 500), {}},
        {"DSC_0002.JPG", {"-DateTimeOriginal=2026:06:14 10:11:12", "-SubSecTimeOriginal=05"}, QTime(10, 11, 12, 50), {}},
        {"DSC_0003.JPG", {"-DateTimeOriginal=2026:06:14 10:11:12", "-SubSecTimeOriginal=1234"}, QTime(10, 11, 12, 123), {}},
        {"DSC_0004.JPG", {"-DateTimeOriginal=2026:06:14 23:59:59", "-SubSecTimeOriginal=999", "-OffsetTimeOriginal=+02:00"},
         QTime(23, 59, 59, 999), 7200},
        {"DSC_0005.JPG", {"-DateTimeOriginal=2026:06:14 08:00:00", "-OffsetTimeOriginal=-05:30"}, QTime(8, 0), -19800},
    };
    for (const auto& c : cases) {
        const QString path = dir.filePath(QString::fromLatin1(c.name));
        ASSERT_TRUE(QFile::copy(base, path));
        run(QStringLiteral("exiftool"), QStringList{"-q", "-overwrite_original"} + c.tags + QStringList{path});
        SCOPED_TRACE(c.name);
        const std::optional<QDateTime> time = CaptureTimes::exifTime(path);
        ASSERT_TRUE(time);
        EXPECT_EQ(time->time(), c.time);
        EXPECT_EQ(time->date(), QDate(2026, 6, 14));
        if (c.offset) EXPECT_EQ(time->offsetFromUtc(), *c.offset);
        else EXPECT_EQ(time->timeSpec(), Qt::LocalTime);
        // The header alone is enough.
        EXPECT_EQ(CaptureTimes::exifTime(QByteArrayView(readFile(path).left(4096))), time);
    }
    QFile::remove(base);
    expectSameAsReference(dir.path());
}

TEST(CaptureTimes, PhotosWithoutDateAndDamagedFilesFallBackToTheirModificationTime)
{
    QTemporaryDir dir;
    const QString plain = dir.filePath(QStringLiteral("IMG_0001.jpg"));
    run(QStringLiteral("vips"), {"black", plain, "16", "16"});
    const QString dated = dir.filePath(QStringLiteral("IMG_0002.jpg"));
    ASSERT_TRUE(QFile::copy(plain, dated));
    run(QStringLiteral("exiftool"), {"-q", "-overwrite_original", "-DateTimeOriginal=2026:06:14 10:11:12", dated});
    const QByteArray full = readFile(dated);
    writeFile(dir.filePath(QStringLiteral("IMG_0003.jpg")), full.left(40));        // cut inside the EXIF block
    writeFile(dir.filePath(QStringLiteral("IMG_0004.jpg")), QByteArray(5000, '\xff')); // no image at all
    writeFile(dir.filePath(QStringLiteral("IMG_0005.jpg")), {});                      // empty
    QByteArray blank = full;                                                          // a date of spaces
    blank.replace("2026:06:14 10:11:12", "    :  :     :  :  ");
    writeFile(dir.filePath(QStringLiteral("IMG_0006.jpg")), blank);
    writeFile(dir.filePath(QStringLiteral("IMG_0002.CR3")), QByteArray(3000, 'r')); // a raw file whose date is not read
    const QString tiff = dir.filePath(QStringLiteral("IMG_0008.tif"));                // raw files are mostly TIFF
    run(QStringLiteral("vips"), {"black", tiff, "16", "16"});
    run(QStringLiteral("exiftool"), {"-q", "-overwrite_original", "-DateTimeOriginal=2026:06:14 10:20:30", "-SubSecTimeOriginal=25", tiff});
    writeFile(dir.filePath(QStringLiteral("notes.xmp")), "<x/>");
    writeFile(dir.filePath(QStringLiteral(".IMG_0007.jpg")), full);

    const QDateTime stamp(QDate(2026, 6, 14), QTime(7, 30, 1, 250), Qt::LocalTime);
    for (const char* name : {"IMG_0001.jpg", "IMG_0003.jpg", "IMG_0004.jpg", "IMG_0005.jpg", "IMG_0006.jpg"}) {
        QFile file(dir.filePath(QString::fromLatin1(name)));
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        ASSERT_TRUE(file.setFileTime(stamp, QFileDevice::FileModificationTime));
    }
    const QList<PhotoCapture> captures = CaptureTimes::folder(dir.path());
    ASSERT_EQ(captures.size(), 8); // the sidecar and the hidden file are no photos of the folder
    for (const PhotoCapture& capture : captures) {
        SCOPED_TRACE(capture.path.toStdString());
        if (capture.path.endsWith(QStringLiteral("IMG_0008.tif"))) {
            EXPECT_TRUE(capture.fromExif);
            EXPECT_EQ(capture.time, QDateTime(QDate(2026, 6, 14), QTime(10, 20, 30, 250), Qt::LocalTime));
        } else if (capture.path.contains(QStringLiteral("IMG_0002."))) { // the raw file takes its JPEG twin's date
            EXPECT_TRUE(capture.fromExif);
            EXPECT_EQ(capture.time, QDateTime(QDate(2026, 6, 14), QTime(10, 11, 12), Qt::LocalTime));
        } else {
            EXPECT_FALSE(capture.fromExif);
            EXPECT_EQ(capture.time, stamp);
        }
    }
    EXPECT_THROW(CaptureTimes::folder(dir.filePath(QStringLiteral("absent"))), Error);
}
