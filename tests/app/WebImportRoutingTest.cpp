#include "TestSupport.h"
#include "app/MacRootView.h"
#include "app/SingleInstance.h"
#include "app/TavrinApp.h"
#include "base/AppSupport.h"
#include "programme/views/ProgrammeBrowserView.h"

#include <QFile>

#include <gtest/gtest.h>

using namespace tavrin;

namespace {
// Whether Qt WebEngine is mapped into this process.
bool webEngineLoaded() { return test::readFile(QStringLiteral("/proc/self/maps")).contains("libQt6WebEngineCore"); }
} // namespace

// "Importer depuis une page internet…" opens the browser; what it imports goes to the rider
// folders while "Paniers" is shown, else to the workspace, kept without a source file.
TEST(WebImportRoutingTest, ProgrammeGoesToTheSectionShown)
{
    test::TempDataDir data;
    SingleInstance launches(data.path());
    TavrinApp app(launches);
    MacRootView window(app);
    window.show();
    // The window comes up without the page engine; the browser brings it.
    EXPECT_FALSE(webEngineLoaded());
    app.commands.post(QStringLiteral("tavrinShowPaniers"));
    app.commands.post(QStringLiteral("tavrinImportProgrammeWeb"));
    ProgrammeBrowserView* browser = window.webImport();
    ASSERT_TRUE(browser);
    EXPECT_TRUE(browser->isVisible());
    EXPECT_TRUE(webEngineLoaded());

    const QString oldSource = AppSupport::riderFoldersFolder() + QStringLiteral("/programme.pdf");
    test::writeFile(oldSource, "%PDF");
    const auto programme = [](const char* title) {
        const QString name = QString::fromUtf8(title);
        return ProgrammeDocument{name, {{QStringLiteral("Samedi"), {{QStringLiteral("Samedi|GP"), QStringLiteral("GP"),
                                                                      {{QStringLiteral("12"), QStringLiteral("Jean"), QStringLiteral("DUPONT"), 1}}}}}}};
    };
    // As the browser does once an import is done: it hands the programme over and closes.
    browser->model().onImport(programme("Jumping de Pau"));
    EXPECT_FALSE(browser->isVisible());
    EXPECT_EQ(app.riderFoldersStore.programme(), programme("Jumping de Pau"));
    EXPECT_EQ(app.riderFoldersStore.programmeName(), QStringLiteral("Jumping de Pau"));
    EXPECT_FALSE(QFile::exists(oldSource));
    EXPECT_FALSE(app.workspaceStore.programme());

    app.commands.post(QStringLiteral("tavrinShowTableur"));
    app.commands.post(QStringLiteral("tavrinImportProgrammeWeb"));
    EXPECT_EQ(window.webImport(), browser);
    browser->model().onImport(programme("CSO de Lyon"));
    EXPECT_EQ(app.workspaceStore.programmeName(), QStringLiteral("CSO de Lyon"));
    EXPECT_TRUE(QFile::exists(AppSupport::fileInFolder(QStringLiteral("programme.json"))));
    EXPECT_EQ(app.riderFoldersStore.programmeName(), QStringLiteral("Jumping de Pau"));
}
