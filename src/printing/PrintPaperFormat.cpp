#include "printing/PrintPaperFormat.h"

namespace tavrin {

namespace {

struct Paper {
    const char* raw;
    const char* title;
    double widthPoints;
    double heightMillimetres;
};

const Paper& paper(PrintPaperFormat format)
{
    // Widths are kept in points, heights in millimetres, as the papers are specified.
    static const std::array<Paper, 5> papers{{
        {"a5", "A5", 419.5276, 210},
        {"a4", "A4", 595.2756, 297},
        {"photo10x15", "10 × 15 cm", 283.4646, 150},
        {"photo13x18", "13 × 18 cm", 368.5039, 180},
        {"photo15x21", "15 × 21 cm", 425.1969, 210},
    }};
    return papers[std::size_t(format)];
}

} // namespace

QString rawValue(PrintPaperFormat format) { return QString::fromLatin1(paper(format).raw); }

std::optional<PrintPaperFormat> printPaperFormatFromRaw(const QString& raw)
{
    for (const PrintPaperFormat format : allPrintPaperFormats)
        if (raw == rawValue(format)) return format;
    return std::nullopt;
}

QString menuTitle(PrintPaperFormat format) { return QString::fromUtf8(paper(format).title); }

QSizeF paperSizeInPoints(PrintPaperFormat format)
{
    const Paper& p = paper(format);
    return {p.widthPoints, p.heightMillimetres / 25.4 * 72};
}

QPageSize pageSize(PrintPaperFormat format)
{
    switch (format) {
    case PrintPaperFormat::a5: return QPageSize(QPageSize::A5);
    case PrintPaperFormat::a4: return QPageSize(QPageSize::A4);
    default: break;
    }
    // Fuzzy matching gives the photo sizes the print system's own names where it has them.
    return QPageSize(paperSizeInPoints(format), QPageSize::Point, menuTitle(format), QPageSize::FuzzyMatch);
}

} // namespace tavrin
