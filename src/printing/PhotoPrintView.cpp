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
    QImage decoded;
    try {
        if (const std::optional<vips::VImage> loaded = PhotoComposer::loadImage(m_photos[page])) decoded = PhotoComposer::toQImage(*loaded);
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
