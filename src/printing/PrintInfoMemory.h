#pragma once

// The print settings chosen last, kept in the user defaults so that the next print, in this run or
// the next, starts with the same printer, paper and options.

#include <QJsonObject>
#include <QMarginsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPrinter>
#include <QString>

#include <optional>

namespace tavrin {

struct PrintSettings {
    QString printerName;
    QPageSize pageSize = QPageSize(QPageSize::A4);
    QPageLayout::Orientation orientation = QPageLayout::Portrait;
    QMarginsF margins; // points
    int copies = 1;
    QPrinter::ColorMode colorMode = QPrinter::Color;
    QPrinter::DuplexMode duplex = QPrinter::DuplexNone;
    int resolution = 0; // dots per inch; 0 leaves the printer's own

    bool operator==(const PrintSettings&) const = default;

    static PrintSettings of(const QPrinter& printer);
    // A printer that no longer exists is ignored and the system's default stays chosen.
    void applyTo(QPrinter& printer) const;
};

QJsonObject toJson(const PrintSettings& settings);
// None unless every key is present and valid.
std::optional<PrintSettings> printSettingsFromJson(const QJsonObject& object);

namespace PrintInfoMemory {

inline const QString lastPrintInfoKey = QStringLiteral("tavrin.lastPrintInfo");
inline const QString lastPrinterNameKey = QStringLiteral("tavrin.lastPrinterName");

// The settings every print of this process starts from.
PrintSettings& shared();
// Reads the remembered settings into `shared()`, at most once per process; a bad archive is
// removed. Then selects "tavrin.lastPrinterName" when it names another printer that exists.
void restoreSharedIfNeeded();
// Makes the printer's final settings the shared ones and writes them to the user defaults.
void remember(const QPrinter& printer);
// For tests: the next restoreSharedIfNeeded reads the defaults again, as in a new process.
void forgetRestoreForTesting();
// Whether a print queue of that name is installed.
bool printerExists(const QString& name);

} // namespace PrintInfoMemory

} // namespace tavrin
