#include "sales/Receipt.h"

#include "base/Error.h"
#include "sales/Money.h"
#include "sales/SalesBook.h"

#include <QFile>
#include <QFileInfo>
#include <QLocale>

#include <cairo-pdf.h>
#include <cairo.h>

namespace tavrin::Receipt {

namespace {

constexpr double pageWidth = 419.53; // A5 in points
constexpr double pageHeight = 595.28;
constexpr double margin = 36;

void text(cairo_t* cr, const QString& line, double x, double y, double size, bool bold, bool right = false)
{
    cairo_select_font_face(cr, "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL, bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, size);
    const QByteArray utf8 = line.toUtf8();
    double left = x;
    if (right) {
        cairo_text_extents_t extents;
        cairo_text_extents(cr, utf8.constData(), &extents);
        left = x - extents.x_advance;
    }
    cairo_move_to(cr, left, y);
    cairo_show_text(cr, utf8.constData());
}

// Cuts a text to what fits in `width` at that size, with an ellipsis.
QString fitted(cairo_t* cr, QString line, double width, double size)
{
    cairo_select_font_face(cr, "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, size);
    const auto wide = [&](const QString& t) {
        cairo_text_extents_t e;
        cairo_text_extents(cr, t.toUtf8().constData(), &e);
        return e.x_advance;
    };
    if (wide(line) <= width) return line;
    while (!line.isEmpty() && wide(line + u'…') > width) line.chop(1);
    return line + u'…';
}

} // namespace

QString defaultPath(const QString& orderFolder) { return orderFolder + QStringLiteral("/Reçu.pdf"); }

void write(const Stand& stand, const QString& orderName, const Bill& bill, const Payment& payment, const QString& pdfPath)
{
    const QString folder = QFileInfo(pdfPath).absolutePath();
    if (!QFileInfo(folder).isDir()) throw Error(QStringLiteral("Le dossier « %1 » est introuvable.").arg(folder));
    const QString failed = QStringLiteral("Le reçu n’a pas pu être écrit dans « %1 ».").arg(pdfPath);
    // Written beside, then renamed: a half-written receipt never carries the name.
    const QString partial = pdfPath + QStringLiteral(".part");
    cairo_surface_t* surface = cairo_pdf_surface_create(QFile::encodeName(partial).constData(), pageWidth, pageHeight);
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(surface);
        throw Error(failed);
    }
    cairo_pdf_surface_set_metadata(surface, CAIRO_PDF_METADATA_TITLE, "Reçu");
    cairo_t* cr = cairo_create(surface);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_paint(cr);
    cairo_set_source_rgb(cr, 0, 0, 0);

    const double right = pageWidth - margin;
    const double width = right - margin;
    double y = margin + 18;
    text(cr, fitted(cr, stand.name.isEmpty() ? QStringLiteral("Reçu") : stand.name, width, 18), margin, y, 18, true);
    for (const QString& line : stand.address.split(u'\n', Qt::SkipEmptyParts)) {
        y += 15;
        text(cr, fitted(cr, line.trimmed(), width, 10.5), margin, y, 10.5, false);
    }
    y += 36;
    text(cr, QStringLiteral("Reçu"), margin, y, 15, true);
    const QDateTime at = payment.at.isValid() ? payment.at : QDateTime::currentDateTime();
    text(cr, QLocale(QLocale::French).toString(at, QStringLiteral("d MMMM yyyy, HH:mm")), right, y, 10.5, false, true);
    y += 20;
    text(cr, fitted(cr, QStringLiteral("Commande : ") + orderName, width, 10.5), margin, y, 10.5, false);

    y += 28;
    cairo_set_line_width(cr, 0.8);
    cairo_move_to(cr, margin, y - 12);
    cairo_line_to(cr, right, y - 12);
    cairo_stroke(cr);
    const double amountWidth = 80;
    for (const BillLine& line : bill.lines) {
        if (y > pageHeight - 120) break; // one page: an order this long is summed up by its total
        text(cr, fitted(cr, line.section + QStringLiteral(" (") + QString::number(line.count) + QStringLiteral(")"), width - amountWidth, 11),
             margin, y, 11, true);
        text(cr, line.priced ? Money::text(line.cents) : QStringLiteral("sans tarif"), right, y, 11, false, true);
        if (line.priced && !line.detail.isEmpty()) {
            y += 14;
            text(cr, fitted(cr, line.detail, width - amountWidth, 9), margin + 10, y, 9, false);
        }
        y += 22;
    }
    cairo_move_to(cr, margin, y - 12);
    cairo_line_to(cr, right, y - 12);
    cairo_stroke(cr);
    y += 8;
    text(cr, QStringLiteral("Total"), margin, y, 14, true);
    text(cr, Money::text(payment.cents), right, y, 14, true, true);
    y += 22;
    text(cr, paymentStateText(payment), margin, y, 11, false);
    if (bill.total > payment.cents) {
        y += 16;
        text(cr, QStringLiteral("Reste à payer : ") + Money::text(bill.total - payment.cents), margin, y, 11, false);
    }
    text(cr, QStringLiteral("Merci !"), margin, pageHeight - margin, 11, false);

    cairo_destroy(cr);
    cairo_surface_finish(surface);
    const bool ok = cairo_surface_status(surface) == CAIRO_STATUS_SUCCESS;
    cairo_surface_destroy(surface);
    if (!ok || (QFile::exists(pdfPath) && !QFile::remove(pdfPath)) || !QFile::rename(partial, pdfPath)) {
        QFile::remove(partial);
        throw Error(failed);
    }
}

} // namespace tavrin::Receipt
