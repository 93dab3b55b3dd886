#pragma once

// The paper sizes a print queue offers, as its driver names them: the stand's dye-sub printers
// print on rolls whose sheets can be two smaller prints that the printer cuts apart.

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QRectF>
#include <QSizeF>
#include <QString>
#include <QStringList>

namespace tavrin {

struct PrinterMedia {
    // The driver's keyword for the size ("w432h576-div2"), what the job asks for.
    QByteArray name;
    // The driver's own label ("4x6*2").
    QString label;
    // The sheet in points as the driver lays it out (portrait), and its printable area with a
    // top-left origin.
    QSizeF paper;
    QRectF printable;
    // The driver prints it without margins.
    bool borderless = false;
    // Prints on one sheet that the printer cuts apart (2 for "w432h576-div2"), 1 otherwise.
    int prints = 1;

    bool operator==(const PrinterMedia&) const = default;

    // The menu's title, in French: « 10 × 15 cm sans marge », « 2 × 10 × 15 cm sur 15 × 20 cm ».
    QString title() const;
    // Where each print of the sheet goes, in order: the printable area, or its halves along the
    // long side.
    QList<QRectF> cells() const;
};

// A queue's sizes with the driver's cut option (empty name when it has none).
struct PrinterMediaList {
    QList<PrinterMedia> sizes;
    QPair<QByteArray, QByteArray> cut;
};

namespace PrinterMedias {

// The sizes of the queue's media database (cupsCopyDestInfo), named and labelled as its driver's
// description names them, and the driver's cut option. Empty when the queue is unknown. Kept per
// queue for the process: asking the print server takes a moment.
PrinterMediaList of(const QString& printer);
void forgetForTesting();
// The print server's default queue, asked of it directly (empty without one).
QString defaultPrinter();
// Sets a queue's sizes as if they had been read from it (pictures of the window, tests).
void preset(const QString& printer, const PrinterMediaList& list);

// Prints on a sheet from the driver's keyword: "w432h576-div2" → 2; sizes made of unequal prints
// ("w432h576-w432h432_w432h144") → 0, as one photo cannot fill them.
int printsOnSheet(const QByteArray& name);

// The value that asks a driver's cut option for the cut: options that name its absence ("No
// Cut-Paper Waste", "Disable Margin Cut") are turned off, the others on.
QByteArray cutValue(const QString& keyword, const QString& text);

// The photos in sheets of `prints`: photos of the same order (the folder above their section
// folder) share a sheet, in the given order; the last photo of an order may be alone on its sheet.
QList<QStringList> sheetsOf(const QStringList& photos, int prints);

// Reads a driver's printer description file: the sizes it describes and its cut option.
PrinterMediaList fromDescription(const QString& ppdFile);

} // namespace PrinterMedias

} // namespace tavrin
