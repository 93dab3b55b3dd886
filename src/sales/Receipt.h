#pragma once

// The receipt of a paid order: one A5 page written with cairo, with the stand's name and address,
// the order, its lines and total, the means of payment and the date.

#include "sales/PriceList.h"

#include <QString>

namespace tavrin {

enum class PaymentMeans;
struct Payment;

struct Stand {
    QString name;
    QString address; // lines apart by line breaks
    bool operator==(const Stand&) const = default;
};

namespace Receipt {

// The receipt's file in the order folder (hidden from the gallery: not a photo).
QString defaultPath(const QString& orderFolder);
// Throws tavrin::Error with a French message when the order is unpaid or the file cannot be written.
void write(const Stand& stand, const QString& orderName, const Bill& bill, const Payment& payment, const QString& pdfPath);

} // namespace Receipt

} // namespace tavrin
