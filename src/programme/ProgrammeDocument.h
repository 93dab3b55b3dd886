#pragma once

// A competition's programme: days of events (épreuves), each listing its riders in start order
// with their assigned number and names. Read from workbooks, PDF files and web start lists, and
// kept inside the workspace and rider-folder files.

#include "base/JsonWriter.h"

#include <QHashFunctions>
#include <QJsonObject>
#include <QList>
#include <QString>

namespace tavrin {

struct ImportedPerson {
    // The assigned number in canonical form (AssignedNumber::canonical).
    QString canonicalNumber;
    // Given and family names as read, not case-changed; either may be empty.
    QString firstName;
    QString lastName;
    // 1-based line or row of the source the rider was read from.
    qint64 sourceLine = 0;
    // The horse's name when the programme gives it; empty otherwise (and absent from the file).
    QString horseName = {};

    // "DUPONT JEAN": family then given names, trimmed and upper-cased the French way.
    QString formattedName() const;
    // The formatted name, or "N° 12" for a rider without names.
    QString displayName() const;
    // The rider's folder name: the formatted name made safe for file systems, or the number.
    QString folderName() const;

    bool operator==(const ImportedPerson&) const = default;
};

struct ProgrammeEvent {
    // Unique within the document ("Samedi|Grand Prix"); the workspace remembers it.
    QString id;
    QString title;
    QList<ImportedPerson> people;

    bool operator==(const ProgrammeEvent&) const = default;
};

struct ProgrammeDay {
    QString name;
    QList<ProgrammeEvent> events;

    bool operator==(const ProgrammeDay&) const = default;
};

struct ProgrammeDocument {
    // The file's name, or the page or competition title of a web import.
    QString sourceName;
    QList<ProgrammeDay> days;

    bool operator==(const ProgrammeDocument&) const = default;
};

size_t qHash(const ImportedPerson& p, size_t seed = 0) noexcept;
size_t qHash(const ProgrammeEvent& e, size_t seed = 0) noexcept;
size_t qHash(const ProgrammeDay& d, size_t seed = 0) noexcept;
size_t qHash(const ProgrammeDocument& d, size_t seed = 0) noexcept;

void writeJson(JsonWriter& w, const ImportedPerson& person);
void writeJson(JsonWriter& w, const ProgrammeEvent& event);
void writeJson(JsonWriter& w, const ProgrammeDay& day);
void writeJson(JsonWriter& w, const ProgrammeDocument& document);

// Strict: a missing key or a wrong type throws DecodingError.
ImportedPerson importedPersonFromJson(const QJsonObject& o);
ProgrammeEvent programmeEventFromJson(const QJsonObject& o);
ProgrammeDay programmeDayFromJson(const QJsonObject& o);
ProgrammeDocument programmeDocumentFromJson(const QJsonObject& o);

QByteArray encodeProgramme(const ProgrammeDocument& document);
ProgrammeDocument decodeProgramme(const QByteArray& data);

} // namespace tavrin
