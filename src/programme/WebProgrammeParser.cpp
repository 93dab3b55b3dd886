#include "programme/WebProgrammeParser.h"

#include "numbers/AssignedNumber.h"
#include "programme/ImportParser.h"
#include "programme/PersonName.h"
#include "programme/TextFolding.h"
#include "programme/WebHtml.h"
#include "programme/WebHtmlDocument.h"

#include <QSet>
#include <QStringDecoder>

namespace tavrin::WebProgrammeParser {

namespace {

using WebHtml::cleaned;
using WebHtml::ElementScanner;
using WebHtml::find;
using WebHtml::pattern;

const QString kProgramme = QStringLiteral("Programme");

// Attribute runs stop at "<" as well as ">": a "<span" inside an unclosed tag then costs only the
// distance to the next tag, never a scan to the end of the page.
#define TAG_ATTRS "[^<>]*"

const QRegularExpression& headingOpen()
{
    static const QRegularExpression re = pattern(u"<th\\b" TAG_ATTRS ">");
    return re;
}
const QRegularExpression& rowOpen()
{
    static const QRegularExpression re = pattern(u"<tr\\b" TAG_ATTRS ">");
    return re;
}
const QRegularExpression& cellOpen()
{
    static const QRegularExpression re = pattern(u"<td\\b" TAG_ATTRS ">");
    return re;
}
const QRegularExpression& startlistLink()
{
    static const QRegularExpression re = pattern(u"href=\"([^\"]*startlist[^\"]*)\"");
    return re;
}

// The page as the patterns read it: the document a browser builds from it, written back without
// scripts, styles or comments.
QString readable(QStringView html)
{
    return WebHtml::documentHTML(html);
}

QString plainNumber(QStringView text) { return text.trimmed().toString(); }

std::optional<QUrl> resolvedLink(const QUrl& pageURL, QStringView href)
{
    const QUrl link(WebHtml::decodingHTMLEntities(href).trimmed());
    if (!link.isValid()) return std::nullopt;
    const QUrl resolved = pageURL.resolved(link);
    if (!resolved.isValid()) return std::nullopt;
    return resolved;
}

// Cards: <span class="id-value">12</span> … <span class="title">Grand Prix</span> … a start-list
// link. Each part is the first of its kind after the previous one, as a lazy pattern would take it.
QList<WebProgrammeEventLink> cardEvents(QStringView html, const QString& day, const QUrl& pageURL)
{
    static const QRegularExpression idValue = pattern(u"<span" TAG_ATTRS "class=\"id-value\"" TAG_ATTRS ">\\s*(\\d+)\\s*</span>");
    static const QRegularExpression titleOpen = pattern(u"<span" TAG_ATTRS "class=\"title\"" TAG_ATTRS ">");
    QList<WebProgrammeEventLink> out;
    qsizetype pos = 0;
    while (true) {
        const auto number = find(idValue, html, pos);
        if (!number) break;
        const auto title = WebHtml::firstElement(html.sliced(number->capturedEnd(0)), titleOpen, u"</span>");
        if (!title) break;
        const qsizetype afterTitle = number->capturedEnd(0) + title->end;
        const auto link = find(startlistLink(), html, afterTitle);
        if (!link) break;
        pos = link->capturedEnd(0);
        if (const auto url = resolvedLink(pageURL, link->capturedView(1)))
            out.push_back({day, number->captured(1), cleaned(title->inner), *url});
    }
    return out;
}

// Table rows holding a start-list link and a title span, the number possibly written before the
// title ("3 - Grand Prix").
QList<WebProgrammeEventLink> tableEvents(QStringView html, const QString& day, const QUrl& pageURL)
{
    static const QRegularExpression titleSpan = pattern(
        u"<span" TAG_ATTRS "class=\"title[^\"<>]*\"" TAG_ATTRS ">\\s*(?:(\\d+)\\s*[-–]\\s*)?([^<]+)</span>");
    QList<WebProgrammeEventLink> out;
    ElementScanner rows(html, rowOpen(), u"</tr>");
    while (const auto row = rows.next()) {
        const auto link = find(startlistLink(), row->inner);
        if (!link) continue;
        const auto title = find(titleSpan, row->inner);
        if (!title) continue;
        if (const auto url = resolvedLink(pageURL, link->capturedView(1)))
            out.push_back({day, title->captured(1), cleaned(title->capturedView(2)), *url});
    }
    return out;
}

QList<WebProgrammeEventLink> eventsIn(QStringView html, const QUrl& pageURL)
{
    QList<WebProgrammeEventLink> out;
    QSet<QString> seen;
    for (const DaySection& section : splitByDays(html)) {
        QList<WebProgrammeEventLink> found = cardEvents(section.html, section.name, pageURL);
        if (found.isEmpty()) found = tableEvents(section.html, section.name, pageURL);
        // A provider that lists an event twice (a mobile and a desktop block) gives it once.
        for (WebProgrammeEventLink& event : found)
            if (!seen.contains(comparableURL(event.startlistURL))) {
                seen.insert(comparableURL(event.startlistURL));
                out.push_back(std::move(event));
            }
    }
    return out;
}

std::optional<QUrl> contestURLIn(const QUrl& pageURL, QStringView html)
{
    static const QRegularExpression link = pattern(u"href=\"((?:/concours/|/events/)[^\"]+)\"");
    if (const auto m = find(link, html))
        if (const auto url = resolvedLink(pageURL, m->capturedView(1))) return url;
    // Start lists live under their competition: /events/12/startlist/3 belongs to /events/12.
    const QString path = pageURL.path();
    const qsizetype cut = path.indexOf(QStringLiteral("/startlist"), 0, Qt::CaseInsensitive);
    if (cut <= 0) return std::nullopt;
    QUrl contest = pageURL.adjusted(QUrl::RemoveQuery | QUrl::RemoveFragment);
    contest.setPath(path.left(cut));
    return contest;
}

QString contestTitleIn(QStringView html, const QUrl& pageURL)
{
    static const QRegularExpression title = pattern(u"<title\\b" TAG_ATTRS ">([^<]+)</title>");
    static const QRegularExpression h1 = pattern(u"<h1\\b" TAG_ATTRS ">");
    if (const auto m = find(title, html)) {
        const QString text = strippedBrandingTitle(m->capturedView(1));
        if (!text.isEmpty()) return text;
    }
    if (const auto heading = WebHtml::firstElement(html, h1, u"</h1>")) {
        const QString text = strippedBrandingTitle(heading->inner);
        if (!text.isEmpty()) return text;
    }
    return pageURL.host();
}

QList<ImportedPerson> horseTimingPeople(QStringView html)
{
    static const QRegularExpression riderRow = pattern(u"<tr" TAG_ATTRS "class=\"text-center\"" TAG_ATTRS ">");
    static const QRegularExpression number = pattern(u"<span" TAG_ATTRS "class=\"id-value[^\"<>]*\"" TAG_ATTRS ">([^<]*)</span>");
    static const QRegularExpression nameOpen = pattern(u"<span" TAG_ATTRS "class=\"title no_mobile\"" TAG_ATTRS ">");
    QList<ImportedPerson> out;
    ElementScanner rows(html, riderRow, u"</tr>");
    while (const auto row = rows.next()) {
        const auto numberSpan = find(number, row->inner);
        const auto canonical = numberSpan ? AssignedNumber::canonical(cleaned(numberSpan->capturedView(1))) : std::nullopt;
        if (!canonical) continue;
        const auto name = WebHtml::firstElement(row->inner, nameOpen, u"</span>");
        const PersonName::Split split = PersonName::splitWebsiteRider(name ? cleaned(name->inner) : QString());
        out.push_back({*canonical, split.first, split.last, out.size() + 1});
    }
    return out;
}

std::optional<QStringView> tbodyIn(QStringView html)
{
    static const QRegularExpression open = pattern(u"<tbody\\b" TAG_ATTRS ">");
    const auto element = WebHtml::firstElement(html, open, u"</tbody>");
    if (!element) return std::nullopt;
    return element->inner;
}

// Rows of four cells: order, number, horse, rider.
QList<ImportedPerson> winJumpPeopleIn(QStringView body)
{
    QStringList cells;
    ElementScanner scanner(body, cellOpen(), u"</td>");
    while (const auto cell = scanner.next()) cells.push_back(cleaned(cell->inner));
    QList<ImportedPerson> out;
    if (cells.size() < 4) return out;
    for (qsizetype i = 1; i + 2 < cells.size(); i += 4) {
        const auto canonical = AssignedNumber::canonical(cells[i]);
        if (!canonical) continue;
        const PersonName::Split split = PersonName::splitWebsiteRider(cells[i + 2]);
        if (split.first.isEmpty() && split.last.isEmpty()) continue;
        out.push_back({*canonical, split.first, split.last, out.size() + 1, cells[i + 1].simplified()});
    }
    return out;
}

// The riders of the first table body that has any: every table with rows has a body in the
// document, the page's heading table included.
QList<ImportedPerson> winJumpPeople(QStringView html)
{
    static const QRegularExpression open = pattern(u"<tbody\\b" TAG_ATTRS ">");
    ElementScanner bodies(html, open, u"</tbody>");
    while (const auto body = bodies.next()) {
        QList<ImportedPerson> people = winJumpPeopleIn(body->inner);
        if (!people.isEmpty()) return people;
    }
    return {};
}

} // namespace

QString comparableURL(const QUrl& url)
{
    const QByteArray encoded = url.toEncoded();
    QString text = QString::fromLatin1(encoded);
    const QByteArray decoded = QByteArray::fromPercentEncoding(encoded);
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString decodedText = utf8.decode(decoded);
    if (!utf8.hasError()) text = decodedText;
    text.remove(u'\t');
    if (text.endsWith(u'/')) text.chop(1);
    return text.toLower();
}

WebProgrammeSnapshot snapshot(QStringView rawHtml, const QUrl& pageURL)
{
    const QString html = readable(rawHtml);
    WebProgrammeSnapshot s;
    s.events = eventsIn(html, pageURL);
    s.people = horseTimingPeople(html);
    if (s.people.isEmpty()) s.people = winJumpPeople(html);
    s.contestTitle = contestTitleIn(html, pageURL);
    s.contestURL = contestURLIn(pageURL, html);
    if (pageURL.path().contains(QStringLiteral("/startlist"), Qt::CaseInsensitive)) s.kind = WebProgrammeSnapshot::Kind::startlist;
    else if (!s.events.isEmpty()) s.kind = WebProgrammeSnapshot::Kind::contest;
    else if (!s.people.isEmpty()) s.kind = WebProgrammeSnapshot::Kind::startlist;
    const QString page = comparableURL(pageURL);
    for (const WebProgrammeEventLink& event : std::as_const(s.events))
        if (comparableURL(event.startlistURL) == page) {
            s.currentEvent = event;
            break;
        }
    return s;
}

QList<WebProgrammeEventLink> events(QStringView html, const QUrl& pageURL)
{
    return eventsIn(readable(html), pageURL);
}

std::optional<QUrl> contestURL(const QUrl& pageURL, QStringView html)
{
    return contestURLIn(pageURL, readable(html));
}

QString contestTitle(QStringView html, const QUrl& pageURL)
{
    return contestTitleIn(readable(html), pageURL);
}

QList<ImportedPerson> peopleFromHorseTiming(QStringView html)
{
    return horseTimingPeople(readable(html));
}

QList<ImportedPerson> peopleFromWinJumpTable(QStringView html)
{
    return winJumpPeople(readable(html));
}

QString displayTitle(QStringView number, QStringView rawTitle)
{
    static const QRegularExpression leadingNumber = pattern(u"^\\d+\\s*[-–]");
    QString title = cleaned(rawTitle);
    title.remove(leadingNumber);
    title = title.trimmed();
    const QString n = plainNumber(number);
    return n.isEmpty() ? title : n + QStringLiteral(" · ") + title;
}

QString strippedBrandingTitle(QStringView text)
{
    static const QRegularExpression branding = pattern(u"^(?:CSo Timing|OChrono|Winjump|Horse Timing)\\s*[-–]\\s*");
    QString title = cleaned(text);
    title.remove(branding);
    return title.trimmed();
}

QList<DaySection> splitByDays(QStringView html)
{
    struct Heading {
        qsizetype start;
        QString day;
    };
    QList<Heading> headings;
    ElementScanner scanner(html, headingOpen(), u"</th>");
    while (const auto heading = scanner.next())
        if (auto day = weekdayName(cleaned(heading->inner))) headings.push_back({heading->start, *day});

    QList<DaySection> sections;
    const qsizetype firstStart = headings.isEmpty() ? html.size() : headings.first().start;
    // What comes before the first day heading (or the whole page) is the programme at large.
    sections.push_back({kProgramme, html.first(firstStart)});
    for (qsizetype i = 0; i < headings.size(); ++i) {
        const qsizetype end = i + 1 < headings.size() ? headings[i + 1].start : html.size();
        sections.push_back({headings[i].day, html.sliced(headings[i].start, end - headings[i].start)});
    }
    return sections;
}

std::optional<QString> weekdayName(QStringView text)
{
    // Every French weekday holds "di" and every English one "day": a cheap look spares the
    // patterns the many headings of a table that name none.
    if (!text.contains(u"di", Qt::CaseInsensitive) && !text.contains(u"day", Qt::CaseInsensitive)) return std::nullopt;
    if (auto french = ImportParser::dayName(text)) return french;
    static const std::array<std::pair<QRegularExpression, QString>, 7> english = [] {
        const char* names[] = {"monday", "tuesday", "wednesday", "thursday", "friday", "saturday", "sunday"};
        const char* french[] = {"Lundi", "Mardi", "Mercredi", "Jeudi", "Vendredi", "Samedi", "Dimanche"};
        std::array<std::pair<QRegularExpression, QString>, 7> list;
        for (int i = 0; i < 7; ++i)
            list[i] = {pattern(QStringLiteral("\\b%1\\b").arg(QLatin1StringView(names[i]))), QString::fromLatin1(french[i])};
        return list;
    }();
    const QString f = TextFolding::folded(text);
    for (const auto& [re, day] : english)
        if (re.match(f).hasMatch()) return day;
    return std::nullopt;
}

std::optional<QString> tbody(QStringView html)
{
    const QString page = readable(html);
    const auto inner = tbodyIn(page);
    if (!inner) return std::nullopt;
    return inner->toString();
}

} // namespace tavrin::WebProgrammeParser
