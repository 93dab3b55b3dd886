#pragma once

// Printing ordered photos at full resolution, one photo per sheet: the job's settings from the
// panel's QPrinter, and its pages sent to a CUPS queue or written to a PDF file.

#include "printing/PrintCaption.h"
#include "printing/PrintPaperFormat.h"
#include "printing/PrinterMedia.h"

#include <QRectF>
#include <QSize>
#include <QStringList>

#include <atomic>
#include <functional>
#include <optional>

class QPrinter;

namespace tavrin::PhotoPrinter {

// Width and height of the photo as it is shown (its orientation applied), read from the file's
// header without decoding it.
std::optional<QSize> pixelSize(const QString& path);

// The files that are photos, in the given order; the others are never printed.
QStringList photosOf(const QStringList& files);

// "IMG_0042" for one photo, "Tavrin — 3 photos" for several.
QString jobTitle(const QStringList& photos);

// The image scaled to fit the rectangle with its aspect kept, centred in it.
QRectF fittedRect(QSizeF image, const QRectF& rect);

// Where photos are drawn on the sheet (points): the printer's imageable area when it is a real
// one (over 10 points and at least 1.5 points away from the paper's edges), else the whole paper.
QRectF printableRect(const QRectF& paper, const QRectF& imageable);

// Prepares the printer for the photos: remembered settings, the page range, the job title and,
// with a paper, no margins, that paper and the orientation of the first photo.
void configure(QPrinter& printer, const QStringList& photos, std::optional<PrintPaperFormat> paper);

// The pages of a job of `total` photos that the printer's range asks for (0-based, in order): all,
// or those of its page ranges ("1,3-5").
QList<int> pagesToPrint(const QPrinter& printer, int total);

struct RenderProgress {
    // Called after each page with the pages done and the pages in the job.
    std::function<void(int done, int total)> pageDone;
    // Photos that could not be read: their pages stay blank.
    std::function<void(const QString& photo)> unreadable;
    // Called once the photo is on its page in the job (not for an unreadable one).
    std::function<void(const QString& photo)> printed;
    // Checked before each page.
    const std::atomic<bool>* cancel = nullptr;
    // The queue's job exists and has its first page (CUPS job id).
    std::function<void(int job)> submitted;
};

// Paper and printable area of the printer's page layout, in points, its orientation applied.
struct Layout {
    QSizeF paper;
    QRectF printable;
};
Layout layoutOf(const QPrinter& printer);

struct JobResult {
    // False when cancelled: the pages made before it end the job and are printed.
    bool completed = true;
    // The CUPS job, 0 for a file.
    int job = 0;
    // The photos whose pages the queue (or the file) has taken.
    QStringList taken;
    // The photos of each page of the job, in order (an unreadable one's place is blank).
    QList<QStringList> pages;
};

// A size of the printer's own chosen for the job: its sheets laid out as the driver describes
// them, two photos of an order on a sheet that the printer cuts in two.
struct MediaChoice {
    // The queue whose size it is; another queue chosen in the panel prints as without it.
    QString printer;
    PrinterMedia media;
    // The driver's cut option, asked for with sheets of several prints.
    QPair<QByteArray, QByteArray> cut;
};

// The captions of a job: their style and each photo's text (a photo without one has none).
struct Captions {
    CaptionStyle style;
    QHash<QString, QString> texts;

    QStringList of(const QStringList& photos) const;
};

// Prints the pages of the printer's range: into its output file, or streamed to its CUPS queue
// as one job that the queue has from its first page on, the next photo read or decoded while the
// current page is sent. JPEG photos go on their pages as their own bytes. Safe off the main
// thread; throws tavrin::Error (in French) when the file cannot be written or the queue refuses.
// With `media`, pages are the printer's own size with the driver's options.
JobResult printJob(const QPrinter& printer, const QStringList& photos, const RenderProgress& progress = {},
                   const std::optional<MediaChoice>& media = std::nullopt, const Captions& captions = {});

// Prepares the printer for the photos on a size of the printer's own (no margins, the size's
// paper, the orientation of the first photo for single prints, portrait for a cut sheet).
void configure(QPrinter& printer, const QStringList& photos, const MediaChoice& media);

// Draws the pages of the printer's range with Qt's painter (the preview's pages), the next photo
// decoded while the current one is drawn; safe off the main thread. With `previewLongSide`,
// photos are reduced to that long side first (for a preview on screen). False when cancelled.
// Throws tavrin::Error when the printer cannot start.
bool render(QPrinter& printer, const QStringList& photos, const RenderProgress& progress = {}, int previewLongSide = 0,
            const Captions& captions = {});
// The same for a size of the printer's own: a cut sheet shows its photos in their halves.
bool renderSheets(QPrinter& printer, const QStringList& photos, const MediaChoice& media, int previewLongSide, const Captions& captions = {});

// Whoever keeps delivered marks registers here; printed photos are handed to it after a job.
void setDeliveredMarker(std::function<void(const QStringList& photos)> mark);
void markPrinted(const QStringList& photos);

} // namespace tavrin::PhotoPrinter
