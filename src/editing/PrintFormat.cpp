#include "editing/PrintFormat.h"

namespace tavrin {

QString rawValue(PrintFormat format)
{
    switch (format) {
    case PrintFormat::a5: return QStringLiteral("a5");
    case PrintFormat::a4: return QStringLiteral("a4");
    }
    return {};
}

std::optional<PrintFormat> printFormatFromRaw(QStringView raw)
{
    for (const PrintFormat format : allPrintFormats())
        if (raw == rawValue(format)) return format;
    return std::nullopt;
}

double aspectRatio(PrintFormat format, bool landscape)
{
    // ISO paper sides in millimetres, long × short.
    const double longSide = format == PrintFormat::a4 ? 297 : 210;
    const double shortSide = format == PrintFormat::a4 ? 210 : 148;
    return landscape ? longSide / shortSide : shortSide / longSide;
}

double aspectRatio(PrintFormat format, double photoWidth, double photoHeight)
{
    return aspectRatio(format, photoWidth >= photoHeight);
}

} // namespace tavrin
