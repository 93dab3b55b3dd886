#pragma once

#include "library/LibrarySnapshot.h"

namespace tavrin {

// A day or a single spreadsheet exported by a phone as a ".tavrin" file.
struct TavrinTransferPackage {
    enum class Kind { day, spreadsheet };

    qint64 formatVersion = 1;
    Kind kind = Kind::day;
    DayRecord day;
    QList<SpreadsheetRecord> spreadsheets;

    bool operator==(const TavrinTransferPackage&) const = default;
};

void writeJson(JsonWriter& w, const TavrinTransferPackage& package);
QByteArray encodeTransferPackage(const TavrinTransferPackage& package);
// Strict: a missing key, an unknown kind or a bad record throws DecodingError.
TavrinTransferPackage transferPackageFromJson(const QJsonObject& o);

} // namespace tavrin
