// The browser window with the real page engine, against pages served on 127.0.0.1. WebEngine
// runs on the offscreen platform; where it cannot start, the test says so and is skipped.
#include "LocalHttpServer.h"
#include "ProgrammeTestSupport.h"
#include "programme/views/ProgrammeBrowserView.h"
#include "ui/CapsuleButton.h"

#include <QApplication>

#include <gtest/gtest.h>

using namespace tavrin;
using namespace tavrin::test;

namespace {

CapsuleButton* button(QWidget& window, const QString& text)
{
    for (CapsuleButton* b : window.findChildren<CapsuleButton*>())
        if (b->text() == text) return b;
    return nullptr;
}

} // namespace

TEST(BrowserWindowTest, BrowsesImportsAndSurvivesHostilePages)
{
    TempDataDir data;
    const QByteArray riders = readFile(fixture(QStringLiteral("web/startlist-cards.html")));
    QByteArray noise(1024 * 1024, '\0');
    for (qsizetype i = 0; i < noise.size(); ++i) noise[i] = char((i * 2654435761u) >> 11);
    LocalHttpServer server([&](const HttpRequest& request) {
        HttpResponse response;
        // Ten megabytes the engine need not lay out, but that come back as the page's HTML.
        if (request.path == u"/big") response.body = "<html><body><p>Rien</p><pre hidden>" + QByteArray("0123456789").repeated(1024 * 1024) + "</pre>";
        else if (request.path == u"/nested") response.body = QByteArray("<div>").repeated(100'000);
        else if (request.path == u"/binary") response.body = noise;
        else response.body = riders;
        return response;
    });

    ProgrammeBrowserView window;
    std::optional<ProgrammeDocument> imported;
    window.onImport = [&](const ProgrammeDocument& document) { imported = document; };
    window.show();
    ASSERT_TRUE(window.hasPageEngine()) << "the page engine module could not be loaded";
    ProgrammeBrowserModel& model = window.model();

    const auto visit = [&](const QString& path) {
        model.setURLString(server.url(path).toString());
        model.submitURL();
        return waitFor([&] { return !model.isLoading() && model.status() != QString::fromUtf8("Chargement…"); }, 60) &&
               waitFor([&] { return model.urlString() == server.url(path).toString(); }, 10);
    };
    if (!visit(QStringLiteral("/concours/7/startlist/3")) || !waitFor([&] { return model.canImportEvent(); }, 30))
        GTEST_SKIP() << "Qt WebEngine did not show a page on the platform " << qPrintable(QGuiApplication::platformName());

    EXPECT_EQ(model.status(), QString::fromUtf8("Liste de départ · 3 cavaliers · n° dossard (Num)"));
    CapsuleButton* importEvent = button(window, QString::fromUtf8("Importer cette épreuve"));
    ASSERT_TRUE(importEvent);
    EXPECT_TRUE(importEvent->isEnabled());

    // A 10 MB page, binary noise served as HTML, a host that refuses: the window says there is
    // nothing to import and goes on. A hundred thousand nested tags keep the engine busy for
    // minutes: the next address is shown all the same.
    EXPECT_TRUE(visit(QStringLiteral("/big")));
    EXPECT_TRUE(waitFor([&] { return model.kind() == WebProgrammeSnapshot::Kind::unknown && !model.canImportEvent(); }, 60));
    model.setURLString(server.url(QStringLiteral("/nested")).toString());
    model.submitURL();
    waitFor([] { return false; }, 4);
    EXPECT_TRUE(visit(QStringLiteral("/binary")));
    EXPECT_TRUE(waitFor([&] { return !model.canImportEvent() && !model.canImportContest(); }, 60));
    QTcpServer closed;
    ASSERT_TRUE(closed.listen(QHostAddress::LocalHost));
    const QString refused = QStringLiteral("http://127.0.0.1:%1/").arg(closed.serverPort());
    closed.close();
    model.setURLString(refused);
    model.submitURL();
    EXPECT_TRUE(waitFor([&] { return model.status().endsWith(QString::fromUtf8("n’a pas pu être affichée.")); }, 60));

    // Back on a start list, the star keeps the site and the import closes the window.
    ASSERT_TRUE(visit(QStringLiteral("/concours/7/startlist/3")));
    ASSERT_TRUE(waitFor([&] { return model.canImportEvent(); }, 30));
    CapsuleButton* star = nullptr;
    for (CapsuleButton* b : window.findChildren<CapsuleButton*>())
        if (b->toolTip() == u"Ajouter aux favoris") star = b;
    ASSERT_TRUE(star);
    star->click();
    EXPECT_TRUE(model.isCurrentFavorite());
    importEvent->click();
    ASSERT_TRUE(waitFor([&] { return imported.has_value(); }, 30));
    EXPECT_EQ(imported->days[0].events[0].people.size(), 3);
    EXPECT_EQ(imported->sourceName, QString::fromUtf8("Grand Prix Pro 2 - Liste de départ"));
    EXPECT_FALSE(window.isVisible());
}
