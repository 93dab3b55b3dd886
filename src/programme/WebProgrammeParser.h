#pragma once

// Reads a timing provider's page: the document a browser would build from its HTML (see
// WebHtmlDocument.h), then patterns over that document for the competition's events by day, with
// links to their start lists, and the riders of a start list, in the card and table layouts the
// providers use. Never fails: a page that matches nothing is `unknown`.

#include "programme/WebProgrammeSnapshot.h"

#include <QStringView>
#include <QUrl>

namespace tavrin::WebProgrammeParser {

WebProgrammeSnapshot snapshot(QStringView html, const QUrl& pageURL);

// The events of a competition page, day by day, each start list once.
QList<WebProgrammeEventLink> events(QStringView html, const QUrl& pageURL);

// The competition page of a start list: the page's first /concours/ or /events/ link, else the
// page address cut before its "startlist" segment.
std::optional<QUrl> contestURL(const QUrl& pageURL, QStringView html);

// "12 · Grand Prix" from number 12 and "12 - Grand Prix"; the title alone without number.
QString displayTitle(QStringView number, QStringView rawTitle);

// The page's <title> without the provider's name, else its first <h1>, else the host.
QString contestTitle(QStringView html, const QUrl& pageURL);
QString strippedBrandingTitle(QStringView text);

struct DaySection {
    QString name;
    QStringView html;
};
// The page cut at the table headings that name a weekday; "Programme" for what precedes the first
// one, or for the whole page when there is none.
QList<DaySection> splitByDays(QStringView html);

// "Samedi" for "SAMEDI 12 juillet" or "Saturday"; none without a weekday.
std::optional<QString> weekdayName(QStringView text);

QList<ImportedPerson> peopleFromHorseTiming(QStringView html);
QList<ImportedPerson> peopleFromWinJumpTable(QStringView html);
// The inside of the document's first <tbody>, which a browser adds to every table that has rows.
std::optional<QString> tbody(QStringView html);

// The address form in which a link and the page shown are compared: percent-decoded, without
// tabs, one trailing "/" and case.
QString comparableURL(const QUrl& url);

} // namespace tavrin::WebProgrammeParser
