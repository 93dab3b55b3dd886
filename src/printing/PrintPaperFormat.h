#pragma once

// The photo papers offered for printing, in menu order.

#include <QPageSize>
#include <QSizeF>
#include <QString>

#include <array>
#include <optional>

namespace tavrin {

enum class PrintPaperFormat { a5, a4, photo10x15, photo13x18, photo15x21 };

inline constexpr std::array<PrintPaperFormat, 5> allPrintPaperFormats{
    PrintPaperFormat::a5, PrintPaperFormat::a4, PrintPaperFormat::photo10x15, PrintPaperFormat::photo13x18,
    PrintPaperFormat::photo15x21};

QString rawValue(PrintPaperFormat format);
std::optional<PrintPaperFormat> printPaperFormatFromRaw(const QString& raw);
// "A5", "10 × 15 cm", …
QString menuTitle(PrintPaperFormat format);
// The portrait paper in points (72 per inch).
QSizeF paperSizeInPoints(PrintPaperFormat format);
// The paper as the print system knows it, so that the printer picks the matching tray or media.
QPageSize pageSize(PrintPaperFormat format);

} // namespace tavrin
