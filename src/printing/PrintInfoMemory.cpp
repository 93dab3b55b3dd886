#include "printing/PrintInfoMemory.h"

#include "base/UserDefaults.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QMutex>
#include <QPrinterInfo>

#include <cups/cups.h>

#include <cmath>

namespace tavrin {

using namespace Qt::Literals::StringLiterals;

namespace {

const char* duplexName(QPrinter::DuplexMode mode)
{
    switch (mode) {
    case QPrinter::DuplexNone: return "none";
    case QPrinter::DuplexAuto: return "auto";
    case QPrinter::DuplexLongSide: return "longSide";
    case QPrinter::DuplexShortSide: return "shortSide";
    }
    return "none";
}

std::optional<QPrinter::DuplexMode> duplexFromName(const QString& name)
{
    for (const QPrinter::DuplexMode mode : {QPrinter::DuplexNone, QPrinter::DuplexAuto, QPrinter::DuplexLongSide, QPrinter::DuplexShortSide})
        if (name == QLatin1String(duplexName(mode))) return mode;
    return std::nullopt;
}

bool isNumber(const QJsonValue& v) { return v.isDouble() && std::isfinite(v.toDouble()); }

} // namespace

PrintSettings PrintSettings::of(const QPrinter& printer)
{
    PrintSettings s;
    s.printerName = printer.outputFormat() == QPrinter::NativeFormat ? printer.printerName() : QString();
    const QPageLayout layout = printer.pageLayout();
    s.pageSize = layout.pageSize();
    s.orientation = layout.orientation();
    s.margins = layout.margins(QPageLayout::Point);
    s.copies = printer.copyCount();
    s.colorMode = printer.colorMode();
    s.duplex = printer.duplex();
    s.resolution = printer.resolution();
    return s;
}

void PrintSettings::applyTo(QPrinter& printer) const
{
    // Choosing a printer lists every printer of the system: not again for the one already chosen.
    if (printer.outputFormat() == QPrinter::NativeFormat && !printerName.isEmpty() && printer.printerName() != printerName
        && PrintInfoMemory::printerExists(printerName))
        printer.setPrinterName(printerName);
    printer.setPageSize(pageSize);
    printer.setPageOrientation(orientation);
    printer.setPageMargins(margins, QPageLayout::Point);
    printer.setCopyCount(copies);
    printer.setColorMode(colorMode);
    printer.setDuplex(duplex);
    if (resolution > 0) printer.setResolution(resolution);
}

QJsonObject toJson(const PrintSettings& s)
{
    const QSizeF points = s.pageSize.size(QPageSize::Point);
    return QJsonObject{
        {"printer"_L1, s.printerName},
        {"paper"_L1, QJsonObject{{"name"_L1, s.pageSize.name()}, {"width"_L1, points.width()}, {"height"_L1, points.height()}}},
        {"orientation"_L1, s.orientation == QPageLayout::Landscape ? "landscape"_L1 : "portrait"_L1},
        {"margins"_L1, QJsonArray{s.margins.left(), s.margins.top(), s.margins.right(), s.margins.bottom()}},
        {"copies"_L1, s.copies},
        {"colorMode"_L1, s.colorMode == QPrinter::GrayScale ? "grayScale"_L1 : "color"_L1},
        {"duplex"_L1, QLatin1String(duplexName(s.duplex))},
        {"resolution"_L1, s.resolution},
    };
}

std::optional<PrintSettings> printSettingsFromJson(const QJsonObject& o)
{
    const QJsonObject paper = o.value("paper"_L1).toObject();
    const QJsonArray margins = o.value("margins"_L1).toArray();
    const QString orientation = o.value("orientation"_L1).toString();
    const QString colour = o.value("colorMode"_L1).toString();
    const std::optional<QPrinter::DuplexMode> duplex = duplexFromName(o.value("duplex"_L1).toString());
    if (!o.value("printer"_L1).isString() || !paper.value("name"_L1).isString() || !isNumber(paper.value("width"_L1))
        || !isNumber(paper.value("height"_L1)) || margins.size() != 4 || !isNumber(o.value("copies"_L1))
        || !isNumber(o.value("resolution"_L1)) || (orientation != "portrait"_L1 && orientation != "landscape"_L1)
        || (colour != "color"_L1 && colour != "grayScale"_L1) || !duplex)
        return std::nullopt;
    for (const QJsonValue& m : margins)
        if (!isNumber(m) || m.toDouble() < 0) return std::nullopt;
    const QSizeF points(paper.value("width"_L1).toDouble(), paper.value("height"_L1).toDouble());
    if (points.width() < 1 || points.height() < 1) return std::nullopt;

    PrintSettings s;
    s.printerName = o.value("printer"_L1).toString();
    s.pageSize = QPageSize(points, QPageSize::Point, paper.value("name"_L1).toString(), QPageSize::FuzzyMatch);
    s.orientation = orientation == "landscape"_L1 ? QPageLayout::Landscape : QPageLayout::Portrait;
    s.margins = QMarginsF(margins[0].toDouble(), margins[1].toDouble(), margins[2].toDouble(), margins[3].toDouble());
    s.copies = std::max(1, o.value("copies"_L1).toInt());
    s.colorMode = colour == "grayScale"_L1 ? QPrinter::GrayScale : QPrinter::Color;
    s.duplex = *duplex;
    s.resolution = std::max(0, o.value("resolution"_L1).toInt());
    return s;
}

namespace PrintInfoMemory {

namespace {
QMutex mutex;
bool restored = false;
} // namespace

PrintSettings& shared()
{
    static PrintSettings settings;
    return settings;
}

bool printerExists(const QString& name)
{
    // Asked of the print server by name: listing every printer also looks for network printers,
    // which takes a good part of a second each time.
    if (name.isEmpty()) return false;
    cups_dest_t* dest = cupsGetNamedDest(CUPS_HTTP_DEFAULT, name.toUtf8().constData(), nullptr);
    if (!dest) return false;
    cupsFreeDests(1, dest);
    return true;
}

void restoreSharedIfNeeded()
{
    const QMutexLocker lock(&mutex);
    if (restored) return;
    restored = true;
    UserDefaults& defaults = UserDefaults::standard();
    if (const std::optional<QString> archive = defaults.string(lastPrintInfoKey)) {
        QJsonParseError error{};
        const QJsonDocument document = QJsonDocument::fromJson(archive->toUtf8(), &error);
        const std::optional<PrintSettings> settings = document.isObject() ? printSettingsFromJson(document.object()) : std::nullopt;
        if (settings) shared() = *settings;
        else defaults.remove(lastPrintInfoKey);
    }
    const std::optional<QString> printer = defaults.string(lastPrinterNameKey);
    if (printer && *printer != shared().printerName && printerExists(*printer)) shared().printerName = *printer;
}

void remember(const QPrinter& printer)
{
    const PrintSettings settings = PrintSettings::of(printer);
    UserDefaults& defaults = UserDefaults::standard();
    {
        const QMutexLocker lock(&mutex);
        shared() = settings;
    }
    defaults.setString(lastPrintInfoKey, QString::fromUtf8(QJsonDocument(toJson(settings)).toJson(QJsonDocument::Compact)));
    if (settings.printerName.isEmpty()) defaults.remove(lastPrinterNameKey);
    else defaults.setString(lastPrinterNameKey, settings.printerName);
    defaults.synchronize();
}

void forgetRestoreForTesting()
{
    const QMutexLocker lock(&mutex);
    restored = false;
    shared() = PrintSettings{};
}

} // namespace PrintInfoMemory

} // namespace tavrin
