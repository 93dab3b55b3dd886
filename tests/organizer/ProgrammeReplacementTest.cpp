// A wrong programme chosen in a hurry: asked about first when it would cost rows their rider,
// and one « Annuler » away once in place.

#include "OrganizerTestSupport.h"
#include "base/AppSupport.h"
#include "organizer/RiderFoldersModel.h"
#include "organizer/RiderFoldersStore.h"
#include "organizer/SpreadsheetWorkspaceModel.h"

#include <QProcess>

#include <gtest/gtest.h>

using namespace tavrin;
using namespace tavrin::test;

namespace {

const QString kVitesse = QStringLiteral("Samedi|Epreuve 10 - Vitesse (1,10 m)");

struct Replacement : ::testing::Test {
    TempDataDir data;
    LibraryStore library;
    WorkspaceStore workspace;
    QUuid sheet;

    void SetUp() override
    {
        sheet = library.addSpreadsheet(library.addDay(QStringLiteral("Samedi")).id, QStringLiteral("Vitesse")).id;
        workspace.ingestProgramme(fixture("programme/weekend.xlsx"));
        workspace.selectDay(QStringLiteral("Samedi"), sheet);
        workspace.selectEvent(kVitesse, sheet);
        // Four rows of the class's riders, one number nobody has.
        for (const QString number : {"101", "102", "103", "104", "999"}) {
            const QUuid last = library.snapshot().spreadsheet(sheet)->rows.last().id;
            library.updateRow(sheet, last, QStringLiteral("1"), number);
        }
    }
    QStringList stored() const
    {
        return QDir(AppSupport::folder()).entryList({"programme*", ".programme*"}, QDir::Files | QDir::Hidden, QDir::Name);
    }
    std::pair<int, QString> cli(const QStringList& arguments) const
    {
        QProcess process;
        process.start(binDir() + "/tavrin-cli", QStringList{"--data-dir", data.path()} + arguments);
        EXPECT_TRUE(process.waitForFinished(60000));
        return {process.exitCode(), QString::fromUtf8(process.readAllStandardError()).trimmed()};
    }
};

} // namespace

TEST_F(Replacement, AProgrammeThatWouldCostRowsTheirRiderAsksFirstAndComesBackWithAnnuler)
{
    SpreadsheetWorkspaceModel model(library, workspace);
    model.setSpreadsheet(sheet);
    const ProgrammeDocument before = *workspace.programme();
    const QByteArray copy = readFile(AppSupport::folder() + "/programme.xlsx");

    // Another day's list: the four rows would lose their rider; a hand-typed name keeps one.
    workspace.setManualRider(sheet, "104", QStringLiteral("Leroy"), QStringLiteral("Élodie"));
    model.importProgramme(fixture("programme/numbers-only.pdf"));
    ASSERT_TRUE(model.replaceQuestion());
    EXPECT_EQ(*model.replaceQuestion(), "Remplacer le programme ? 3 lignes qui trouvent leur cavalier n’en trouveraient plus.");
    model.answerReplaceQuestion(false);
    EXPECT_EQ(workspace.programme(), before);
    EXPECT_EQ(stored(), QStringList({"programme.json", "programme.xlsx"}));

    model.importProgramme(fixture("programme/numbers-only.pdf"));
    model.answerReplaceQuestion(true);
    EXPECT_EQ(workspace.programmeName(), "numbers-only.pdf");
    EXPECT_EQ(model.replacementBanner(), "Programme remplacé par « numbers-only.pdf » (4 cavaliers).");
    EXPECT_TRUE(QFile::exists(AppSupport::folder() + "/programme.pdf"));
    EXPECT_FALSE(model.preview(library.snapshot().spreadsheet(sheet)->rows[0].id)->hasName);

    // « Annuler »: the programme, its name and its copy as they were, the rows matched again.
    model.undoProgrammeReplacement();
    EXPECT_FALSE(model.replacementBanner());
    EXPECT_EQ(workspace.programme(), before);
    EXPECT_EQ(workspace.programmeName(), "weekend.xlsx");
    EXPECT_EQ(stored(), QStringList({"programme.json", "programme.xlsx"}));
    EXPECT_EQ(readFile(AppSupport::folder() + "/programme.xlsx"), copy);
    EXPECT_TRUE(model.preview(library.snapshot().spreadsheet(sheet)->rows[0].id)->hasName);
    // The store opened again finds it too.
    EXPECT_EQ(WorkspaceStore().programme(), before);

    // A programme that costs no row replaces at once, and still says so.
    model.importProgramme(fixture("programme/weekend.xlsx"));
    EXPECT_FALSE(model.replaceQuestion());
    EXPECT_EQ(model.replacementBanner(), "Programme remplacé par « weekend.xlsx » (10 cavaliers).");
}

TEST_F(Replacement, RiderFoldersAskAboutTheSameRowsAndUndoToo)
{
    RiderFoldersStore store;
    store.ingestProgramme(fixture("programme/weekend.xlsx"));
    RiderFoldersModel model(store);
    model.library = &library;
    model.importProgramme(fixture("programme/numbers-only.pdf"));
    ASSERT_TRUE(model.replaceQuestion());
    EXPECT_EQ(*model.replaceQuestion(), "Remplacer le programme ? 4 lignes qui trouvent leur cavalier n’en trouveraient plus.");
    model.answerReplaceQuestion(true);
    EXPECT_EQ(model.replacementBanner(), "Programme remplacé par « numbers-only.pdf » (4 cavaliers).");
    EXPECT_EQ(model.namedPeople().size(), 4);
    model.undoProgrammeReplacement();
    EXPECT_EQ(store.programmeName(), "weekend.xlsx");
    EXPECT_EQ(model.namedPeople().size(), 9);
    EXPECT_TRUE(QFile::exists(AppSupport::riderFoldersFolder() + "/programme.xlsx"));
    EXPECT_FALSE(QFile::exists(AppSupport::riderFoldersFolder() + "/programme.pdf"));
}

TEST_F(Replacement, TheCommandLineRefusesUnlessToldToReplace)
{
    const QString question = "Remplacer le programme ? 4 lignes qui trouvent leur cavalier n’en trouveraient plus.";
    for (const QString command : {"workspace", "rider-folders"}) {
        if (command == u"rider-folders") {
            EXPECT_EQ(cli({command, "import-programme", fixture("programme/weekend.xlsx")}).first, 0);
        }
        const auto [refused, message] = cli({command, "import-programme", fixture("programme/numbers-only.pdf")});
        EXPECT_EQ(refused, 1) << command.toStdString();
        EXPECT_EQ(message, question) << command.toStdString();
        const auto [replaced, nothing] = cli({command, "import-programme", "--replace", fixture("programme/numbers-only.pdf")});
        EXPECT_EQ(replaced, 0) << nothing.toStdString();
    }
    EXPECT_EQ(WorkspaceStore().programmeName(), "numbers-only.pdf");
    EXPECT_EQ(RiderFoldersStore().programmeName(), "numbers-only.pdf");
}
