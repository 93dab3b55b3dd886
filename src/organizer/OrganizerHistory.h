#pragma once

// The history of organisation runs: one entry per run, and the entries grouped by spreadsheet
// for the history panel.

#include "base/JsonWriter.h"

#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>
#include <QUuid>

namespace tavrin {

struct OrganizerHistoryEntry {
    QUuid id;
    QUuid spreadsheetID;
    QString spreadsheetTitle;
    QDateTime date;
    QString headline;
    QStringList messages;

    bool operator==(const OrganizerHistoryEntry&) const = default;
};

struct OrganizerHistorySection {
    // The spreadsheet's identifier.
    QUuid id;
    QString title;
    // Newest first.
    QList<OrganizerHistoryEntry> entries;

    bool operator==(const OrganizerHistorySection&) const = default;
};

void writeJson(JsonWriter& w, const OrganizerHistoryEntry& entry);
void writeJson(JsonWriter& w, const OrganizerHistorySection& section);
// Strict: every key is required.
OrganizerHistoryEntry organizerHistoryEntryFromJson(const QJsonObject& o);

} // namespace tavrin
