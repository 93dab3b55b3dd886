#include "LocalHttpServer.h"
#include "ProgrammeTestSupport.h"
#include "base/AppSupport.h"
#include "base/TavrinJSON.h"
#include "programme/ProgrammeBrowserModel.h"

#include <QFile>
#include <QJsonArray>

#include <gtest/gtest.h>

using namespace tavrin;
using namespace tavrin::test;

namespace {

QString favoritesPath() { return AppSupport::fileInFolder(QStringLiteral("programme-favorites.json")); }

QStringList urls(const QList<ProgrammeFavorite>& items)
{
    QStringList out;
    for (const ProgrammeFavorite& f : items) out << f.url;
    return out;
}

// A page whose HTML the test decides, with a history like a browser's.
class FakePage : public WebProgrammePage {
public:
    QHash<QString, QString> site; // HTML by address; a missing address fails to load
    QList<QUrl> history;
    qsizetype current = -1;
    bool htmlReadable = true;

    void load(const QUrl& url) override
    {
        history.resize(current + 1);
        history.push_back(url);
        show(history.size() - 1);
    }
    void goBack() override { show(current - 1); }
    void goForward() override { show(current + 1); }
    void reload() override { show(current); }
    bool canGoBack() const override { return current > 0; }
    bool canGoForward() const override { return current + 1 < history.size(); }
    QUrl url() const override { return current >= 0 ? history[current] : QUrl(); }
    QString title() const override { return QStringLiteral("CSo Timing - Page"); }
    void readHTML(std::function<void(std::optional<QString>)> done) override
    {
        done(htmlReadable ? std::optional(site.value(url().toString())) : std::nullopt);
    }

private:
    void show(qsizetype index)
    {
        current = index;
        if (navigationStarted) navigationStarted();
        if (navigationFinished) navigationFinished(site.contains(url().toString()));
    }
};

const QString kRiders = QStringLiteral(
    "<table><tr class=\"text-center\"><td><span class=\"id-value\">7</span></td>"
    "<td><span class=\"title no_mobile\">Anne DUVAL</span></td></tr></table>");

} // namespace

TEST(WebFavoritesTest, SeedMigrationKeepsUserChoices)
{
    TempDataDir data;
    // No file: the built-in sites, nothing written.
    EXPECT_EQ(ProgrammeFavorites::load(), ProgrammeFavorites::builtIns());
    EXPECT_FALSE(QFile::exists(favoritesPath()));

    // Seed 1 holding one built-in site written differently and a site of the user's own.
    const ProgrammeFavorite own{QUuid::createUuid(), QStringLiteral("Mon club"), QStringLiteral("https://club.example.test")};
    ProgrammeFavorite horse = ProgrammeFavorites::builtIns()[1];
    horse.url = horse.url.toUpper().chopped(1) + QStringLiteral(" ");
    writeFile(favoritesPath(), TavrinJSON::encode(QJsonObject{{"seedVersion", 1}, {"items", QJsonArray{toJson(own), toJson(horse)}}}));
    const QList<ProgrammeFavorite> migrated = ProgrammeFavorites::load();
    const auto& builtIn = ProgrammeFavorites::builtIns();
    EXPECT_EQ(migrated, QList<ProgrammeFavorite>({own, horse, builtIn[0], builtIn[2], builtIn[3]}));
    EXPECT_EQ(TavrinJSON::decodeObject(readFile(favoritesPath())).value("seedVersion").toInt(), 2);
    EXPECT_EQ(ProgrammeFavorites::load(), migrated);

    // At seed 2 a removed built-in site stays removed.
    ProgrammeFavorites::save({own});
    EXPECT_EQ(ProgrammeFavorites::load(), QList<ProgrammeFavorite>({own}));

    // A file nobody can read gives the built-in sites and is set aside before being replaced.
    writeFile(favoritesPath(), "{ not json");
    EXPECT_EQ(ProgrammeFavorites::load(), builtIn);
    ProgrammeFavorites::save({own});
    EXPECT_EQ(QDir(data.path()).entryList({QStringLiteral("programme-favorites.json.unreadable-*")}).size(), 1);
}

TEST(WebBrowserModelTest, NavigationDrivesStatusAndImportButtons)
{
    TempDataDir data;
    ProgrammeBrowserModel model;
    EXPECT_EQ(model.status(), QString::fromUtf8("Ouvrez un concours, puis importez le programme."));

    // An address typed before the page exists is loaded when it comes, over HTTPS.
    model.setURLString(QStringLiteral(" www.example.test/events/3/startlist/1 "));
    model.submitURL();
    EXPECT_EQ(model.pendingURL(), QUrl("https://www.example.test/events/3/startlist/1"));
    FakePage page;
    page.site[QStringLiteral("https://www.example.test/events/3/startlist/1")] = kRiders;
    page.site[QStringLiteral("https://www.example.test/events/3")] =
        QStringLiteral("<title>OChrono - Derby</title><table><tr><td><span class=\"title\">1 - A</span>"
                       "<a href=\"/events/3/startlist/1\">x</a></td></tr></table>");
    model.attach(&page);
    EXPECT_FALSE(model.pendingURL());
    EXPECT_EQ(model.kind(), WebProgrammeSnapshot::Kind::startlist);
    EXPECT_TRUE(model.canImportEvent());
    // From the start list, its competition (derived from the address) can be imported.
    EXPECT_TRUE(model.canImportContest());
    EXPECT_EQ(model.contestImportTitle(), "Importer le concours");
    EXPECT_EQ(model.status(), QString::fromUtf8("Liste de départ · 1 cavalier · n° dossard (Num)"));

    model.setURLString(QStringLiteral("https://www.example.test/events/3"));
    model.submitURL();
    EXPECT_EQ(model.kind(), WebProgrammeSnapshot::Kind::contest);
    EXPECT_FALSE(model.canImportEvent());
    EXPECT_TRUE(model.canImportContest());
    EXPECT_EQ(model.contestImportTitle(), "Importer tout le concours");
    EXPECT_EQ(model.status(), QString::fromUtf8("Derby · 1 épreuve"));
    EXPECT_TRUE(model.canGoBack());

    model.goBack();
    EXPECT_EQ(model.urlString(), "https://www.example.test/events/3/startlist/1");
    EXPECT_TRUE(model.canGoForward());

    // A page that fails to load, then one whose HTML cannot be read: nothing to import.
    model.setURLString(QStringLiteral("https://nowhere.test/"));
    model.submitURL();
    EXPECT_FALSE(model.canImportEvent() || model.canImportContest());
    EXPECT_EQ(model.status(), QString::fromUtf8("La page https://nowhere.test/ n’a pas pu être affichée."));
    page.htmlReadable = false;
    model.goBack();
    EXPECT_EQ(model.kind(), WebProgrammeSnapshot::Kind::unknown);
    EXPECT_EQ(model.status(), QString::fromUtf8("Ouvrez un concours, puis importez le programme."));
    model.attach(nullptr);
}

TEST(WebBrowserModelTest, ImportsHandTheDocumentOverOrSayWhy)
{
    TempDataDir data;
    LocalHttpServer server([](const HttpRequest& request) {
        HttpResponse response;
        if (request.path == u"/startlist/2") response.status = 500;
        else response.body = kRiders.toUtf8();
        return response;
    });
    ProgrammeBrowserModel model;
    FakePage page;
    model.attach(&page);
    QList<ProgrammeDocument> imported;
    model.onImport = [&](const ProgrammeDocument& document) { imported << document; };

    const QString shown = server.url(QStringLiteral("/startlist/1")).toString();
    page.site[shown] = kRiders;
    model.setURLString(shown);
    model.submitURL();
    model.importProgramme(ProgrammeBrowserModel::Scope::currentEvent);
    ASSERT_EQ(imported.size(), 1);
    EXPECT_EQ(imported[0].days[0].events[0].people[0].lastName, "DUVAL");
    EXPECT_FALSE(model.isImporting());

    // A competition with one list that fails: the reason is shown, nothing is handed over.
    const QString contest = server.url(QStringLiteral("/concours")).toString();
    page.site[contest] = QStringLiteral("<table><tr><td><span class=\"title\">1 - A</span><a href=\"/startlist/1\">x</a></td></tr>"
                                        "<tr><td><span class=\"title\">2 - B</span><a href=\"/startlist/2\">x</a></td></tr></table>");
    model.setURLString(contest);
    model.submitURL();
    model.importProgramme(ProgrammeBrowserModel::Scope::currentEvent); // not offered on a competition page
    model.importProgramme(ProgrammeBrowserModel::Scope::contest);
    EXPECT_TRUE(model.isImporting());
    model.importProgramme(ProgrammeBrowserModel::Scope::contest); // one import at a time
    ASSERT_TRUE(waitFor([&] { return !model.isImporting(); }));
    EXPECT_EQ(imported.size(), 1);
    EXPECT_EQ(model.importError(), QStringLiteral("La page %1/startlist/2 a répondu 500.").arg(server.url(QString()).toString()));
    EXPECT_EQ(model.status(), QString::fromUtf8("127.0.0.1 · 2 épreuves"));
    EXPECT_EQ(server.requests.size(), 2);
    model.attach(nullptr);
}

TEST(WebBrowserModelTest, FavoriteStarTogglesTheCurrentSite)
{
    TempDataDir data;
    ProgrammeBrowserModel model;
    FakePage page;
    page.site[QStringLiteral("https://club.example.test/concours")] = QString();
    model.attach(&page);
    model.setURLString(QStringLiteral("club.example.test/concours"));
    model.submitURL();
    EXPECT_FALSE(model.isCurrentFavorite());
    model.toggleFavorite();
    EXPECT_TRUE(model.isCurrentFavorite());
    EXPECT_EQ(model.favorites().last().title, "Page");
    EXPECT_EQ(urls(ProgrammeFavorites::load()).last(), "https://club.example.test/concours");

    model.setURLString(QStringLiteral("HTTPS://CLUB.example.test/concours/"));
    model.toggleFavorite();
    EXPECT_FALSE(model.isCurrentFavorite());
    EXPECT_EQ(ProgrammeFavorites::load().size(), 4);

    model.removeFavorite(ProgrammeFavorites::builtIns()[0].id);
    EXPECT_EQ(urls(ProgrammeFavorites::load()), urls(ProgrammeFavorites::builtIns()).mid(1));
    model.open(model.favorites().first());
    EXPECT_EQ(page.url(), QUrl(ProgrammeFavorites::builtIns()[1].url));
    model.attach(nullptr);
}
