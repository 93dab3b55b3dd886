#pragma once

// The pages of a print job: one photo per page, decoded at full resolution when its page is drawn.

#include <QImage>
#include <QRectF>
#include <QStringList>

class QPainter;

namespace tavrin {

class PhotoPrintView {
public:
    explicit PhotoPrintView(QStringList photos) : m_photos(std::move(photos)) {}

    const QStringList& photos() const { return m_photos; }
    int pageCount() const { return int(m_photos.size()); }

    // Fills the sheet white and draws the page's photo fitted and centred in `printable`
    // (device coordinates). False when the photo cannot be read (the page stays blank).
    bool drawPage(QPainter& painter, int page, const QRectF& sheet, const QRectF& printable);

    // The upright full-resolution bitmap of a page. Only the last one decoded is kept, so a job of
    // any length holds one photo in memory; a null image when it cannot be read.
    QImage image(int page);
    void releaseImages();

    // The upright photo; with `longSide`, a shrink-on-load reduction whose long side is at most
    // that (the preview's pages). Null when the file cannot be read. Safe off the main thread.
    static QImage decode(const QString& photo, int longSide = 0);
    // Fills the sheet white and draws the photo fitted and centred in `printable`; nothing more
    // for a null photo.
    static void drawPhoto(QPainter& painter, const QImage& photo, const QRectF& sheet, const QRectF& printable);

private:
    QStringList m_photos;
    int m_cachedPage = -1;
    QImage m_cachedImage;
};

} // namespace tavrin
