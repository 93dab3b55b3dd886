#include "showcase/ShowcasePoster.h"

#include "base/Error.h"
#include "net/QrCode.h"

#include <QFile>
#include <QFileInfo>

#include <cairo-pdf.h>
#include <cairo.h>

namespace tavrin::ShowcasePoster {

namespace {

constexpr double pageWidth = 595.28; // A4 in points
constexpr double pageHeight = 841.89;

void centred(cairo_t* cr, const QString& text, double y, double size, bool bold)
{
    cairo_select_font_face(cr, "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL, bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, size);
    const QByteArray utf8 = text.toUtf8();
    cairo_text_extents_t extents;
    cairo_text_extents(cr, utf8.constData(), &extents);
    cairo_move_to(cr, (pageWidth - extents.x_advance) / 2, y);
    cairo_show_text(cr, utf8.constData());
}

} // namespace

void write(const QString& url, const QString& pdfPath)
{
    const QrCode code = QrCode::encode(url);
    const QString folder = QFileInfo(pdfPath).absolutePath();
    if (!QFileInfo(folder).isDir()) throw Error(QStringLiteral("Le dossier « %1 » est introuvable.").arg(folder));
    // Written beside, then renamed: a half-written poster never carries the name.
    const QString partial = pdfPath + QStringLiteral(".part");
    cairo_surface_t* surface = cairo_pdf_surface_create(QFile::encodeName(partial).constData(), pageWidth, pageHeight);
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(surface);
        throw Error(QStringLiteral("L’affiche n’a pas pu être écrite dans « %1 ».").arg(pdfPath));
    }
    cairo_pdf_surface_set_metadata(surface, CAIRO_PDF_METADATA_TITLE, "Vitrine");
    cairo_t* cr = cairo_create(surface);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_paint(cr);
    cairo_set_source_rgb(cr, 0, 0, 0);
    centred(cr, QStringLiteral("Vos photos du concours"), 110, 34, true);
    centred(cr, QStringLiteral("sur votre téléphone"), 150, 24, false);

    const int modules = code.width + 2 * QrCode::quietZone;
    const double side = 400;
    const double unit = side / modules;
    const double left = (pageWidth - side) / 2;
    const double top = 190;
    for (int y = 0; y < code.width; ++y)
        for (int x = 0; x < code.width; ++x)
            if (code.dark(x, y))
                cairo_rectangle(cr, left + (x + QrCode::quietZone) * unit, top + (y + QrCode::quietZone) * unit, unit, unit);
    cairo_fill(cr);

    centred(cr, url, top + side + 40, 20, true);
    centred(cr, QStringLiteral("Scannez le code avec l’appareil photo de votre téléphone, connecté au Wi‑Fi du stand :"),
            top + side + 90, 11.5, false);
    centred(cr, QStringLiteral("cherchez le cavalier, cochez vos photos et envoyez la commande."), top + side + 108, 11.5, false);
    cairo_destroy(cr);
    cairo_surface_finish(surface);
    const bool ok = cairo_surface_status(surface) == CAIRO_STATUS_SUCCESS;
    cairo_surface_destroy(surface);
    if (!ok || (QFile::exists(pdfPath) && !QFile::remove(pdfPath)) || !QFile::rename(partial, pdfPath)) {
        QFile::remove(partial);
        throw Error(QStringLiteral("L’affiche n’a pas pu être écrite dans « %1 ».").arg(pdfPath));
    }
}

} // namespace tavrin::ShowcasePoster
