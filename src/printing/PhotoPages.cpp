#include "printing/PhotoPages.h"

#include "editing/PhotoComposer.h"
#include "printing/PhotoPrinter.h"

#include <QFile>

#include <cmath>
#include <cstring>

#include <cairo-pdf.h>
#include <cairo.h>
#include <glib.h>

namespace tavrin::PhotoPages {

namespace {

bool isJpeg(const QByteArray& bytes) { return bytes.size() >= 2 && uchar(bytes[0]) == 0xFF && uchar(bytes[1]) == 0xD8; }

// Raw stored pixel (u, v in 0..1) to the shown photo (s, t in 0..1), as the EXIF orientation says:
// s = a·u + b·v + c, t = d·u + e·v + f.
struct Turn {
    double a, b, c, d, e, f;
};
Turn turnOf(int orientation)
{
    switch (orientation) {
    case 2: return {-1, 0, 1, 0, 1, 0};  // mirrored
    case 3: return {-1, 0, 1, 0, -1, 1}; // upside down
    case 4: return {1, 0, 0, 0, -1, 1};  // mirrored upside down
    case 5: return {0, 1, 0, 1, 0, 0};   // transposed
    case 6: return {0, -1, 1, 1, 0, 0};  // turned a quarter clockwise
    case 7: return {0, -1, 1, -1, 0, 1}; // transversed
    case 8: return {0, 1, 0, -1, 0, 1};  // turned a quarter anticlockwise
    default: return {1, 0, 0, 0, 1, 0};
    }
}

Content decoded(const QString& photo)
{
    Content content;
    try {
        // Decoded as the pixels are copied out, without a whole decoded copy in between, unless
        // the photo has to be turned (which reads it out of order).
        const vips::VSource source = vips::VSource::new_from_file(QFile::encodeName(photo).constData());
        vips::VImage image = vips::VImage::new_from_source(source, "", vips::VImage::option()->set("access", "sequential"));
        const bool turned = image.get_typeof(VIPS_META_ORIENTATION) != 0 && image.get_int(VIPS_META_ORIENTATION) > 1;
        if (turned) {
            const std::optional<vips::VImage> loaded = PhotoComposer::loadImage(photo);
            if (!loaded) return content;
            image = *loaded;
        }
        if (image.interpretation() != VIPS_INTERPRETATION_sRGB && image.interpretation() != VIPS_INTERPRETATION_B_W)
            image = image.colourspace(VIPS_INTERPRETATION_sRGB);
        // Paper is white: a transparent photo is printed over white.
        if (image.has_alpha()) image = image.flatten(vips::VImage::option()->set("background", std::vector<double>{255, 255, 255}));
        if (image.format() != VIPS_FORMAT_UCHAR) image = image.cast(VIPS_FORMAT_UCHAR);
        if (image.bands() == 1) image = vips::VImage::bandjoin({image, image, image});
        const vips::VImage bgrx = vips::VImage::bandjoin({image.extract_band(2), image.extract_band(1), image.extract_band(0)}).bandjoin_const({255});
        size_t length = 0;
        auto* pixels = static_cast<unsigned char*>(bgrx.write_to_memory(&length));
        if (!pixels) return content;
        content.pixels = std::shared_ptr<unsigned char>(pixels, [](unsigned char* p) { g_free(p); });
        content.pixelSize = QSize(bgrx.width(), bgrx.height());
    } catch (const vips::VError&) {
        return {};
    }
    return content;
}

} // namespace

QSize Content::shown() const
{
    if (!jpeg.isEmpty()) return orientation >= 5 && orientation <= 8 ? stored.transposed() : stored;
    return pixelSize;
}

QSize jpegFrameSize(const QByteArray& jpeg)
{
    const auto* bytes = reinterpret_cast<const uchar*>(jpeg.constData());
    const qsizetype size = jpeg.size();
    qsizetype at = 2;
    while (at + 4 <= size) {
        if (bytes[at] != 0xFF) return {};
        const uchar marker = bytes[at + 1];
        if (marker == 0xFF) { // fill byte
            ++at;
            continue;
        }
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) {
            at += 2;
            continue;
        }
        if (marker == 0xD9 || marker == 0xDA) return {}; // image data before any frame header
        const int length = (bytes[at + 2] << 8) | bytes[at + 3];
        const bool frame = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (frame) {
            if (at + 9 > size) return {};
            const int height = (bytes[at + 5] << 8) | bytes[at + 6], width = (bytes[at + 7] << 8) | bytes[at + 8];
            return width > 0 && height > 0 ? QSize(width, height) : QSize();
        }
        at += 2 + length;
    }
    return {};
}

bool jpegIntact(const QByteArray& jpeg)
{
    const auto* bytes = reinterpret_cast<const uchar*>(jpeg.constData());
    const qsizetype size = jpeg.size();
    if (size < 4 || bytes[0] != 0xFF || bytes[1] != 0xD8) return false;
    qsizetype at = 2;
    bool scanned = false;
    for (;;) {
        if (at + 2 > size || bytes[at] != 0xFF) return false;
        uchar marker = bytes[at + 1];
        if (marker == 0xFF) {
            ++at;
            continue;
        }
        if (marker == 0xD9) return scanned;
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) return false; // outside a scan
        if (at + 4 > size) return false;
        const qsizetype segment = (bytes[at + 2] << 8) | bytes[at + 3];
        at += 2 + segment;
        if (at > size) return false;
        if (marker != 0xDA) continue;
        // Coded data up to the next marker: restart markers must come in their order.
        scanned = true;
        int restart = 0;
        for (;;) {
            const auto* ff = static_cast<const uchar*>(std::memchr(bytes + at, 0xFF, size_t(size - at)));
            if (!ff) return false; // cut short
            at = ff - bytes;
            if (at + 1 >= size) return false;
            const uchar next = bytes[at + 1];
            if (next == 0x00 || next == 0xFF) {
                at += next == 0x00 ? 2 : 1;
                continue;
            }
            if (next >= 0xD0 && next <= 0xD7) {
                if (next != 0xD0 + restart) return false;
                restart = (restart + 1) % 8;
                at += 2;
                continue;
            }
            break;
        }
    }
}

Content load(const QString& photo)
{
    PhotoComposer::ensureVips();
    QFile file(photo);
    if (!file.open(QIODevice::ReadOnly)) return {};
    QByteArray head = file.peek(4);
    if (isJpeg(head)) {
        Content content;
        content.jpeg = file.readAll();
        try {
            const auto* data = content.jpeg.constData();
            const size_t size = size_t(content.jpeg.size());
            const vips::VImage header = vips::VImage::new_from_buffer(data, size, "", vips::VImage::option()->set("access", "sequential"));
            content.stored = QSize(header.width(), header.height());
            if (header.get_typeof(VIPS_META_ORIENTATION) != 0) content.orientation = std::clamp(header.get_int(VIPS_META_ORIENTATION), 1, 8);
        } catch (const vips::VError&) {
            return {};
        }
        // The printer decodes the file itself: damaged image data leaves the page blank, as for
        // any photo that cannot be read.
        if (!jpegIntact(content.jpeg)) return {};
        // Bytes whose frame header cannot be found are drawn from their pixels instead.
        if (jpegFrameSize(content.jpeg) == content.stored && content.stored.isValid()) return content;
    }
    file.close();
    return decoded(photo);
}

struct PdfWriter::State {
    Sink sink;
    cairo_surface_t* surface = nullptr;
    bool failed = false;

    static cairo_status_t write(void* closure, const unsigned char* data, unsigned int length)
    {
        auto* state = static_cast<State*>(closure);
        if (state->failed || !state->sink(reinterpret_cast<const char*>(data), length)) {
            state->failed = true;
            return CAIRO_STATUS_WRITE_ERROR;
        }
        return CAIRO_STATUS_SUCCESS;
    }
};

PdfWriter::PdfWriter(Sink sink, const QString& title) : m_state(std::make_unique<State>())
{
    m_state->sink = std::move(sink);
    m_state->surface = cairo_pdf_surface_create_for_stream(&State::write, m_state.get(), 595, 842);
    cairo_pdf_surface_set_metadata(m_state->surface, CAIRO_PDF_METADATA_CREATOR, "Tavrin");
    if (!title.isEmpty()) cairo_pdf_surface_set_metadata(m_state->surface, CAIRO_PDF_METADATA_TITLE, title.toUtf8().constData());
}

PdfWriter::~PdfWriter()
{
    if (m_state->surface) cairo_surface_destroy(m_state->surface);
}

bool PdfWriter::addPage(const Content& content, const Sheet& sheet, const QString& caption, const CaptionStyle& style)
{
    return addSheet({content}, sheet, {sheet.printable}, false, {caption}, style);
}

namespace {

// Draws the photo in `r`, a rectangle of its own upright frame.
void drawPhoto(cairo_t* cr, const Content& content, QRectF r)
{
    if (!content.readable() || content.shown().isEmpty()) return;
    cairo_save(cr);
    cairo_surface_t* image = nullptr;
    cairo_matrix_t placement;
    if (!content.jpeg.isEmpty()) {
        // The pixels stay in the file's bytes: cairo writes the attached JPEG data as the page's
        // image, and the one-pixel surface stands for it at unit size.
        image = cairo_image_surface_create(CAIRO_FORMAT_RGB24, 1, 1);
        auto* bytes = new QByteArray(content.jpeg);
        cairo_surface_set_mime_data(image, CAIRO_MIME_TYPE_JPEG, reinterpret_cast<const unsigned char*>(bytes->constData()),
                                    static_cast<unsigned long>(bytes->size()), [](void* p) { delete static_cast<QByteArray*>(p); }, bytes);
        const Turn t = turnOf(content.orientation);
        cairo_matrix_init(&placement, t.a * r.width(), t.d * r.height(), t.b * r.width(), t.e * r.height(), r.x() + t.c * r.width(),
                          r.y() + t.f * r.height());
    } else {
        const QSize size = content.pixelSize;
        image = cairo_image_surface_create_for_data(content.pixels.get(), CAIRO_FORMAT_RGB24, size.width(), size.height(), size.width() * 4);
        // The pixels live as long as cairo keeps the surface.
        static cairo_user_data_key_t key;
        cairo_surface_set_user_data(image, &key, new std::shared_ptr<unsigned char>(content.pixels),
                                    [](void* p) { delete static_cast<std::shared_ptr<unsigned char>*>(p); });
        cairo_matrix_init(&placement, r.width() / size.width(), 0, 0, r.height() / size.height(), r.x(), r.y());
    }
    cairo_transform(cr, &placement);
    cairo_set_source_surface(cr, image, 0, 0);
    cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_BEST);
    cairo_paint(cr);
    cairo_restore(cr);
    // The pattern keeps the image until the page is written; this reference is no longer needed.
    cairo_surface_destroy(image);
}

// The caption in its band, on a light veil when it lies on the photo, made smaller when the line
// is longer than the band is wide.
void drawCaption(cairo_t* cr, const QString& text, const PrintCaption::Placement& placement)
{
    if (text.isEmpty() || placement.band.isEmpty()) return;
    const QByteArray utf8 = text.toUtf8();
    const QRectF band = placement.band;
    cairo_save(cr);
    if (placement.onPhoto) {
        cairo_rectangle(cr, band.x(), band.y(), band.width(), band.height());
        cairo_set_source_rgba(cr, 1, 1, 1, 0.75);
        cairo_fill(cr);
    }
    cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    double size = placement.points;
    cairo_set_font_size(cr, size);
    cairo_text_extents_t extents;
    cairo_text_extents(cr, utf8.constData(), &extents);
    const double room = band.width() - 2 * size * 0.4;
    if (extents.x_advance > room && extents.x_advance > 0) {
        size *= room / extents.x_advance;
        cairo_set_font_size(cr, size);
        cairo_text_extents(cr, utf8.constData(), &extents);
    }
    cairo_font_extents_t font;
    cairo_font_extents(cr, &font);
    const double baseline = band.center().y() + (font.ascent - font.descent) / 2;
    cairo_move_to(cr, band.center().x() - extents.x_advance / 2, baseline);
    cairo_set_source_rgb(cr, 0.1, 0.1, 0.1);
    cairo_show_text(cr, utf8.constData());
    cairo_restore(cr);
}

} // namespace

bool PdfWriter::addSheet(const QList<Content>& contents, const Sheet& sheet, const QList<QRectF>& cells, bool turnToFit,
                         const QStringList& captions, const CaptionStyle& style)
{
    if (m_state->failed || !m_state->surface) return false;
    cairo_pdf_surface_set_size(m_state->surface, sheet.paper.width(), sheet.paper.height());
    cairo_t* cr = cairo_create(m_state->surface);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_paint(cr);
    for (qsizetype i = 0; i < contents.size() && i < cells.size(); ++i) {
        const QSize shown = contents[i].shown();
        const QRectF& cell = cells[i];
        const bool turn = turnToFit && shown.width() != shown.height() && cell.width() != cell.height()
            && (shown.width() > shown.height()) != (cell.width() > cell.height());
        // Laid out in the photo's upright frame: turned with it, its caption stays under it.
        cairo_save(cr);
        QRectF frame = cell;
        if (turn) {
            cairo_translate(cr, cell.center().x(), cell.center().y());
            cairo_rotate(cr, M_PI / 2);
            frame = QRectF(-cell.height() / 2, -cell.width() / 2, cell.height(), cell.width());
        }
        const PrintCaption::Placement placement = PrintCaption::place(QSizeF(shown), frame, style);
        drawPhoto(cr, contents[i], placement.photo);
        if (contents[i].readable() && i < captions.size()) drawCaption(cr, captions[i], placement);
        cairo_restore(cr);
    }
    cairo_show_page(cr);
    cairo_destroy(cr);
    ++m_pages;
    return !m_state->failed && cairo_surface_status(m_state->surface) == CAIRO_STATUS_SUCCESS;
}

bool PdfWriter::finish()
{
    if (!m_state->surface) return false;
    cairo_surface_finish(m_state->surface);
    const bool ok = !m_state->failed && cairo_surface_status(m_state->surface) == CAIRO_STATUS_SUCCESS;
    cairo_surface_destroy(m_state->surface);
    m_state->surface = nullptr;
    return ok;
}

} // namespace tavrin::PhotoPages
