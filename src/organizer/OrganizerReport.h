#pragma once

// What an organisation run (or a rider-folder creation) did: counts, one line per row and a
// one-line headline.

#include <QString>
#include <QStringList>

#include <optional>

namespace tavrin {

struct OrganizerReport {
    // Files copied successfully.
    qint64 copied = 0;
    // Distinct rider folders that received files, created or already there.
    qint64 folders = 0;
    // Rows without any photo plus files whose copy failed.
    qint64 skipped = 0;
    QStringList messages;
    // Set by the rider-folder creation; an organisation run leaves it empty.
    std::optional<QString> headline;
    // Files whose copy failed (also counted in skipped).
    qint64 failed = 0;
    // Files not copied because identical ones were already in their rider folder.
    qint64 alreadyPresent = 0;

    // The headline, or "3 dossiers · 42 photos copiées", followed by " · 2 photos non copiées"
    // when copies failed; "Tout était déjà copié" when every photo was already there.
    QString defaultHeadline() const;

    bool operator==(const OrganizerReport&) const = default;
};

} // namespace tavrin
