#include "editing/PhotoComposer.h"

#include "base/Error.h"
#include "editing/PhotoEditError.h"
#include "editing/PhotoRetoucher.h"
#include "editing/RetouchBridges.h"
#include "editing/WatermarkBlend.h"
#include "editing/WatermarkScaler.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStorageInfo>
#include <QUuid>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace tavrin::PhotoComposer {

// --- Crop geometry -------------------------------------------------------------------------

QRectF baseCrop(QSizeF imageSize, double aspect)
{
    const double w = imageSize.width();
    const double h = imageSize.height();
    const double photoAspect = w / std::max(h, 1.0);
    const QSizeF size = aspect < photoAspect ? QSizeF(h * aspect, h) : QSizeF(w, w / aspect);
    return QRectF(QPointF((w - size.width()) / 2, (h - size.height()) / 2), size);
}

double zoom(const QRectF& crop, QSizeF imageSize, double aspect)
{
    const double base = baseCrop(imageSize, aspect).width();
    const double z = crop.width() <= 1 ? base : base / crop.width();
    return std::max(z, 0.2);
}

QRectF keepOverlap(QRectF rect, QSizeF imageSize)
{
    const double w = imageSize.width();
    const double h = imageSize.height();
    const double m = 0.18 * std::min({rect.width(), rect.height(), w, h});
    if (rect.right() < m) rect.moveLeft(m - rect.width());
    if (rect.left() > w - m) rect.moveLeft(w - m);
    if (rect.bottom() < m) rect.moveTop(m - rect.height());
    if (rect.top() > h - m) rect.moveTop(h - m);
    return rect;
}

QRectF resizedCrop(const QRectF& from, CropEdge edge, QSizeF delta, QSizeF imageSize, double aspect)
{
    const double w = imageSize.width();
    const double h = imageSize.height();
    const double m = 0.08 * std::min(w, h);
    const double minWidth = std::max(aspect < 1 ? aspect * m : m, 32.0);
    const double minHeight = minWidth / aspect;
    const double dx = delta.width();
    const double dy = delta.height();

    // The handle's axis drives; the other side follows the aspect.
    double width = from.width();
    double height = from.height();
    const auto byWidth = [&](double proposed) {
        width = std::max(proposed, minWidth);
        height = width / aspect;
    };
    const auto byHeight = [&](double proposed) {
        height = std::max(proposed, minHeight);
        width = height * aspect;
    };
    switch (edge) {
    case CropEdge::left: byWidth(from.width() - dx); break;
    case CropEdge::right: byWidth(from.width() + dx); break;
    case CropEdge::top: byHeight(from.height() - dy); break;
    case CropEdge::bottom: byHeight(from.height() + dy); break;
    case CropEdge::topLeft:
    case CropEdge::topRight:
    case CropEdge::bottomLeft:
    case CropEdge::bottomRight: {
        const bool leftSide = edge == CropEdge::topLeft || edge == CropEdge::bottomLeft;
        const bool topSide = edge == CropEdge::topLeft || edge == CropEdge::topRight;
        if (std::abs(dy) <= std::abs(dx)) byWidth(from.width() + (leftSide ? -dx : dx));
        else byHeight(from.height() + (topSide ? -dy : dy));
        break;
    }
    }
    if (width > 4 * w) {
        width = 4 * w;
        height = width / aspect;
    }
    if (height > 4 * h) {
        height = 4 * h;
        width = height * aspect;
    }

    // What stays put: the opposite side (centred on the other axis) or the opposite corner.
    double x = from.left();
    double y = from.top();
    switch (edge) {
    case CropEdge::left: x = from.right() - width; y = from.center().y() - height / 2; break;
    case CropEdge::right: y = from.center().y() - height / 2; break;
    case CropEdge::top: y = from.bottom() - height; x = from.center().x() - width / 2; break;
    case CropEdge::bottom: x = from.center().x() - width / 2; break;
    case CropEdge::topLeft: x = from.right() - width; y = from.bottom() - height; break;
    case CropEdge::topRight: y = from.bottom() - height; break;
    case CropEdge::bottomLeft: x = from.right() - width; break;
    case CropEdge::bottomRight: break;
    }
    return keepOverlap(QRectF(x, y, width, height), imageSize);
}

QRectF cropRect(const CropEditState& look, QSizeF imageSize)
{
    const double w = imageSize.width();
    const double h = imageSize.height();
    const double z = std::max(look.zoom, 0.2);
    const double a = aspectRatio(look.format, w, h);
    QSizeF size;
    if (w / std::max(h, 1.0) > a) size = QSizeF(h / z * a, h / z);
    else size = QSizeF(w / z, w / z / a);
    return QRectF(QPointF((w - size.width()) / 2 + look.offset.width(), (h - size.height()) / 2 + look.offset.height()), size);
}

QSize printSize(PrintFormat format, bool landscape)
{
    const QSize longShort = format == PrintFormat::a4 ? QSize(3508, 2480) : QSize(2480, 1748);
    return landscape ? longShort : longShort.transposed();
}

// --- Images --------------------------------------------------------------------------------

namespace {

using vips::VImage;

VImage dropAlphaOnWhite(const VImage& image)
{
    if (!image.has_alpha()) return image;
    return image.flatten(VImage::option()->set("background", std::vector<double>(image.bands() - 1, 255.0)))
        .cast(VIPS_FORMAT_UCHAR);
}

// Uchar bands in [0, 255] with alpha last, carrying the image's own ICC profile.
VImage withOpaqueAlpha(const VImage& image)
{
    return image.has_alpha() ? image : image.bandjoin_const({255.0});
}

Error cannotWrite(const QString& path)
{
    return Error(QStringLiteral("Impossible d’enregistrer la photo « %1 ».").arg(QFileInfo(path).fileName()));
}

// libvips decodes while it saves, so a damaged photo fails only there. When the folder takes files
// and has room for this one uncompressed, the fault is the photo's, not the disk's.
Error cannotSave(const QString& path, const VImage& image)
{
    const QString folder = QFileInfo(path).absolutePath();
    const QStorageInfo storage(folder);
    const qint64 needed = qint64(image.width()) * image.height() * image.bands();
    if (QFileInfo(folder).isWritable() && storage.isValid() && storage.bytesAvailable() > needed)
        return Error(QStringLiteral("Impossible de lire la photo « %1 ».").arg(QFileInfo(path).fileName()));
    return cannotWrite(path);
}

bool canWriteHeif()
{
    PhotoComposer::ensureVips();
    static const bool known = vips_type_find("VipsOperation", "heifsave") != 0;
    return known;
}

} // namespace

void ensureVips() { RetouchBridges::ensureVips(); }

vips::VImage orientedImage(const vips::VImage& decoded)
{
    VImage image = decoded.autorot();
    if (image.format() == VIPS_FORMAT_UCHAR && image.bands() >= 3) return image;
    const bool wasGrey = image.bands() < 3;
    image = image.colourspace(VIPS_INTERPRETATION_sRGB);
    if (image.format() != VIPS_FORMAT_UCHAR) image = image.cast(VIPS_FORMAT_UCHAR);
    // A grey profile would not describe the colour bands it now has.
    if (wasGrey) {
        image = image.copy();
        vips_image_remove(image.get_image(), VIPS_META_ICC_NAME);
    }
    return image;
}

std::optional<vips::VImage> loadImage(const QString& path, std::optional<int> maxPixel)
{
    ensureVips();
    const QByteArray file = QFile::encodeName(path);
    try {
        // Opened as a source, not by name: libvips remembers loads by file name, and photos are
        // rewritten in place, so a remembered decode would show the old file. The source maps the
        // file when it can.
        const vips::VSource source = vips::VSource::new_from_file(file.constData());
        VImage image = maxPixel ? VImage::thumbnail_source(source, std::max(*maxPixel, 1),
                                                           VImage::option()->set("size", VIPS_SIZE_DOWN))
                                : VImage::new_from_source(source, "");
        return orientedImage(image);
    } catch (const vips::VError&) {
        return std::nullopt;
    }
}

std::optional<vips::VImage> loadImageForOnePass(const QString& path)
{
    ensureVips();
    try {
        const vips::VSource source = vips::VSource::new_from_file(QFile::encodeName(path).constData());
        VImage image = VImage::new_from_source(source, "", VImage::option()->set("access", VIPS_ACCESS_SEQUENTIAL));
        // Turning reads the rows out of order.
        if (image.get_typeof(VIPS_META_ORIENTATION) != 0 && image.get_int(VIPS_META_ORIENTATION) > 1) return loadImage(path);
        return orientedImage(image);
    } catch (const vips::VError&) {
        return std::nullopt;
    }
}

QImage toQImage(vips::VImage image)
{
    try {
        if (image.interpretation() != VIPS_INTERPRETATION_sRGB) image = image.colourspace(VIPS_INTERPRETATION_sRGB);
        if (image.bands() > 4) image = image.extract_band(0, vips::VImage::option()->set("n", 4));
        if (image.bands() == 2) image = image.extract_band(0).bandjoin({image.extract_band(0), image.extract_band(0), image.extract_band(1)});
        if (image.bands() == 1) image = image.bandjoin({image, image});
        if (image.format() != VIPS_FORMAT_UCHAR) image = image.cast(VIPS_FORMAT_UCHAR);
        const int width = image.width(), height = image.height(), bands = image.bands();
        size_t length = 0;
        void* pixels = image.write_to_memory(&length);
        QImage result(width, height, bands == 4 ? QImage::Format_RGBA8888 : QImage::Format_RGB888);
        // QImage lines are padded to 4 bytes: rows are copied one by one.
        const size_t row = size_t(width) * size_t(bands);
        if (!result.isNull() && length >= row * size_t(height)) {
            const auto* source = static_cast<const uchar*>(pixels);
            for (int y = 0; y < height; ++y) std::memcpy(result.scanLine(y), source + size_t(y) * row, row);
        } else {
            result = {};
        }
        g_free(pixels);
        return result;
    } catch (const vips::VError&) {
        return {};
    }
}

std::optional<vips::VImage> resampled(const vips::VImage& image, QSizeF size)
{
    const int tw = std::max(int(std::lround(size.width())), 1);
    const int th = std::max(int(std::lround(size.height())), 1);
    if (tw == image.width() && th == image.height()) return image;
    try {
        const double sx = double(tw) / std::max(image.width(), 1);
        const double sy = double(th) / std::max(image.height(), 1);
        // Premultiplied, so transparent pixels lend no colour to their neighbours.
        const bool alpha = image.has_alpha();
        VImage source = alpha ? image.premultiply() : image;
        VImage out = source.resize(sx, VImage::option()->set("vscale", sy)->set("kernel", VIPS_KERNEL_LANCZOS3));
        if (alpha) out = out.unpremultiply();
        if (out.width() != tw || out.height() != th) {
            out = out.embed(0, 0, std::max(tw, out.width()), std::max(th, out.height()),
                            VImage::option()->set("extend", VIPS_EXTEND_COPY))
                      .extract_area(0, 0, tw, th);
        }
        return out.cast(image.format());
    } catch (const vips::VError&) {
        return std::nullopt;
    }
}

vips::VImage drawBottomCoverWatermark(const vips::VImage& watermark, const vips::VImage& canvas)
{
    const int pageWidth = canvas.width();
    const int pageHeight = canvas.height();
    const double scale = double(pageWidth) / std::max(watermark.width(), 1);
    const QSizeF drawn(scale * watermark.width(), scale * watermark.height());
    const int width = std::max(int(std::lround(drawn.width())), 1);
    const int height = std::max(int(std::lround(drawn.height())), 1);
    VImage mark = orientedImage(watermark);
    if (mark.bands() != 4 && mark.bands() != 3) mark = mark.colourspace(VIPS_INTERPRETATION_sRGB);
    mark = withOpaqueAlpha(mark);
    const int x = int(std::lround((pageWidth - width) / 2.0));
    const int top = pageHeight - height;

    // The part of the watermark that falls on the page.
    const int left = std::max(x, 0);
    const int right = std::min(x + width, pageWidth);
    const int visibleTop = std::max(top, 0);
    if (right <= left || visibleTop >= pageHeight) return canvas;
    // One pass to the exact drawn size, so the placement below copies pixels as they are: a mark
    // narrower than the page is enlarged by our own separable passes, over the rows on the page
    // only, while the page is being made; a wider one is reduced by libvips (Lanczos).
    const VipsRect where{left, visibleTop, right - left, pageHeight - visibleTop};
    WatermarkBlend::MarkPixels pixels;
    if (auto enlarged = WatermarkScaler::enlarged(mark, width, height, visibleTop - top)) {
        pixels = [enlarged = *enlarged, x0 = left - x, where] {
            const VImage whole = enlarged.get();
            return x0 == 0 && whole.width() == where.width ? whole : whole.extract_area(x0, 0, where.width, where.height);
        };
    } else if (auto exact = resampled(mark, drawn)) {
        pixels = [exact = *exact, x0 = left - x, y0 = visibleTop - top, where] { return exact.extract_area(x0, y0, where.width, where.height); };
    } else {
        throw PhotoEditError(PhotoEditError::Kind::composeFailed);
    }
    const int colourBands = canvas.has_alpha() ? canvas.bands() - 1 : canvas.bands();
    if (colourBands == 1)
        pixels = [colour = std::move(pixels)] {
            const VImage m = colour();
            return m.extract_band(0, VImage::option()->set("n", 3)).colourspace(VIPS_INTERPRETATION_B_W).bandjoin(m[3]);
        };
    return WatermarkBlend::over(canvas.format() == VIPS_FORMAT_UCHAR ? canvas : canvas.cast(VIPS_FORMAT_UCHAR), std::move(pixels), where);
}

vips::VImage renderValidatedLook(const vips::VImage& photo, const CropEditState& look, const std::optional<vips::VImage>& watermark)
{
    ensureVips();
    try {
        const double w = photo.width();
        const double h = photo.height();
        const QRectF crop = cropRect(look, QSizeF(w, h));
        const QSize page = printSize(look.format, crop.height() <= crop.width());
        const double sx = page.width() / std::max(crop.width(), 1.0);
        const double sy = page.height() / std::max(crop.height(), 1.0);

        // The white page shows through transparent pixels, so they are settled on white first.
        VImage image = dropAlphaOnWhite(photo);
        // Scaling once with Lanczos keeps the detail a single interpolated pass would alias away;
        // what is left for the affine pass is the turn.
        if (std::abs(sx - 1) > 1e-9 || std::abs(sy - 1) > 1e-9)
            image = image.resize(sx, VImage::option()->set("vscale", sy)->set("kernel", VIPS_KERNEL_LANCZOS3));
        const double qx = crop.center().x() * sx;
        const double qy = crop.center().y() * sy;

        // Pixels of the page, y downwards: page = S·R(angle)·(p − centre) + page centre, which on the
        // scaled photo q = S·p is S·R·S⁻¹ (q − S·centre) + page centre. A positive angle turns the
        // photo clockwise on the page.
        if (look.angle == 0) {
            // Upright, the page is a window on the scaled photo: placed on whole pixels it needs
            // no second interpolation (which would soften it and cost a third of the render); the
            // crop moves by at most half a page pixel, a twelfth of a millimetre.
            const int left = int(std::lround(qx - page.width() / 2.0));
            const int top = int(std::lround(qy - page.height() / 2.0));
            image = image.embed(-left, -top, page.width(), page.height(),
                                VImage::option()
                                    ->set("extend", VIPS_EXTEND_BACKGROUND)
                                    ->set("background", std::vector<double>(image.bands(), 255.0)))
                        .cast(VIPS_FORMAT_UCHAR);
            if (watermark) image = drawBottomCoverWatermark(*watermark, image);
            return image;
        }
        const double radians = look.angle * M_PI / 180.0;
        const double c = std::cos(radians);
        const double s = std::sin(radians);
        const std::vector<double> matrix{c, -s * sx / sy, s * sy / sx, c};
        // libvips puts pixel centres on whole coordinates; the geometry above puts them on halves.
        image = image.affine(matrix, VImage::option()
                                         ->set("oarea", std::vector<int>{0, 0, page.width(), page.height()})
                                         ->set("idx", 0.5 - qx)
                                         ->set("idy", 0.5 - qy)
                                         ->set("odx", page.width() / 2.0 - 0.5)
                                         ->set("ody", page.height() / 2.0 - 0.5)
                                         ->set("background", std::vector<double>(image.bands(), 255.0))
                                         ->set("extend", VIPS_EXTEND_BACKGROUND)
                                         ->set("interpolate", vips::VInterpolate::new_from_name("bicubic")));
        image = image.cast(VIPS_FORMAT_UCHAR);
        if (watermark) image = drawBottomCoverWatermark(*watermark, image);
        return image;
    } catch (const vips::VError&) {
        throw PhotoEditError(PhotoEditError::Kind::composeFailed);
    }
}

vips::VImage renderLook(const vips::VImage& photo, const CropEditState& look, const std::optional<vips::VImage>& watermark)
{
    VImage image = photo;
    if (!look.retouch.isNeutral()) {
        try {
            // The photo is decoded here: a damaged one fails now, and says so.
            image = PhotoRetoucher::inMemory(photo);
        } catch (const Error&) {
            throw PhotoEditError(PhotoEditError::Kind::unreadablePhoto);
        }
        try {
            if (const auto retouched = PhotoRetoucher::apply(image, look.retouch, RetouchQuality::full)) image = *retouched;
        } catch (const Error&) {
            throw PhotoEditError(PhotoEditError::Kind::composeFailed);
        }
    }
    return look.cropValidated ? renderValidatedLook(image, look, watermark) : image;
}

QString outputType(const QString& path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == QLatin1String("png")) return QStringLiteral("png");
    if (suffix == QLatin1String("tif") || suffix == QLatin1String("tiff")) return QStringLiteral("tiff");
    if ((suffix == QLatin1String("heic") || suffix == QLatin1String("heif")) && canWriteHeif()) return suffix;
    return QStringLiteral("jpg");
}

void write(const vips::VImage& image, const QString& path)
{
    ensureVips();
    const QString type = outputType(path);
    const QFileInfo info(path);
    const QString temporary = info.dir().filePath(QLatin1Char('.') + QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper() +
                                                  QLatin1Char('.') + type);
    const QByteArray temporaryName = QFile::encodeName(temporary);
    try {
        VImage out = type == QLatin1String("jpg") ? dropAlphaOnWhite(image) : image;
        if (out.format() != VIPS_FORMAT_UCHAR) out = out.cast(VIPS_FORMAT_UCHAR);
        // Only the colour profile travels: no EXIF (so no orientation but the upright 1), XMP or IPTC.
        out = out.copy();
        if (gchar** fields = vips_image_get_fields(out.get_image())) {
            for (gchar** field = fields; *field; ++field)
                if (std::strcmp(*field, VIPS_META_ICC_NAME) != 0) vips_image_remove(out.get_image(), *field);
            g_strfreev(fields);
        }
        if (type == QLatin1String("png")) out.pngsave(temporaryName.constData());
        else if (type == QLatin1String("tiff")) out.tiffsave(temporaryName.constData());
        else if (type == QLatin1String("heic") || type == QLatin1String("heif")) out.heifsave(temporaryName.constData());
        else out.jpegsave(temporaryName.constData(), VImage::option()->set("Q", 97));
    } catch (const vips::VError&) {
        QFile::remove(temporary);
        throw cannotSave(path, image);
    }
    // rename(2) replaces the visible file in one step: a reader sees the old photo or the new one.
    if (std::rename(temporaryName.constData(), QFile::encodeName(path).constData()) != 0) {
        QFile::remove(temporary);
        throw cannotWrite(path);
    }
}

} // namespace tavrin::PhotoComposer
