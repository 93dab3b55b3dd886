#pragma once

// What an organisation run (or a rider-folder creation) did: counts, one line per row and a
// one-line headline.

#include <QString>
#include <QStringList>

#include <optional>

namespace tavrin {

struct OrganizerReport {
    // Files copied in this run; those already there are counted apart.
    qint64 copied = 0;
    // Distinct rider folders that received files (or failed to), created or already there; one
    // whose photos were all there already does not count.
    qint64 folders = 0;
    // Rows without any photo plus files whose copy failed.
    qint64 skipped = 0;
    QStringList messages;
    // Set by the rider-folder creation, and by an organisation run stopped before its end.
    std::optional<QString> headline;
    // Files whose copy failed (also counted in skipped).
    qint64 failed = 0;
    // Files not copied because identical ones were already in their rider folder.
    qint64 alreadyPresent = 0;
    // Copies moved from a rider folder they no longer belonged to.
    qint64 moved = 0;

    // The headline, or "3 dossiers · 42 photos copiées", followed by " · 2 photos non copiées"
    // when copies failed, " · 1 photo déplacée" when copies were moved; "Tout était déjà copié"
    // when every photo was already there.
    QString defaultHeadline() const;

    bool operator==(const OrganizerReport&) const = default;
};

} // namespace tavrin
