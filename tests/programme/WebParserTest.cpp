#include "ProgrammeTestSupport.h"
#include "programme/WebHtml.h"
#include "programme/WebHtmlDocument.h"
#include "programme/WebProgrammeParser.h"

#include <gtest/gtest.h>

using namespace tavrin;
using namespace tavrin::test;
namespace Parser = tavrin::WebProgrammeParser;
using Kind = WebProgrammeSnapshot::Kind;

namespace {

QString page(const char* name) { return QString::fromUtf8(readFile(fixture(QStringLiteral("web/") + QLatin1StringView(name)))); }

const QUrl kContest(QStringLiteral("https://www.example.test/events/2025/jumping-printemps"));

QStringList outline(const QList<WebProgrammeEventLink>& events)
{
    QStringList lines;
    for (const WebProgrammeEventLink& e : events)
        lines << e.dayName + u'|' + e.eventNumber + u'|' + e.title + u'|' + e.startlistURL.toString();
    return lines;
}

QStringList riders(const QList<ImportedPerson>& people)
{
    QStringList lines;
    for (const ImportedPerson& p : people)
        lines << QStringLiteral("%1 %2/%3 @%4").arg(p.canonicalNumber, p.lastName, p.firstName).arg(p.sourceLine);
    return lines;
}

} // namespace

TEST(WebParserTest, CardContestPageWithDayHeadingsScriptsAndDuplicates)
{
    const WebProgrammeSnapshot s = Parser::snapshot(page("contest-cards.html"), kContest);
    EXPECT_EQ(s.kind, Kind::contest);
    EXPECT_EQ(s.contestTitle, "Jumping de Printemps");
    // The card in the script, the one in a comment and the mobile copy of event 3 are not events.
    const QString base = kContest.toString();
    EXPECT_EQ(outline(s.events),
              QStringList({"Vendredi|1|" + QString::fromUtf8("Préparatoire 1,00 m|") + base + "/startlist/1",
                           "Vendredi|2|" + QString::fromUtf8("Vitesse (Barème A au chrono)|") + base + "/startlist/2",
                           "Samedi|3|" + QString::fromUtf8("Grand Prix Pro 2 & Amateur Élite|") + base + "/startlist/3"}));
    EXPECT_EQ(s.statusLine(), QString::fromUtf8("Jumping de Printemps · 3 épreuves"));
    EXPECT_FALSE(s.currentEvent);

    // The same page shown at an event's start-list address (case and trailing slash aside).
    const WebProgrammeSnapshot shown = Parser::snapshot(page("contest-cards.html"), QUrl(base + "/STARTLIST/3/"));
    EXPECT_EQ(shown.kind, Kind::startlist);
    ASSERT_TRUE(shown.currentEvent);
    EXPECT_EQ(shown.currentEvent->eventNumber, "3");
    EXPECT_EQ(shown.statusLine(),
              QString::fromUtf8("3 · Grand Prix Pro 2 & Amateur Élite · 0 cavalier · n° dossard (Num)"));
    EXPECT_EQ(shown.contestURL, kContest);
}

TEST(WebParserTest, TableContestPageWithEntitiesAndRelativeLinks)
{
    const QUrl pageURL(QStringLiteral("https://chrono.example.test/concours/5512/index.php"));
    const WebProgrammeSnapshot s = Parser::snapshot(page("contest-table.html"), pageURL);
    EXPECT_EQ(s.kind, Kind::contest);
    EXPECT_EQ(s.contestTitle, "CSO de la Plaine");
    const QString lists = QStringLiteral("https://chrono.example.test/concours/5512/startlist.php?concours=5512&epreuve=");
    EXPECT_EQ(outline(s.events), QStringList({"Samedi|1|Club 2 Vitesse|" + lists + "1",
                                              "Samedi|2|Prix de l'Avenir (1,15 m)|" + lists + "2",
                                              "Dimanche||Grand Prix Amateur|" + lists + "3"}));
    EXPECT_EQ(Parser::displayTitle(s.events[1].eventNumber, s.events[1].title), "2 · Prix de l'Avenir (1,15 m)");
}

TEST(WebParserTest, StartListOfCardRows)
{
    const QUrl pageURL(QStringLiteral("https://timing.example.test/concours/2025/jumping-printemps/epreuve/3"));
    const WebProgrammeSnapshot s = Parser::snapshot(page("startlist-cards.html"), pageURL);
    // No "/startlist" in the address, but riders: still a start list.
    EXPECT_EQ(s.kind, Kind::startlist);
    EXPECT_EQ(riders(s.people), QStringList({"245 DUPONT/Marie Claire @1", QString::fromUtf8("12 LE GALL/Hélène @2"),
                                             "77 DE LA TOUR/Jean Pierre @3"}));
    EXPECT_EQ(s.contestURL, QUrl("https://timing.example.test/concours/2025/jumping-printemps"));
    EXPECT_EQ(s.contestTitle, QString::fromUtf8("Grand Prix Pro 2 - Liste de départ"));
    EXPECT_EQ(s.statusLine(), QString::fromUtf8("Liste de départ · 3 cavaliers · n° dossard (Num)"));
}

TEST(WebParserTest, StartListTableReadByFours)
{
    const WebProgrammeSnapshot s = Parser::snapshot(page("startlist-table.html"), QUrl("https://wj.example.test/2025/cso/startlist/4?tri=ordre"));
    EXPECT_EQ(s.kind, Kind::startlist);
    // Row 3 has no number and row 4 no rider; the line break inside a cell is a space.
    EXPECT_EQ(riders(s.people), QStringList({"101 BERNARD/Lucie @1", "102 MARTIN DURAND/Jean Marc @2", "105 O'NEIL/Sophie @3"}));
    // The horse's cell is kept with its rider.
    ASSERT_EQ(s.people.size(), 3);
    EXPECT_EQ(s.people[0].horseName, "ULTRA DE LA NOUE");
    EXPECT_EQ(s.people[1].horseName, "SIRIUS*HDC");
    EXPECT_EQ(s.contestTitle, QString::fromUtf8("Liste de départ"));
    // No competition link: the competition is the address before "startlist".
    EXPECT_EQ(s.contestURL, QUrl("https://wj.example.test/2025/cso"));
    EXPECT_FALSE(Parser::contestURL(QUrl("https://wj.example.test/startlist/4"), u""));

    EXPECT_TRUE(Parser::peopleFromWinJumpTable(u"<tbody><tr><td>1</td><td>2</td><td>3</td></tr></tbody>").isEmpty());
    EXPECT_EQ(Parser::tbody(u"<table><TBODY class=x><tr></tr></TBODY><tbody>2</tbody></table>"), QStringLiteral("<tr></tr>"));
}

TEST(WebParserTest, TextCleaningTitlesAndWeekdays)
{
    EXPECT_EQ(WebHtml::cleaned(u"  Jean<br/>Pierre&nbsp;&amp;\n <b>Co</b> &lt;i&gt; &#x2019;&#39;&#039; &eacute;  "),
              QString::fromUtf8("Jean Pierre & Co <i> ’'' é"));
    // What is not an entity or a tag stays text.
    EXPECT_EQ(WebHtml::cleaned(u"AT&T &unknown; &#xZZ; 1 <> 2 < 3"), "AT&T &unknown; &#xZZ; 1 <> 2 < 3");
    EXPECT_EQ(WebHtml::cleaned(u"x &#0; &#1114112;"), QString::fromUtf8("x \uFFFD \uFFFD"));

    EXPECT_EQ(Parser::displayTitle(u"12", u"12 - Grand Prix"), QString::fromUtf8("12 · Grand Prix"));
    EXPECT_EQ(Parser::displayTitle(u"", u"3 – Vitesse &amp; Style"), "Vitesse & Style");
    EXPECT_EQ(Parser::strippedBrandingTitle(u"CSo Timing - Jumping de Printemps"), "Jumping de Printemps");
    EXPECT_EQ(Parser::strippedBrandingTitle(u"Winjump– Finale"), "Finale");
    EXPECT_EQ(Parser::strippedBrandingTitle(u"Le Horse Timing - Cup"), "Le Horse Timing - Cup");

    EXPECT_EQ(Parser::weekdayName(u"VENDREDI 12"), "Vendredi");
    EXPECT_EQ(Parser::weekdayName(u"Saturday, April 12"), "Samedi");
    EXPECT_EQ(Parser::weekdayName(u"Dimanche / Sunday"), "Dimanche");
    EXPECT_FALSE(Parser::weekdayName(u"Samedimanche"));
    EXPECT_FALSE(Parser::weekdayName(u"Épreuve"));
}

TEST(WebParserTest, PagesThatMatchNothing)
{
    const WebProgrammeSnapshot s = Parser::snapshot(u"<html><title></title><body>Accueil</body></html>",
                                                    QUrl("https://www.example.test/"));
    EXPECT_EQ(s.kind, Kind::unknown);
    EXPECT_EQ(s.contestTitle, "www.example.test");
    EXPECT_EQ(s.statusLine(), QString::fromUtf8("Ouvrez un concours, puis une liste de départ, pour importer le programme."));
    // A start-list address is a start list even before its riders are published.
    const WebProgrammeSnapshot empty = Parser::snapshot(u"", QUrl("https://x.test/events/9/startlist/1"));
    EXPECT_EQ(empty.kind, Kind::startlist);
    EXPECT_EQ(empty.contestURL, QUrl("https://x.test/events/9"));
    EXPECT_EQ(empty.statusLine(), QString::fromUtf8("Liste de départ · 0 cavalier · n° dossard (Num)"));
}

// Hostile pages end quickly (the suite's time-out catches a quadratic scan) with nothing read.
TEST(WebParserTest, HostilePagesGiveEmptySnapshots)
{
    const QUrl url(QStringLiteral("https://x.test/concours/1"));
    const auto expectNothing = [&](const QString& html) {
        const WebProgrammeSnapshot s = Parser::snapshot(html, url);
        EXPECT_EQ(s.kind, Kind::unknown);
        EXPECT_TRUE(s.events.isEmpty());
        EXPECT_TRUE(s.people.isEmpty());
    };
    expectNothing(QStringLiteral("<div>").repeated(100'000) + QStringLiteral("</div>").repeated(100'000));
    expectNothing(QStringLiteral("<span class=\"id-value\">1</span><span class=\"title\">").repeated(200'000));
    expectNothing(QStringLiteral("<tr><th>").repeated(300'000));
    expectNothing(QStringLiteral("<span").repeated(1'000'000));
    expectNothing(QStringLiteral("<tr class=\"text-center\"><span class=\"id-value\">").repeated(100'000));
    expectNothing(QString(10 * 1024 * 1024, u'<'));
    expectNothing(QStringLiteral("<script>") + QString(2'000'000, u'a'));
    // Binary content read as Latin-1.
    QByteArray noise(4 * 1024 * 1024, '\0');
    for (qsizetype i = 0; i < noise.size(); ++i) noise[i] = char((i * 2654435761u) >> 13);
    expectNothing(QString::fromLatin1(noise));

    // A lone surrogate is no reason to lose the riders around it.
    QString withSurrogate = page("startlist-table.html");
    withSurrogate.insert(withSurrogate.indexOf(QStringLiteral("BERNARD")), QChar(0xD800));
    EXPECT_EQ(Parser::snapshot(withSurrogate, url).people.size(), 3);
}

// A saved page written the lazy way: no <tbody>, cells and rows never closed, entities named and
// numeric. The riders are those a browser shows, whether the page comes as saved or as the
// browser writes its document back (what the window reads).
TEST(WebParserTest, StartListReadByTheBrowserRules)
{
    const QUrl url(QStringLiteral("https://wj.example.test/2025/cso/startlist/6"));
    const QString saved = page("startlist-unclosed.html");
    const WebProgrammeSnapshot s = Parser::snapshot(saved, url);
    EXPECT_EQ(s.kind, Kind::startlist);
    EXPECT_EQ(riders(s.people), QStringList({QString::fromUtf8("201 LEFÈVRE/Renée @1"), QString::fromUtf8("202 DE LA TOUR/Hélène @2"),
                                             "203 MARTIN & FILS/Paul @3"}));
    EXPECT_EQ(s.contestTitle, QString::fromUtf8("Liste de départ"));

    const QString document = WebHtml::documentHTML(saved);
    EXPECT_TRUE(document.contains(QStringLiteral("<tbody><tr><th>Ordre</th>")));
    EXPECT_TRUE(document.contains(QStringLiteral("<td>203</td>")));
    EXPECT_FALSE(document.contains(QStringLiteral("SCRIPT Jean")));
    EXPECT_FALSE(document.contains(QStringLiteral("COMMENTAIRE")));
    EXPECT_EQ(Parser::snapshot(document, url), s);
    // Writing the document back is stable, as reading a browser's own output must be.
    EXPECT_EQ(WebHtml::documentHTML(document), document);

    // Text and attribute values come back escaped as a browser writes them.
    EXPECT_EQ(WebHtml::documentHTML(u"<p title='a\"b&amp;c'>x &lt; y&nbsp;&gt; z & w</p>"),
              QStringLiteral("<html><head></head><body><p title=\"a&quot;b&amp;c\">x &lt; y&nbsp;&gt; z &amp; w</p></body></html>"));
}

// Past the depth at which a browser stops nesting, deeper tags are left out, not their text.
TEST(WebParserTest, NestingIsBoundedAsInABrowser)
{
    const QString deep = QStringLiteral("<div>").repeated(2000) + QStringLiteral("Bas") + QStringLiteral("</div>").repeated(2000);
    const QString document = WebHtml::documentHTML(deep);
    EXPECT_TRUE(document.contains(QStringLiteral("Bas")));
    EXPECT_LT(document.count(QStringLiteral("<div>")), 600);
    // A long table of unclosed cells is not deep: every cell closes the one before.
    QString rows = QStringLiteral("<table>");
    for (int i = 1; i <= 400; ++i) rows += QStringLiteral("<tr><td>%1<td>%2<td>CHEVAL<td>NOM%1 Prenom").arg(i).arg(i + 100);
    EXPECT_EQ(Parser::peopleFromWinJumpTable(rows).size(), 400);
}
