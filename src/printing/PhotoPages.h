#pragma once

// The pages of a print job as PDF, written by cairo: a JPEG photo's page carries the file's own
// bytes (the printer decodes what the camera wrote, nothing is recompressed), any other photo its
// decoded full-resolution pixels, compressed losslessly.

#include "printing/PrintCaption.h"

#include <QByteArray>
#include <QList>
#include <QRectF>
#include <QSize>
#include <QString>

#include <functional>
#include <memory>

namespace tavrin::PhotoPages {

// What one page shows of its photo, read or decoded off the main thread before the page is drawn.
struct Content {
    // The JPEG file as it is, with the EXIF orientation it is shown with (1 to 8) and the pixel
    // size it is stored at.
    QByteArray jpeg;
    int orientation = 1;
    QSize stored;
    // Otherwise the upright pixels, 8-bit blue, green, red, unused (cairo's own layout), rows
    // without padding.
    std::shared_ptr<unsigned char> pixels;
    QSize pixelSize;

    bool readable() const { return !jpeg.isEmpty() || pixels; }
    // The size the photo is shown at, its orientation applied.
    QSize shown() const;
};

// Reads a photo for its page; an unreadable one gives empty content (its page stays blank).
Content load(const QString& photo);

// The pixel size of a JPEG stream as its frame header gives it; empty when it has none (such bytes
// cannot be placed as they are).
QSize jpegFrameSize(const QByteArray& jpeg);

// Whether a JPEG stream is whole: its scans end, their restart markers come in order, and it
// ends where JPEG streams end. Checked without decoding (a camera's file of 24 MP in a few ms).
bool jpegIntact(const QByteArray& jpeg);

// Paper and the area photos are fitted in, in points, top-left origin.
struct Sheet {
    QSizeF paper;
    QRectF printable;
};

// One PDF document written page by page to `sink`, each page as soon as it is done.
class PdfWriter {
public:
    // Returns false when the bytes could not be written (the document then fails).
    using Sink = std::function<bool(const char* data, size_t size)>;
    PdfWriter(Sink sink, const QString& title);
    ~PdfWriter();
    PdfWriter(const PdfWriter&) = delete;
    PdfWriter& operator=(const PdfWriter&) = delete;

    // A white sheet with the photo fitted and centred in the printable area, nothing on it for
    // unreadable content; its caption as the style places it. False once writing has failed.
    bool addPage(const Content& content, const Sheet& sheet, const QString& caption = {}, const CaptionStyle& style = {});
    // A sheet of several prints: each photo fitted and centred in its cell, turned a quarter
    // with `turnToFit` when the cell lies the other way, with its caption (by index).
    bool addSheet(const QList<Content>& contents, const Sheet& sheet, const QList<QRectF>& cells, bool turnToFit,
                  const QStringList& captions = {}, const CaptionStyle& style = {});
    // Ends the document (cross-reference and trailer); false when anything failed.
    bool finish();
    int pages() const { return m_pages; }

private:
    struct State;
    std::unique_ptr<State> m_state;
    int m_pages = 0;
};

} // namespace tavrin::PhotoPages
