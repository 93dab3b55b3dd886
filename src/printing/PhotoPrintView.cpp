#include "printing/PhotoPrintView.h"

#include "editing/PhotoComposer.h"
#include "printing/PhotoPrinter.h"

#include <QPainter>

#include <cstring>

namespace tavrin {

namespace {

// An 8-bit sRGB libvips image as a QImage owning its pixels.
QImage toQImage(vips::VImage image)
{
    if (image.bands() < 3) image = image.colourspace(VIPS_INTERPRETATION_sRGB);
    if (image.format() != VIPS_FORMAT_UCHAR) image = image.cast(VIPS_FORMAT_UCHAR);
    if (image.bands() > 4) image = image.extract_band(0, vips::VImage::option()->set("n", 4));
    const bool alpha = image.bands() == 4;
    QImage out(image.width(), image.height(), alpha ? QImage::Format_RGBA8888 : QImage::Format_RGB888);
    if (out.isNull()) return {};
    const int rowBytes = image.width() * image.bands();
    // QImage lines are padded to 4 bytes: rows are copied one by one.
    size_t size = 0;
    void* data = image.write_to_memory(&size);
    const auto* bytes = static_cast<const uchar*>(data);
    if (size < std::size_t(rowBytes) * std::size_t(out.height())) {
        g_free(data);
        return {};
    }
    for (int y = 0; y < out.height(); ++y) std::memcpy(out.scanLine(y), bytes + std::size_t(y) * std::size_t(rowBytes), std::size_t(rowBytes));
    g_free(data);
    return out;
}

} // namespace

QImage PhotoPrintView::image(int page)
{
    if (page < 0 || page >= pageCount()) return {};
    if (page == m_cachedPage) return m_cachedImage;
    releaseImages();
    QImage decoded;
    try {
        if (const std::optional<vips::VImage> loaded = PhotoComposer::loadImage(m_photos[page])) decoded = toQImage(*loaded);
    } catch (const vips::VError&) {
        decoded = {};
    }
    m_cachedPage = page;
    m_cachedImage = decoded;
    return decoded;
}

void PhotoPrintView::releaseImages()
{
    m_cachedPage = -1;
    m_cachedImage = {};
}

bool PhotoPrintView::drawPage(QPainter& painter, int page, const QRectF& sheet, const QRectF& printable)
{
    painter.fillRect(sheet, Qt::white);
    const QImage photo = image(page);
    if (photo.isNull()) return false;
    painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
    // The print promises no compression: the photo travels to the printer without a JPEG pass.
    painter.setRenderHint(QPainter::LosslessImageRendering, true);
    painter.drawImage(PhotoPrinter::fittedRect(QSizeF(photo.size()), printable), photo);
    return true;
}

} // namespace tavrin
