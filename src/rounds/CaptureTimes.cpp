#include "rounds/CaptureTimes.h"

#include "base/Error.h"
#include "base/ParallelSlices.h"
#include "organizer/PhotoFile.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QTimeZone>

#include <libexif/exif-data.h>
#include <libexif/exif-loader.h>

#include <algorithm>
#include <atomic>
#include <limits>
#include <memory>
#include <mutex>

namespace tavrin::CaptureTimes {
namespace {

struct ExifDataFree {
    void operator()(ExifData* data) const { exif_data_unref(data); }
};
struct ExifLoaderFree {
    void operator()(ExifLoader* loader) const { exif_loader_unref(loader); }
};

// An ASCII entry's text, trimmed of the padding some cameras leave (NULs, spaces).
QByteArray asciiEntry(ExifData* data, ExifTag tag)
{
    ExifEntry* entry = exif_content_get_entry(data->ifd[EXIF_IFD_EXIF], tag);
    if (!entry || entry->format != EXIF_FORMAT_ASCII || !entry->data) return {};
    return QByteArray(reinterpret_cast<const char*>(entry->data), qsizetype(entry->size)).split('\0').first().trimmed();
}

int digits(const QByteArray& text, int from, int count)
{
    int value = 0;
    for (int i = from; i < from + count; ++i) {
        if (text[i] < '0' || text[i] > '9') return -1;
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

// "YYYY:MM:DD HH:MM:SS"; blank or zeroed dates are none.
std::optional<QDateTime> exifDate(const QByteArray& text, int millis, const QByteArray& offset)
{
    if (text.size() < 19) return std::nullopt;
    const int year = digits(text, 0, 4), month = digits(text, 5, 2), day = digits(text, 8, 2);
    const int hour = digits(text, 11, 2), minute = digits(text, 14, 2), second = digits(text, 17, 2);
    const QDate date(year, month, day);
    const QTime time(hour, minute, second, millis);
    if (!date.isValid() || !time.isValid()) return std::nullopt;
    // "+02:00" or "-05:30"
    if (offset.size() == 6 && (offset[0] == '+' || offset[0] == '-') && offset[3] == ':') {
        const int h = digits(offset, 1, 2), m = digits(offset, 4, 2);
        if (h >= 0 && m >= 0 && h <= 14 && m < 60)
            return QDateTime(date, time, QTimeZone((offset[0] == '-' ? -1 : 1) * (h * 3600 + m * 60)));
    }
    return QDateTime(date, time, Qt::LocalTime);
}

// "5" is half a second, "05" five hundredths: the digits are a decimal fraction.
int subSecondMillis(const QByteArray& text)
{
    int millis = 0;
    int scale = 100;
    for (char c : text) {
        if (c < '0' || c > '9') break;
        millis += (c - '0') * scale;
        scale /= 10;
        if (scale == 0) break;
    }
    return millis;
}

// The date of an EXIF block ("Exif\0\0" then a TIFF header, as a JPEG's APP1 holds it).
std::optional<QDateTime> blockTime(const unsigned char* buffer, unsigned int size)
{
    if (!buffer || size == 0) return std::nullopt;
    const std::unique_ptr<ExifData, ExifDataFree> data(exif_data_new());
    if (!data) return std::nullopt;
    // Only three ASCII tags are wanted: leave the data as the camera wrote it.
    exif_data_unset_option(data.get(), EXIF_DATA_OPTION_FOLLOW_SPECIFICATION);
    exif_data_set_option(data.get(), EXIF_DATA_OPTION_IGNORE_UNKNOWN_TAGS);
    exif_data_load_data(data.get(), buffer, size);
    const QByteArray original = asciiEntry(data.get(), EXIF_TAG_DATE_TIME_ORIGINAL);
    if (original.isEmpty()) return std::nullopt;
    return exifDate(original, subSecondMillis(asciiEntry(data.get(), EXIF_TAG_SUB_SEC_TIME_ORIGINAL)),
                    asciiEntry(data.get(), EXIF_TAG_OFFSET_TIME_ORIGINAL));
}

std::optional<QDateTime> loadedTime(ExifLoader* loader)
{
    const unsigned char* buffer = nullptr;
    unsigned int size = 0;
    exif_loader_get_buf(loader, &buffer, &size);
    return blockTime(buffer, size);
}

// Raw files of most cameras are TIFF files: their start is the EXIF block without its
// "Exif" marker, its directories near the start.
std::optional<QDateTime> tiffTime(QByteArrayView start)
{
    if (!start.startsWith(QByteArrayView("II*\0", 4)) && !start.startsWith(QByteArrayView("MM\0*", 4))) return std::nullopt;
    QByteArray block = QByteArrayLiteral("Exif\0\0");
    block.append(start.first(std::min<qsizetype>(start.size(), 256 * 1024)));
    return blockTime(reinterpret_cast<const unsigned char*>(block.constData()), unsigned(block.size()));
}

} // namespace

std::optional<QDateTime> exifTime(const QString& path)
{
    // The loader stops reading once it has the EXIF block of the header.
    const std::unique_ptr<ExifLoader, ExifLoaderFree> loader(exif_loader_new());
    if (!loader) return std::nullopt;
    exif_loader_write_file(loader.get(), QFile::encodeName(path).constData());
    if (std::optional<QDateTime> time = loadedTime(loader.get())) return time;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
    const QByteArray magic = file.peek(4);
    if (magic != QByteArrayView("II*\0", 4) && magic != QByteArrayView("MM\0*", 4)) return std::nullopt;
    return tiffTime(file.read(256 * 1024));
}

std::optional<QDateTime> exifTime(QByteArrayView header)
{
    const std::unique_ptr<ExifLoader, ExifLoaderFree> loader(exif_loader_new());
    if (!loader || header.isEmpty()) return std::nullopt;
    // The loader copies what it keeps and never writes to the bytes.
    exif_loader_write(loader.get(), const_cast<unsigned char*>(reinterpret_cast<const unsigned char*>(header.data())),
                      unsigned(std::min<qsizetype>(header.size(), std::numeric_limits<unsigned>::max())));
    if (std::optional<QDateTime> time = loadedTime(loader.get())) return time;
    return tiffTime(header);
}

PhotoCapture capture(const QString& path)
{
    if (std::optional<QDateTime> time = exifTime(path)) return {path, *time, true};
    return {path, QFileInfo(path).lastModified(), false};
}

QList<PhotoCapture> folder(const QString& directory, const std::function<void(qsizetype done, qsizetype total)>& progress)
{
    const QDir dir(directory);
    if (!dir.exists() || !dir.isReadable())
        throw Error(QStringLiteral("Impossible de lire le dossier « ") + dir.dirName() + QStringLiteral(" »."));
    QStringList paths;
    for (const QFileInfo& info : dir.entryInfoList(QDir::Files | QDir::NoDotAndDotDot, QDir::Name))
        if (PhotoFile::isPhoto(info.fileName())) paths.append(info.absoluteFilePath());
    // Reading the dates is mostly waiting for the disk: the files are read side by side.
    QList<PhotoCapture> captures(paths.size());
    PhotoCapture* out = captures.data(); // detached once, before the threads share it
    std::atomic<qsizetype> read = 0;
    std::mutex reporting;
    ParallelSlices::run(int(paths.size()), ParallelSlices::sliceCount(int(paths.size()), 8), [&](int, int begin, int end) {
        for (int i = begin; i < end; ++i) {
            out[i] = capture(paths.at(i));
            const qsizetype done = ++read;
            // A thread that finds another reporting goes on reading rather than wait.
            if (progress && reporting.try_lock()) {
                progress(done, paths.size());
                reporting.unlock();
            }
        }
    });
    if (progress) progress(paths.size(), paths.size());
    // A raw file whose date could not be read takes that of its JPEG twin (DSC_0042.CR3 and
    // DSC_0042.JPG), rather than the time it was copied.
    QHash<QString, QDateTime> dated;
    for (const PhotoCapture& c : captures)
        if (c.fromExif) dated.insert(QFileInfo(c.path).completeBaseName(), c.time);
    for (PhotoCapture& c : captures)
        if (!c.fromExif)
            if (const auto twin = dated.constFind(QFileInfo(c.path).completeBaseName()); twin != dated.constEnd()) {
                c.time = *twin;
                c.fromExif = true;
            }
    return captures;
}

} // namespace tavrin::CaptureTimes
