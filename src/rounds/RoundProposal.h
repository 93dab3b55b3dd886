#pragma once

// The rows proposed for a spreadsheet from the capture times of its photos: one per round not
// yet noted, its first photo and the rider of the event's start order who most likely rode it.

#include "library/LibrarySnapshot.h"
#include "programme/ProgrammeDocument.h"
#include "rounds/CaptureTimes.h"
#include "rounds/RiderAligner.h"
#include "rounds/RoundFinder.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

namespace tavrin {

struct ProposedRow {
    QString photoNumber;    // the digits of the round's first photo, as typed: "0412"
    QString assignedNumber; // canonical; the most likely rider when doubtful, empty when none is left
    qsizetype photoCount = 0;
    QDateTime firstCapture;
    QDateTime lastCapture;
    double confidence = 0;
    bool doubtful = true;
    QStringList files; // paths of the round's photos, in capture order
    bool noted = false; // a typed row already holds the round

    bool operator==(const ProposedRow&) const = default;
};

namespace RoundProposal {

// What the photographer is asked where the proposal cannot tell: between two fixed points with
// more riders than rounds, who did not ride; with more rounds than riders, the rows' numbers.
struct Question {
    QList<qsizetype> rows;  // indices into Result::rows
    QStringList riders;     // canonical numbers of the stretch's riders, in start order
    bool moreRoundsThanRiders = false;
    bool jumpOff = false; // who did not ride the jump-off, rather than the class

    bool operator==(const Question&) const = default;
};

struct Result {
    QList<ProposedRow> rows;   // rounds not noted yet, in capture order
    QList<ProposedRow> rounds; // every round found, noted ones with their typed rider
    QList<Question> questions;
    qsizetype roundCount() const { return rounds.size(); }
};

// `captures` in any order; `people` the selected event's riders (start order = ascending
// sourceLine); `rows` the spreadsheet's rows (typed rows are fixed points); `absent` assigned
// numbers of riders who did not ride or were not photographed, in any written form;
// `notInJumpOff` those known not to ride a jump-off.
Result propose(QList<PhotoCapture> captures, const QList<ImportedPerson>& people, const QList<RowRecord>& rows,
               const QStringList& absent, const QStringList& notInJumpOff = {});

// "12 lignes proposées, dont 3 douteuses" and the like.
QString summaryLine(const Result& result);

} // namespace RoundProposal
} // namespace tavrin
