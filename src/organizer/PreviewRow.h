#pragma once

// One row of the spreadsheet workspace as the table shows it: the typed numbers, the rider's
// name, the photos the row gets or got, and the flags behind the status marks.

#include <QList>
#include <QString>
#include <QUuid>

namespace tavrin {

struct PreviewRow {
    QUuid id;
    QString photo;
    QString assigned;
    QString lastName;
    QString firstName;
    QString photos;
    // A rider of the selected event matches the row.
    bool fromCatalogue = false;
    // A rider, from the programme or typed by hand, is known for the row.
    bool hasName = false;
    bool isBlank = false;
    bool duplicateAssigned = false;
    bool duplicatePhoto = false;
    // The row has remembered transferred photos.
    bool filesTransferred = false;
    // Why photos of the row failed to copy in the last run; empty when none did.
    QString copyFailure;

    bool operator==(const PreviewRow&) const = default;
};

// A mark beside a row, with its hover text.
struct StatusMark {
    enum class Tone { red, orange, green };
    Tone tone;
    QString symbol;
    QString text;

    bool operator==(const StatusMark&) const = default;
};

// Red for a row without rider or whose copies failed, orange for a duplicate number, green for
// a complete row whose photos were all copied.
QList<StatusMark> statusMarks(const PreviewRow& row);

} // namespace tavrin
