#include "printing/PhotoPrintView.h"

#include "editing/PhotoComposer.h"
#include "printing/PhotoPrinter.h"

#include <QPainter>

namespace tavrin {

QImage PhotoPrintView::image(int page)
{
    if (page < 0 || page >= pageCount()) return {};
    if (page == m_cachedPage) return m_cachedImage;
    releaseImages();
    const QImage decoded = decode(m_photos[page]);
    m_cachedPage = page;
    m_cachedImage = decoded;
    return decoded;
}

void PhotoPrintView::releaseImages()
{
    m_cachedPage = -1;
    m_cachedImage = {};
}

QImage PhotoPrintView::decode(const QString& photo, int longSide)
{
    try {
        const std::optional<vips::VImage> loaded =
            PhotoComposer::loadImage(photo, longSide > 0 ? std::optional<int>(longSide) : std::nullopt);
        return loaded ? PhotoComposer::toQImage(*loaded) : QImage();
    } catch (const vips::VError&) {
        return {};
    }
}

bool PhotoPrintView::drawPage(QPainter& painter, int page, const QRectF& sheet, const QRectF& printable)
{
    const QImage photo = image(page);
    drawPhoto(painter, photo, sheet, printable);
    return !photo.isNull();
}

void PhotoPrintView::drawPhoto(QPainter& painter, const QImage& photo, const QRectF& sheet, const QRectF& printable)
{
    painter.fillRect(sheet, Qt::white);
    if (photo.isNull()) return;
    painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
    // The print promises no compression: the photo travels to the printer without a JPEG pass.
    painter.setRenderHint(QPainter::LosslessImageRendering, true);
    painter.drawImage(PhotoPrinter::fittedRect(QSizeF(photo.size()), printable), photo);
}

} // namespace tavrin
