#pragma once

// What replacing a programme would cost the notes: rows that find their rider today and would
// find none in the new one. Asked before a replacement, and said after it in one banner line.

#include "library/LibrarySnapshot.h"
#include "organizer/StoredProgramme.h"
#include "programme/ProgrammeDocument.h"

#include <optional>

namespace tavrin {

class WorkspaceStore;

namespace ProgrammeReplacement {

// For the spreadsheets: each row matched through its spreadsheet's event (a name typed by hand
// keeps matching); the new programme's event is the one of the same day and identifier (or title).
qsizetype rowsLosingTheirRider(const LibrarySnapshot& library, const WorkspaceStore& workspace, const ProgrammeDocument& next);
// For the rider folders: rows whose number names a rider anywhere in `current` and nowhere in `next`.
qsizetype rowsLosingTheirRider(const LibrarySnapshot& library, const std::optional<ProgrammeDocument>& current,
                               const ProgrammeDocument& next);

// Distinct rider numbers in the programme.
qsizetype riderCount(const ProgrammeDocument& document);

// « Remplacer le programme ? 4 lignes qui trouvent leur cavalier n’en trouveraient plus. »
QString question(qsizetype rows);
// « Programme remplacé par « facture.pdf » (1 cavalier). »
QString banner(const QString& name, const ProgrammeDocument& document);

} // namespace ProgrammeReplacement

// A programme read and held back until the photographer answers the question; another import, or
// the screen going, drops it and discards its read.
class PendingProgramme {
public:
    PendingProgramme() = default;
    PendingProgramme(const PendingProgramme&) = delete;
    PendingProgramme& operator=(const PendingProgramme&) = delete;
    ~PendingProgramme() { drop(); }

    void hold(StoredProgramme::ReadFile read, qsizetype rowsLosingTheirRider);
    const std::optional<QString>& question() const { return m_question; }
    // The read to put in place on « Remplacer »; on « Annuler » nothing, the read discarded.
    std::optional<StoredProgramme::ReadFile> answer(bool replace);
    void drop();

private:
    std::optional<StoredProgramme::ReadFile> m_read;
    std::optional<QString> m_question;
};
} // namespace tavrin
