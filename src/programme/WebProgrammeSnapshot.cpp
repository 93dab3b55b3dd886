#include "programme/WebProgrammeSnapshot.h"

#include "programme/WebProgrammeParser.h"

namespace tavrin {

namespace {
QString plural(qsizetype count, const QString& word) { return QString::number(count) + u' ' + word + (count >= 2 ? u"s" : u""); }
QString urlText(const QUrl& url) { return url.toString(QUrl::FullyEncoded); }
} // namespace

QString WebProgrammeSnapshot::statusLine() const
{
    switch (kind) {
    case Kind::unknown:
        return QStringLiteral("Ouvrez un concours, puis une liste de départ, pour importer le programme.");
    case Kind::startlist: {
        const QString title = currentEvent ? WebProgrammeParser::displayTitle(currentEvent->eventNumber, currentEvent->title)
                                           : QStringLiteral("Liste de départ");
        return title + QStringLiteral(" · ") + plural(people.size(), QStringLiteral("cavalier")) +
               QStringLiteral(" · n° dossard (Num)");
    }
    case Kind::contest:
        return contestTitle + QStringLiteral(" · ") + plural(events.size(), QStringLiteral("épreuve"));
    }
    return {};
}

QLatin1StringView rawValue(WebProgrammeSnapshot::Kind kind)
{
    switch (kind) {
    case WebProgrammeSnapshot::Kind::contest:
        return QLatin1StringView("contest");
    case WebProgrammeSnapshot::Kind::startlist:
        return QLatin1StringView("startlist");
    case WebProgrammeSnapshot::Kind::unknown:
        break;
    }
    return QLatin1StringView("unknown");
}

void writeJson(JsonWriter& w, const WebProgrammeEventLink& event)
{
    w.beginObject();
    w.field(QLatin1StringView("dayName"), event.dayName);
    w.field(QLatin1StringView("eventNumber"), event.eventNumber);
    w.field(QLatin1StringView("startlistURL"), urlText(event.startlistURL));
    w.field(QLatin1StringView("title"), event.title);
    w.endObject();
}

void writeJson(JsonWriter& w, const WebProgrammeSnapshot& s)
{
    w.beginObject();
    w.field(QLatin1StringView("contestTitle"), s.contestTitle);
    if (s.contestURL) w.field(QLatin1StringView("contestURL"), urlText(*s.contestURL));
    if (s.currentEvent) {
        w.key(QLatin1StringView("currentEvent"));
        writeJson(w, *s.currentEvent);
    }
    w.array(QLatin1StringView("events"), s.events);
    w.field(QLatin1StringView("kind"), rawValue(s.kind));
    w.array(QLatin1StringView("people"), s.people);
    w.field(QLatin1StringView("statusLine"), s.statusLine());
    w.endObject();
}

} // namespace tavrin
