#include "photofiles/EmbeddedPreview.h"

#include "editing/PhotoComposer.h"
#include "editing/RetouchBridges.h"

#include <QFile>

#include <libexif/exif-data.h>
#include <vips/vips8>

#include <cmath>
#include <memory>

namespace tavrin::EmbeddedPreview {
namespace {

// The header segments of a camera JPEG sit in its first hundred kilobytes; a file that has not
// reached its frame header by this many segments is not one worth searching.
constexpr int kMaxSegments = 64;

struct ExifDataFree {
    void operator()(ExifData* data) const { exif_data_unref(data); }
};

bool isFrameHeader(uchar marker)
{
    // SOF0–SOF15 except DHT (C4), JPG (C8) and DAC (CC).
    return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

int orientationOf(ExifData* data)
{
    ExifEntry* entry = exif_content_get_entry(data->ifd[EXIF_IFD_0], EXIF_TAG_ORIENTATION);
    if (!entry || entry->format != EXIF_FORMAT_SHORT || entry->components < 1) return 1;
    const int value = exif_get_short(entry->data, exif_data_get_byte_order(data));
    return value >= 1 && value <= 8 ? value : 1;
}

// Bars a camera padded the preview with: dark and flat.
bool isBar(const vips::VImage& strip) { return strip.avg() < 24 && strip.deviate() < 12; }

// A preview of another shape than the photo's: some cameras pad it with black bars (cut away),
// others squeeze the whole picture in (stretched back). Either way the preview and the real
// thumbnail fill the cell alike.
vips::VImage inPhotoShape(const vips::VImage& image, QSize stored)
{
    if (stored.isEmpty()) return image;
    const double photo = double(stored.width()) / stored.height();
    const double preview = double(image.width()) / image.height();
    if (std::abs(preview - photo) <= photo * 0.03) return image;
    if (preview > photo) {
        const int width = std::max(1, int(std::lround(image.height() * photo)));
        const int margin = (image.width() - width) / 2;
        if (margin > 0 && isBar(image.extract_area(0, 0, margin, image.height())) &&
            isBar(image.extract_area(image.width() - margin, 0, margin, image.height())))
            return image.extract_area(margin, 0, width, image.height());
        return image.resize(double(width) / image.width(), vips::VImage::option()->set("vscale", 1.0));
    }
    const int height = std::max(1, int(std::lround(image.width() / photo)));
    const int margin = (image.height() - height) / 2;
    if (margin > 0 && isBar(image.extract_area(0, 0, image.width(), margin)) &&
        isBar(image.extract_area(0, image.height() - margin, image.width(), margin)))
        return image.extract_area(0, margin, image.width(), height);
    return image.resize(1.0, vips::VImage::option()->set("vscale", double(height) / image.height()));
}

} // namespace

Header readHeader(const QString& path)
{
    Header header;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return header;
    uchar bytes[4];
    if (file.read(reinterpret_cast<char*>(bytes), 2) != 2 || bytes[0] != 0xFF || bytes[1] != 0xD8) return header;
    qint64 position = 2;
    for (int segment = 0; segment < kMaxSegments; ++segment) {
        if (!file.seek(position) || file.read(reinterpret_cast<char*>(bytes), 4) != 4 || bytes[0] != 0xFF) break;
        const uchar marker = bytes[1];
        if (marker == 0xFF) { // fill byte
            ++position;
            continue;
        }
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD8)) { // markers without a length
            position += 2;
            continue;
        }
        if (marker == 0xDA || marker == 0xD9) break; // the compressed data starts: nothing more to learn
        const int length = (bytes[2] << 8) | bytes[3];
        if (length < 2) break;
        if (marker == 0xE1 && header.exif.isEmpty()) {
            const QByteArray payload = file.read(length - 2);
            if (payload.size() == length - 2 && payload.startsWith(QByteArrayLiteral("Exif\0\0"))) header.exif = payload;
        } else if (isFrameHeader(marker)) {
            uchar frame[5];
            if (file.read(reinterpret_cast<char*>(frame), 5) == 5)
                header.stored = QSize((frame[3] << 8) | frame[4], (frame[1] << 8) | frame[2]);
            break;
        }
        position += 2 + length;
    }
    return header;
}

QImage read(const QString& path, int maxPixel)
{
    const Header header = readHeader(path);
    if (header.exif.isEmpty()) return {};
    QByteArray jpeg;
    int orientation = 1;
    {
        const std::unique_ptr<ExifData, ExifDataFree> data(exif_data_new());
        if (!data) return {};
        // As cameras wrote it: nothing added, unknown tags skipped.
        exif_data_unset_option(data.get(), EXIF_DATA_OPTION_FOLLOW_SPECIFICATION);
        exif_data_set_option(data.get(), EXIF_DATA_OPTION_IGNORE_UNKNOWN_TAGS);
        exif_data_load_data(data.get(), reinterpret_cast<const unsigned char*>(header.exif.constData()), header.exif.size());
        // Only JPEG previews; the uncompressed ones some old cameras wrote are left to the real thumbnail.
        if (!data->data || data->size < 4 || data->data[0] != 0xFF || data->data[1] != 0xD8) return {};
        jpeg = QByteArray(reinterpret_cast<const char*>(data->data), int(data->size));
        orientation = orientationOf(data.get());
    }
    try {
        RetouchBridges::ensureVips();
        // A damaged preview is no preview: better the placeholder than a smeared picture.
        vips::VImage image = vips::VImage::new_from_buffer(jpeg.constData(), size_t(jpeg.size()), "",
                                                           vips::VImage::option()->set("fail", true))
                                 .copy_memory();
        image = inPhotoShape(image, header.stored);
        const int longest = std::max(image.width(), image.height());
        if (maxPixel > 0 && longest > maxPixel) image = image.resize(double(maxPixel) / longest);
        // The preview is stored as the sensor saw it, like the photo: the photo's orientation turns it.
        image = image.copy();
        image.set(VIPS_META_ORIENTATION, orientation);
        image = image.autorot();
        return PhotoComposer::toQImage(image);
    } catch (const std::exception&) {
        return {};
    }
}

} // namespace tavrin::EmbeddedPreview
