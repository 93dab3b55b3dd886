#pragma once

// The paper formats a crop is made for. The aspect (width / height of the print) follows the
// photo: a photo at least as wide as it is tall is printed landscape, any other portrait.

#include <QList>
#include <QString>

#include <optional>

namespace tavrin {

enum class PrintFormat { a5, a4 };

inline const QList<PrintFormat>& allPrintFormats()
{
    static const QList<PrintFormat> all{PrintFormat::a5, PrintFormat::a4};
    return all;
}

// "a5", "a4": the text kept in the journals.
QString rawValue(PrintFormat format);
std::optional<PrintFormat> printFormatFromRaw(QStringView raw);

// Width / height of the print, e.g. a4 landscape 297/210.
double aspectRatio(PrintFormat format, bool landscape);
// Landscape when width ≥ height.
double aspectRatio(PrintFormat format, double photoWidth, double photoHeight);

} // namespace tavrin
