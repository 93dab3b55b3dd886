#include "printing/PhotoPrinter.h"

#include "base/Error.h"
#include "editing/PhotoComposer.h"
#include "organizer/PhotoFile.h"
#include "printing/PhotoPages.h"
#include "printing/PhotoPrintView.h"
#include "printing/PrintInfoMemory.h"
#include "printing/PrintQueue.h"

#include <QFile>
#include <QPageSize>
#include <QFileInfo>
#include <QMutex>
#include <QPageRanges>
#include <QFont>
#include <QFontMetricsF>
#include <QPainter>
#include <QPrinter>
#include <QThread>

#include <algorithm>
#include <cmath>
#include <deque>
#include <future>

namespace tavrin::PhotoPrinter {

std::optional<QSize> pixelSize(const QString& path)
{
    PhotoComposer::ensureVips();
    try {
        // Opening reads the header only; pixels are decoded on demand, and none are asked for.
        const vips::VImage image = vips::VImage::new_from_file(QFile::encodeName(path).constData(),
                                                               vips::VImage::option()->set("access", "sequential"));
        QSize size(image.width(), image.height());
        // A camera file turned by its orientation tag prints as it is shown.
        if (image.get_typeof(VIPS_META_ORIENTATION) != 0) {
            const int orientation = image.get_int(VIPS_META_ORIENTATION);
            if (orientation >= 5 && orientation <= 8) size.transpose();
        }
        return size;
    } catch (const vips::VError&) {
        return std::nullopt;
    }
}

QStringList photosOf(const QStringList& files)
{
    QStringList photos;
    for (const QString& file : files)
        if (PhotoFile::isPhoto(file)) photos.push_back(file);
    return photos;
}

QString jobTitle(const QStringList& photos)
{
    if (photos.size() == 1) return QFileInfo(photos.first()).completeBaseName();
    return QStringLiteral("Tavrin — %1 photos").arg(photos.size());
}

QRectF fittedRect(QSizeF image, const QRectF& rect)
{
    if (image.width() <= 0 || image.height() <= 0) return {rect.center(), QSizeF(0, 0)};
    const double scale = std::min(rect.width() / image.width(), rect.height() / image.height());
    const QSizeF size(image.width() * scale, image.height() * scale);
    return {QPointF(rect.center().x() - size.width() / 2, rect.center().y() - size.height() / 2), size};
}

QRectF printableRect(const QRectF& paper, const QRectF& imageable)
{
    const bool large = imageable.width() > 10 && imageable.height() > 10;
    const bool differs = std::abs(imageable.width() - paper.width()) >= 1.5 || std::abs(imageable.height() - paper.height()) >= 1.5
        || std::abs(imageable.x() - paper.x()) >= 1.5 || std::abs(imageable.y() - paper.y()) >= 1.5;
    return large && differs ? imageable : paper;
}

void configure(QPrinter& printer, const QStringList& photos, std::optional<PrintPaperFormat> paper)
{
    PrintInfoMemory::restoreSharedIfNeeded();
    PrintInfoMemory::shared().applyTo(printer);
    printer.setDocName(jobTitle(photos));
    printer.setPrintRange(QPrinter::AllPages);
    // Pages are laid out from the sheet's corner; the printable area is worked out per job.
    printer.setFullPage(true);
    if (paper) {
        const std::optional<QSize> first = photos.isEmpty() ? std::nullopt : pixelSize(photos.first());
        const bool landscape = first && first->width() > first->height();
        printer.setPageSize(pageSize(*paper));
        printer.setPageOrientation(landscape ? QPageLayout::Landscape : QPageLayout::Portrait);
        printer.setPageMargins(QMarginsF(0, 0, 0, 0), QPageLayout::Point);
    }
}

QList<int> pagesToPrint(const QPrinter& printer, int total)
{
    const QPageRanges ranges = printer.pageRanges();
    const bool chosen = printer.printRange() == QPrinter::PageRange && !ranges.isEmpty();
    QList<int> pages;
    for (int page = 1; page <= total; ++page)
        if (!chosen || ranges.contains(page)) pages.push_back(page - 1);
    return pages;
}

Layout layoutOf(const QPrinter& printer)
{
    const QPageLayout layout = printer.pageLayout();
    const QRectF sheet(QPointF(0, 0), layout.fullRect(QPageLayout::Point).size());
    // The printer's hardware margins, or the user's own when larger.
    const QMarginsF hardware = layout.minimumMargins(), chosen = layout.margins(QPageLayout::Point);
    const QMarginsF margins(std::max(hardware.left(), chosen.left()), std::max(hardware.top(), chosen.top()),
                            std::max(hardware.right(), chosen.right()), std::max(hardware.bottom(), chosen.bottom()));
    return {sheet.size(), printableRect(sheet, sheet.marginsRemoved(margins))};
}

namespace {

// The paper as the queue names it, so that the printer takes the matching media.
QByteArray mediaOf(const QPrinter& printer)
{
    const QPageSize size = printer.pageLayout().pageSize();
    if (size.id() != QPageSize::Custom) return size.key().toUtf8();
    const QSizeF mm = size.size(QPageSize::Millimeter);
    return QStringLiteral("Custom.%1x%2mm").arg(qRound(mm.width())).arg(qRound(mm.height())).toUtf8();
}

} // namespace

namespace {

// The sheet of a size of the printer's own, turned with the page for a single print.
PhotoPages::Sheet mediaSheet(const PrinterMedia& media, bool landscape)
{
    if (!landscape || media.prints > 1) return {media.paper, media.printable};
    const QRectF p = media.printable;
    return {media.paper.transposed(), QRectF(p.y(), media.paper.width() - p.right(), p.height(), p.width())};
}

} // namespace

void configure(QPrinter& printer, const QStringList& photos, const MediaChoice& media)
{
    configure(printer, photos, std::nullopt);
    // Choosing a queue makes Qt list the system's printers, network ones included: only once.
    if (!media.printer.isEmpty() && printer.outputFileName().isEmpty() && printer.printerName() != media.printer)
        printer.setPrinterName(media.printer);
    const std::optional<QSize> first = photos.isEmpty() ? std::nullopt : pixelSize(photos.first());
    const bool landscape = media.media.prints == 1 && first && first->width() > first->height();
    printer.setPageSize(QPageSize(media.media.paper, QPageSize::Point, media.media.title(), QPageSize::ExactMatch));
    printer.setPageOrientation(landscape ? QPageLayout::Landscape : QPageLayout::Portrait);
    printer.setPageMargins(QMarginsF(0, 0, 0, 0), QPageLayout::Point);
}

QStringList Captions::of(const QStringList& photos) const
{
    QStringList out;
    for (const QString& photo : photos) out << (style.shown ? texts.value(photo) : QString());
    return out;
}

JobResult printJob(const QPrinter& printer, const QStringList& photos, const RenderProgress& progress, const std::optional<MediaChoice>& media,
                   const Captions& captions)
{
    JobResult result;
    const QString file = printer.outputFileName();
    // A size of another queue than the one printing is not this printer's.
    const MediaChoice* own = media && (!file.isEmpty() || media->printer == printer.printerName()) ? &*media : nullptr;
    const QList<QStringList> sheets = PrinterMedias::sheetsOf(photos, own ? own->media.prints : 1);
    const QList<int> pages = pagesToPrint(printer, int(sheets.size()));
    if (pages.isEmpty()) return result;
    const Layout layout = layoutOf(printer);
    const PhotoPages::Sheet sheet = own ? mediaSheet(own->media, printer.pageLayout().orientation() == QPageLayout::Landscape)
                                        : PhotoPages::Sheet{layout.paper, layout.printable};
    const QList<QRectF> cells = own && own->media.prints > 1 ? own->media.cells() : QList<QRectF>{sheet.printable};

    QFile output(file);
    std::unique_ptr<PrintQueue::Job> job;
    if (!file.isEmpty()) {
        if (!output.open(QIODevice::WriteOnly | QIODevice::Truncate)) throw Error(QStringLiteral("Impossible d’écrire « %1 ».").arg(file));
    } else {
        if (printer.printerName().isEmpty()) throw Error(QStringLiteral("L’impression n’a pas pu commencer : aucune imprimante n’est installée."));
        QList<QPair<QByteArray, QByteArray>> options;
        if (own) {
            options.push_back({"PageSize", own->media.name});
            if (own->media.prints > 1 && !own->cut.first.isEmpty()) options.push_back(own->cut);
        } else {
            options.push_back({"media", mediaOf(printer)});
        }
        if (printer.copyCount() > 1) {
            options.push_back({"copies", QByteArray::number(printer.copyCount())});
            options.push_back({"collate", printer.collateCopies() ? "true" : "false"});
        }
        job = std::make_unique<PrintQueue::Job>(printer.printerName(), printer.docName(), options);
    }
    std::unique_ptr<PhotoPages::PdfWriter> writer;
    const auto failed = [&] {
        if (job) throw Error(QStringLiteral("L’envoi à l’imprimante « %1 » a été interrompu.").arg(printer.printerName()));
        throw Error(QStringLiteral("Impossible d’écrire « %1 ».").arg(file));
    };

    // The next sheet's photos are read (or decoded) while the current page goes out: two sheets in
    // memory at most, and the reader and the sender each keep a core busy.
    const auto load = [&](int page) {
        return std::async(std::launch::async, [sheetPhotos = sheets[page]] {
            QList<PhotoPages::Content> contents;
            for (const QString& photo : sheetPhotos) contents << PhotoPages::load(photo);
            return contents;
        });
    };
    std::future<QList<PhotoPages::Content>> next = load(pages[0]);
    QStringList written;
    const int count = int(pages.size());
    for (int i = 0; i < count; ++i) {
        if (progress.cancel && progress.cancel->load()) {
            result.completed = false;
            next.wait();
            break;
        }
        QList<PhotoPages::Content> contents = next.get();
        if (i + 1 < count) next = load(pages[i + 1]);
        if (!writer) {
            // The queue has the job from its first page on.
            if (job) {
                job->begin();
                result.job = job->id();
                if (progress.submitted) progress.submitted(job->id());
            }
            writer = std::make_unique<PhotoPages::PdfWriter>([&](const char* data, size_t size) {
                return job ? job->write(data, size) : output.write(data, qint64(size)) == qint64(size);
            }, printer.docName());
        }
        if (!writer->addSheet(contents, sheet, cells, cells.size() > 1, captions.of(sheets[pages[i]]), captions.style)) {
            if (i + 1 < count) next.wait();
            failed();
        }
        const QStringList& sheetPhotos = sheets[pages[i]];
        result.pages << sheetPhotos;
        for (qsizetype k = 0; k < sheetPhotos.size(); ++k) {
            if (contents[k].readable()) written << sheetPhotos[k];
            else if (progress.unreadable) progress.unreadable(sheetPhotos[k]);
        }
        contents = {};
        if (progress.pageDone) progress.pageDone(i + 1, count);
    }
    if (!writer) return result;
    if (!writer->finish()) failed();
    if (job) job->finish();
    else if (!output.flush()) failed();
    result.taken = written;
    if (progress.printed)
        for (const QString& photo : written) progress.printed(photo);
    return result;
}

namespace {

// The caption as the preview shows it, in the painter's units (`placement` and its points in
// them too): the same place and size as on the printed page.
void paintCaption(QPainter& painter, const QString& text, const PrintCaption::Placement& placement)
{
    if (text.isEmpty() || placement.band.isEmpty()) return;
    // Fonts take whole pixel sizes: drawn in tenths of the unit.
    constexpr double k = 10;
    painter.save();
    painter.scale(1 / k, 1 / k);
    const QRectF band(placement.band.topLeft() * k, placement.band.size() * k);
    if (placement.onPhoto) painter.fillRect(band, QColor(255, 255, 255, 191));
    QFont font(QStringLiteral("Sans Serif"));
    double size = placement.points * k;
    font.setPixelSize(std::max(1, qRound(size)));
    const double room = band.width() - 2 * size * 0.4, width = QFontMetricsF(font).horizontalAdvance(text);
    if (width > room && width > 0) font.setPixelSize(std::max(1, qRound(size * room / width)));
    painter.setFont(font);
    painter.setPen(QColor(26, 26, 26));
    painter.drawText(band, Qt::AlignCenter | Qt::TextSingleLine, text);
    painter.restore();
}

PrintCaption::Placement scaled(PrintCaption::Placement p, double scale)
{
    const auto device = [scale](const QRectF& r) { return QRectF(r.topLeft() * scale, r.size() * scale); };
    p.photo = device(p.photo);
    p.band = device(p.band);
    p.points *= scale;
    return p;
}

} // namespace

bool render(QPrinter& printer, const QStringList& photos, const RenderProgress& progress, int previewLongSide, const Captions& captions)
{
    const QList<int> pages = pagesToPrint(printer, int(photos.size()));
    if (pages.isEmpty()) return true;

    QPainter painter;
    if (!painter.begin(&printer)) {
        if (!printer.outputFileName().isEmpty())
            throw Error(QStringLiteral("Impossible d’écrire « %1 ».").arg(printer.outputFileName()));
        if (printer.printerName().isEmpty()) throw Error(QStringLiteral("L’impression n’a pas pu commencer : aucune imprimante n’est installée."));
        throw Error(QStringLiteral("L’impression n’a pas pu commencer : l’imprimante « %1 » ne répond pas.").arg(printer.printerName()));
    }
    const Layout layout = layoutOf(printer);
    const QRectF sheet(QPointF(0, 0), layout.paper), printable = layout.printable;
    const double scale = printer.resolution() / 72.0;
    const auto device = [scale](const QRectF& r) { return QRectF(r.x() * scale, r.y() * scale, r.width() * scale, r.height() * scale); };

    // The next photo is decoded while the current one is written to the printer: two photos in
    // memory at most, and the decoder and the writer each keep a core busy. A preview's small
    // photos are decoded on every core, as its pages are all drawn before it shows.
    const auto decode = [&](int page) {
        return std::async(std::launch::async, [photo = photos[page], previewLongSide] { return PhotoPrintView::decode(photo, previewLongSide); });
    };
    const int ahead = previewLongSide > 0 ? std::max(1, QThread::idealThreadCount()) : 1;
    std::deque<std::future<QImage>> decoding;
    int queued = 0;
    const auto fill = [&] {
        while (queued < int(pages.size()) && int(decoding.size()) < ahead) decoding.push_back(decode(pages[queued++]));
    };
    const int count = int(pages.size());
    for (int i = 0; i < count; ++i) {
        if (progress.cancel && progress.cancel->load()) {
            printer.abort();
            painter.end();
            return false;
        }
        const int page = pages[i];
        fill();
        QImage photo = decoding.front().get();
        decoding.pop_front();
        fill();
        if (i > 0) printer.newPage();
        PhotoPrintView::drawPhoto(painter, photo, device(sheet), device(printable));
        if (!photo.isNull() && captions.style.shown)
            paintCaption(painter, captions.texts.value(photos[page]), scaled(PrintCaption::place(QSizeF(photo.size()), printable, captions.style), scale));
        if (photo.isNull()) {
            if (progress.unreadable) progress.unreadable(photos[page]);
        } else if (progress.printed) {
            progress.printed(photos[page]);
        }
        photo = {};
        if (progress.pageDone) progress.pageDone(i + 1, count);
    }
    painter.end();
    return true;
}

bool renderSheets(QPrinter& printer, const QStringList& photos, const MediaChoice& media, int previewLongSide, const Captions& captions)
{
    if (media.media.prints <= 1 || media.printer != printer.printerName()) return render(printer, photos, RenderProgress{}, previewLongSide, captions);
    const QList<QStringList> sheets = PrinterMedias::sheetsOf(photos, media.media.prints);
    const QList<int> pages = pagesToPrint(printer, int(sheets.size()));
    if (pages.isEmpty()) return true;
    QPainter painter;
    if (!painter.begin(&printer)) throw Error(QStringLiteral("L’impression n’a pas pu commencer : l’imprimante « %1 » ne répond pas.").arg(printer.printerName()));
    const double scale = printer.resolution() / 72.0;
    painter.scale(scale, scale);
    const QList<QRectF> cells = media.media.cells();
    for (int i = 0; i < int(pages.size()); ++i) {
        if (i > 0) printer.newPage();
        painter.fillRect(QRectF(QPointF(0, 0), media.media.paper), Qt::white);
        const QStringList& sheet = sheets[pages[i]];
        for (qsizetype k = 0; k < sheet.size() && k < cells.size(); ++k) {
            const QImage photo = PhotoPrintView::decode(sheet[k], previewLongSide);
            if (photo.isNull()) continue;
            const QRectF& cell = cells[k];
            const bool turn = (photo.width() > photo.height()) != (cell.width() > cell.height()) && photo.width() != photo.height();
            // In the photo's upright frame, as the printed page lays it out.
            painter.save();
            painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
            painter.translate(cell.center());
            if (turn) painter.rotate(90);
            const QSizeF frame = turn ? cell.size().transposed() : cell.size();
            const PrintCaption::Placement placement =
                PrintCaption::place(QSizeF(photo.size()), QRectF(QPointF(-frame.width() / 2, -frame.height() / 2), frame), captions.style);
            painter.drawImage(placement.photo, photo);
            if (captions.style.shown) paintCaption(painter, captions.texts.value(sheet[k]), placement);
            painter.restore();
        }
    }
    painter.end();
    return true;
}

namespace {
QMutex markerMutex;
std::function<void(const QStringList&)>& marker()
{
    static std::function<void(const QStringList&)> instance;
    return instance;
}
} // namespace

void setDeliveredMarker(std::function<void(const QStringList&)> mark)
{
    const QMutexLocker lock(&markerMutex);
    marker() = std::move(mark);
}

void markPrinted(const QStringList& photos)
{
    std::function<void(const QStringList&)> mark;
    {
        const QMutexLocker lock(&markerMutex);
        mark = marker();
    }
    if (mark) mark(photos);
}

} // namespace tavrin::PhotoPrinter
