#pragma once

// What a timing provider's page is, as read from its HTML: a competition listing its events, a
// start list of riders, or neither. It drives the browser's import buttons and status line.

#include "base/JsonWriter.h"
#include "programme/ProgrammeDocument.h"

#include <QList>
#include <QString>
#include <QUrl>

#include <optional>

namespace tavrin {

struct WebProgrammeEventLink {
    // The day section of the page ("Programme" without day headings).
    QString dayName;
    // The event's number on the page; may be empty.
    QString eventNumber;
    QString title;
    // Absolute.
    QUrl startlistURL;

    bool operator==(const WebProgrammeEventLink&) const = default;
};

struct WebProgrammeSnapshot {
    enum class Kind { contest, startlist, unknown };

    Kind kind = Kind::unknown;
    QString contestTitle;
    std::optional<QUrl> contestURL;
    QList<WebProgrammeEventLink> events;
    // The riders of a start-list page.
    QList<ImportedPerson> people;
    // The event whose start list is the page shown.
    std::optional<WebProgrammeEventLink> currentEvent;

    // "Grand Prix · 12 cavaliers · n° dossard (Num)", "Jumping de Printemps · 8 épreuves", or how
    // to reach a page that can be imported.
    QString statusLine() const;

    bool operator==(const WebProgrammeSnapshot&) const = default;
};

// "contest", "startlist", "unknown".
QLatin1StringView rawValue(WebProgrammeSnapshot::Kind kind);

void writeJson(JsonWriter& w, const WebProgrammeEventLink& event);
// With its status line, as tavrin-cli prints it.
void writeJson(JsonWriter& w, const WebProgrammeSnapshot& snapshot);

} // namespace tavrin
