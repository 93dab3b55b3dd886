#include "LocalHttpServer.h"
#include "ProgrammeTestSupport.h"
#include "programme/WebProgrammeImporter.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include <gtest/gtest.h>

using namespace tavrin;
using namespace tavrin::test;
using namespace std::chrono_literals;

namespace {

QByteArray startList(int event)
{
    QByteArray rows;
    for (int i = 1; i <= 3; ++i)
        rows += QStringLiteral("<tr class=\"text-center\"><td><span class=\"id-value\">%1</span></td>"
                               "<td><span class=\"title no_mobile\">Rider%2 NOM%1</span></td></tr>")
                    .arg(event * 10 + i)
                    .arg(QChar(u'A' + i))
                    .toUtf8();
    // The first rider again, as a page shown twice for phones would list him.
    rows += QStringLiteral("<tr class=\"text-center\"><td><span class=\"id-value\">%1</span></td>"
                           "<td><span class=\"title no_mobile\">Again NOM</span></td></tr>")
                .arg(event * 10 + 1)
                .toUtf8();
    return "<html><head><title>Liste</title></head><body><table><tbody>" + rows + "</tbody></table></body></html>";
}

// A competition of `count` events over two days, each start list on a port of its own so that
// the client's own per-site connection limit cannot hide how many requests the importer sends.
QByteArray contestPage(const LocalHttpServer& server, int count, int portCount)
{
    QByteArray html = "<html><head><title>CSo Timing - Grand National</title></head><body><table>";
    for (int event = 1; event <= count; ++event) {
        if (event == 1) html += "<tr><th>Samedi</th></tr>";
        if (event == count / 2 + 1) html += "<tr><th>Dimanche</th></tr>";
        html += QStringLiteral("<tr><td><span class=\"title\">%1 - Epreuve %1</span></td><td><a href=\"%2\">Liste</a></td></tr>")
                    .arg(event)
                    .arg(server.url(QStringLiteral("/startlist/%1").arg(event), (event - 1) % portCount).toString())
                    .toUtf8();
    }
    return html + "</table></body></html>";
}

struct ContestRun {
    WebProgrammeImporter::Outcome outcome;
    QStringList progress;
    bool finished = false;
};

ContestRun importContest(WebProgrammeImporter& importer, const QString& html, const QUrl& pageURL)
{
    ContestRun run;
    importer.documentForContest(
        html, pageURL, [&](const QString& status) { run.progress << status; },
        [&](const WebProgrammeImporter::Outcome& outcome) {
            run.outcome = outcome;
            run.finished = true;
        });
    waitFor([&] { return run.finished; });
    return run;
}

WebProgrammeImporter::Fetched fetch(WebProgrammeImporter& importer, const QUrl& url)
{
    WebProgrammeImporter::Fetched result;
    bool done = false;
    importer.fetchHTML(url, [&](const WebProgrammeImporter::Fetched& fetched) {
        result = fetched;
        done = true;
    });
    EXPECT_TRUE(waitFor([&] { return done; }));
    return result;
}

} // namespace

TEST(WebImportTest, ContestOfFourteenListsAtMostSixAtOnceInPageOrder)
{
    constexpr int kEvents = 14;
    LocalHttpServer* serverPtr = nullptr;
    LocalHttpServer server(
        [&](const HttpRequest& request) {
            HttpResponse response;
            if (request.path == u"/contest") {
                response.body = contestPage(*serverPtr, kEvents, kEvents);
                response.headers = {{"Set-Cookie", "session=abc; Path=/"}};
                return response;
            }
            const int event = request.path.section(u'/', -1).toInt();
            response.body = startList(event);
            // Later events answer first, so arrival order differs from the page's.
            response.delayMs = 40 + (kEvents - event) * 15;
            return response;
        },
        kEvents);
    serverPtr = &server;

    WebProgrammeImporter importer;
    const WebProgrammeImporter::Fetched contest = fetch(importer, server.url(QStringLiteral("/contest")));
    ASSERT_TRUE(contest.html) << contest.errorMessage.toStdString();
    const ContestRun run = importContest(importer, *contest.html, server.url(QStringLiteral("/contest")));
    ASSERT_TRUE(run.outcome.document) << run.outcome.errorMessage.toStdString();

    EXPECT_EQ(server.peakInFlight, WebProgrammeImporter::kMaxStartlistsInFlight);
    const ProgrammeDocument& document = *run.outcome.document;
    EXPECT_EQ(document.sourceName, "Grand National");
    ASSERT_EQ(document.days.size(), 2);
    EXPECT_EQ(document.days[0].name, "Samedi");
    EXPECT_EQ(document.days[1].name, "Dimanche");
    QStringList titles;
    for (const ProgrammeDay& day : document.days)
        for (const ProgrammeEvent& event : day.events) titles << event.id;
    ASSERT_EQ(titles.size(), kEvents);
    EXPECT_EQ(titles.first(), QString::fromUtf8("Samedi|1 · Epreuve 1"));
    EXPECT_EQ(titles.last(), QString::fromUtf8("Dimanche|14 · Epreuve 14"));
    for (int i = 0; i < kEvents; ++i) EXPECT_TRUE(titles[i].endsWith(QStringLiteral("Epreuve %1").arg(i + 1))) << i;
    // Riders in start order, each number once.
    const ProgrammeEvent& first = document.days[0].events[0];
    ASSERT_EQ(first.people.size(), 3);
    EXPECT_EQ(first.people[0].canonicalNumber, "11");
    EXPECT_EQ(first.people[0].lastName, "NOM11");
    EXPECT_EQ(first.people[2].canonicalNumber, "13");

    EXPECT_EQ(run.progress.first(), QString::fromUtf8("Récupération de 14 listes de départ…"));
    EXPECT_EQ(run.progress.last(), QString::fromUtf8("Listes de départ reçues : 14 sur 14…"));
    // Every request carried the two headers and no cookie, the one set by the site included.
    ASSERT_EQ(server.requests.size(), kEvents + 1);
    for (const HttpRequest& request : server.requests) {
        EXPECT_TRUE(request.head.contains("\r\nUser-Agent: Mozilla/5.0 (Macintosh; Intel Mac OS X 10_15_7) AppleWebKit/605.1.15 "
                                          "(KHTML, like Gecko) Version/17.6 Safari/605.1.15\r\n"));
        EXPECT_TRUE(request.head.contains("\r\nAccept: text/html,application/xhtml+xml\r\n"));
        EXPECT_FALSE(request.head.toLower().contains("\r\ncookie:"));
    }
}

TEST(WebImportTest, FromAStartListTheCompetitionPageIsRead)
{
    LocalHttpServer* serverPtr = nullptr;
    LocalHttpServer server([&](const HttpRequest& request) {
        HttpResponse response;
        if (request.path == u"/events/7") response.body = contestPage(*serverPtr, 2, 1);
        else response.body = startList(request.path.section(u'/', -1).toInt());
        return response;
    });
    serverPtr = &server;
    WebProgrammeImporter importer;
    const QUrl shown = server.url(QStringLiteral("/events/7/startlist/2"));

    const ProgrammeDocument single = WebProgrammeImporter::documentForCurrentEvent(QString::fromUtf8(startList(2)), shown);
    ASSERT_EQ(single.days.size(), 1);
    EXPECT_EQ(single.days[0].events[0].id, QString::fromUtf8("Programme|Liste de départ"));
    EXPECT_EQ(single.days[0].events[0].people.size(), 3);

    const ContestRun run = importContest(importer, QString::fromUtf8(startList(2)), shown);
    ASSERT_TRUE(run.outcome.document) << run.outcome.errorMessage.toStdString();
    ASSERT_EQ(run.outcome.document->days.size(), 2);
    EXPECT_EQ(run.outcome.document->days[1].events[0].people.size(), 3);
    EXPECT_EQ(server.requests.first().path, "/events/7");
}

TEST(WebImportTest, FailuresEndWithTheirFrenchMessage)
{
    LocalHttpServer server([](const HttpRequest& request) {
        HttpResponse response;
        if (request.path.startsWith(u"/missing")) response.status = 404;
        else if (request.path.startsWith(u"/startlist")) response.body = startList(1);
        else if (request.path == u"/loop") response = {302, {}, {{"Location", "/loop"}}};
        else if (request.path == u"/silent") response.neverAnswer = true;
        else if (request.path == u"/huge") response = {200, "<html>", {{"Content-Length", "400000000"}}, 0, false};
        else if (request.path == u"/image") response = {200, QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16), {}, 0, false};
        else if (request.path == u"/latin1") response.body = QByteArray("<html><title>Caf\xe9</title></html>");
        return response;
    });
    WebProgrammeImporter importer(nullptr, 300ms);
    const auto message = [&](const char* path) { return fetch(importer, server.url(QString::fromLatin1(path))).errorMessage; };
    const QString base = server.url(QString()).toString();

    EXPECT_EQ(message("/missing"), "La page " + base + "/missing a répondu 404.");
    EXPECT_EQ(message("/loop"), "La page " + base + "/loop redirige sans fin.");
    EXPECT_EQ(message("/silent"), "La page " + base + "/silent ne répond pas.");
    EXPECT_EQ(message("/huge"), "La page " + base + QString::fromUtf8("/huge est trop volumineuse pour être un programme."));
    EXPECT_EQ(message("/image"), "La page " + base + "/image ne contient pas de texte.");
    EXPECT_EQ(fetch(importer, server.url(QStringLiteral("/latin1"))).html, QString::fromUtf8("<html><title>Café</title></html>"));

    QTcpServer closed;
    ASSERT_TRUE(closed.listen(QHostAddress::LocalHost));
    const QUrl refused(QStringLiteral("http://127.0.0.1:%1/").arg(closed.serverPort()));
    closed.close();
    EXPECT_EQ(fetch(importer, refused).errorMessage,
              QString::fromUtf8("Impossible de joindre ") + refused.toString() + QString::fromUtf8(". Vérifiez la connexion à internet."));

    // One start list that fails ends the competition import with its reason.
    const QByteArray contest = "<table><tr><td><span class=\"title\">1 - A</span><a href=\"/startlist/1\">x</a></td></tr>"
                               "<tr><td><span class=\"title\">2 - B</span><a href=\"/missing/startlist\">x</a></td></tr></table>";
    const ContestRun run = importContest(importer, QString::fromUtf8(contest), server.url(QStringLiteral("/c")));
    EXPECT_FALSE(run.outcome.document);
    EXPECT_EQ(run.outcome.errorMessage, "La page " + base + "/missing/startlist a répondu 404.");

    // A page that is no programme at all.
    const ContestRun nothing = importContest(importer, QStringLiteral("<p>").repeated(10000), server.url(QStringLiteral("/c")));
    EXPECT_EQ(nothing.outcome.errorMessage,
              QString::fromUtf8("Cette page ne contient pas de programme exploitable. Ouvrez un concours ou une liste de départ."));
}

TEST(WebImportTest, CommandLineImportsAListAndACompetition)
{
    LocalHttpServer* serverPtr = nullptr;
    LocalHttpServer server([&](const HttpRequest& request) {
        HttpResponse response;
        if (request.path == u"/events/5") response.body = contestPage(*serverPtr, 3, 1);
        else if (request.path.startsWith(u"/startlist/")) response.body = startList(request.path.section(u'/', -1).toInt());
        else response.status = 404;
        return response;
    });
    serverPtr = &server;
    const auto run = [&](const QStringList& arguments) {
        QProcess cli;
        cli.start(binDir() + QStringLiteral("/tavrin-cli"), arguments);
        waitFor([&] { return cli.state() == QProcess::NotRunning; }, 60);
        return std::tuple(cli.exitCode(), cli.readAllStandardOutput(), QString::fromUtf8(cli.readAllStandardError()));
    };
    const auto [listStatus, list, listError] = run({"programme", "web", server.url(QStringLiteral("/startlist/2")).toString()});
    EXPECT_EQ(listStatus, 0) << listError.toStdString();
    EXPECT_EQ(decodeProgramme(list).days[0].events[0].people.size(), 3);

    const auto [contestStatus, contest, contestError] = run({"programme", "web", "--contest", server.url(QStringLiteral("/events/5")).toString()});
    EXPECT_EQ(contestStatus, 0) << contestError.toStdString();
    const ProgrammeDocument document = decodeProgramme(contest);
    EXPECT_EQ(outline(document.days).size(), 3);

    const auto [missingStatus, missing, missingError] = run({"programme", "web", server.url(QStringLiteral("/nothing")).toString()});
    EXPECT_EQ(missingStatus, 1);
    EXPECT_TRUE(missing.isEmpty());
    EXPECT_EQ(missingError.trimmed(), "La page " + server.url(QStringLiteral("/nothing")).toString() + " a répondu 404.");

    // A saved page read by the command line gives the riders the window finds on it.
    const auto [savedStatus, saved, savedError] =
        run({"programme", "snapshot", "--html", fixture(QStringLiteral("web/startlist-unclosed.html")), "--url",
             "https://wj.example.test/2025/cso/startlist/6"});
    EXPECT_EQ(savedStatus, 0) << savedError.toStdString();
    const QJsonArray people = QJsonDocument::fromJson(saved).object().value(u"people").toArray();
    ASSERT_EQ(people.size(), 3);
    EXPECT_EQ(people[1].toObject().value(u"canonicalNumber").toString(), "202");
}

TEST(WebImportTest, CancelStopsEveryCallback)
{
    LocalHttpServer server([](const HttpRequest&) { return HttpResponse{200, startList(1), {}, 200, false}; });
    WebProgrammeImporter importer;
    bool called = false;
    importer.fetchHTML(server.url(QStringLiteral("/startlist/1")), [&](const WebProgrammeImporter::Fetched&) { called = true; });
    ASSERT_TRUE(waitFor([&] { return server.requests.size() == 1; }));
    importer.cancel();
    waitFor([] { return false; }, 1);
    EXPECT_FALSE(called);
}

TEST(WebImportTest, PreparedAddresses)
{
    EXPECT_EQ(WebProgrammeImporter::preparedURL(u"  www.example.fr/concours\n"), QUrl("https://www.example.fr/concours"));
    EXPECT_EQ(WebProgrammeImporter::preparedURL(u"http://127.0.0.1:8080/x"), QUrl("http://127.0.0.1:8080/x"));
    EXPECT_EQ(WebProgrammeImporter::preparedURL(u"localhost:8080/a"), QUrl("https://localhost:8080/a"));
    EXPECT_FALSE(WebProgrammeImporter::preparedURL(u"   "));
}
