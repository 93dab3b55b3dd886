#include "OrganizerTestSupport.h"
#include "base/AppSupport.h"
#include "organizer/RiderFoldersStore.h"
#include "organizer/WorkspaceStore.h"
#include "programme/ProgrammeFileParser.h"

#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace tavrin;
using namespace tavrin::test;

namespace {

const QUuid sheetA = QUuid::fromString(QStringLiteral("AAAAAAAA-0000-0000-0000-000000000001"));
const QUuid sheetB = QUuid::fromString(QStringLiteral("BBBBBBBB-0000-0000-0000-000000000002"));

ProgrammeDocument weekendProgramme()
{
    return ProgrammeDocument{QStringLiteral("programme.xlsx"),
                             {{QStringLiteral("Samedi"),
                               {{QStringLiteral("Samedi|Vitesse"), QStringLiteral("Vitesse"), {rider("12", "DUPONT", "Jean")}},
                                {QStringLiteral("Samedi|GP"), QStringLiteral("GP"), {}}}},
                              {QStringLiteral("Dimanche"), {{QStringLiteral("Dimanche|GP"), QStringLiteral("GP"), {}}}}}};
}

OrganizerReport report(const QString& message) { return OrganizerReport{1, 1, 0, {message}, std::nullopt}; }

} // namespace

TEST(WorkspaceStoreTest, EverythingSurvivesARestartByteForByte)
{
    TempDataDir data;
    QTemporaryDir folders;
    QDir(folders.path()).mkpath("Photos");
    QDir(folders.path()).mkpath("Clé USB");
    {
        WorkspaceStore store;
        store.adoptProgramme(weekendProgramme());
        store.storeFolder(folders.filePath("Photos"), WorkspaceStore::FolderKind::source, sheetA);
        store.storeFolder(folders.filePath("Clé USB") + "/", WorkspaceStore::FolderKind::destination, sheetA);
        store.selectDay("Samedi", sheetA);
        store.selectEvent("Samedi|Vitesse", sheetA);
        store.setManualRider(sheetA, "A\"B", "Ünïcode", "Zoé");
        store.setCompleted(true, sheetA);
        PhotoGroup group{RowRecord{sheetB, "1", "7"}, std::nullopt, *PhotoNumber::parse(u"1"), std::nullopt, {"/x/1.jpg", "/x/2.jpg"}};
        // A date past 2^53 nanoseconds comes back exact.
        const CopiedPhoto copied{"/x/1.jpg", 5, 1765400000123456789, "/d/7/1 copie.jpg"};
        store.rememberTransfers({group}, sheetA, {{sheetB, {copied}}});
        store.recordOrganizer(report("DUPONT JEAN — 2 photos"), sheetA, "Vitesse");
    }
    const QByteArray written = readFile(data.file("workspace.json"));
    WorkspaceStore store;
    const SpreadsheetMacSettings s = store.settings(sheetA);
    EXPECT_EQ(s.sourceName, "Photos");
    EXPECT_EQ(s.destinationName, "Clé USB");
    EXPECT_EQ(store.resolveFolder(WorkspaceStore::FolderKind::destination, sheetA), folders.filePath("Clé USB"));
    EXPECT_EQ(store.selectedEvent(sheetA)->title, "Vitesse");
    EXPECT_EQ(s.manualRiders.value("a\"b"), (ManualRiderName{"Ünïcode", "Zoé"}));
    EXPECT_TRUE(s.isCompleted);
    const CopiedPhoto copied{"/x/1.jpg", 5, 1765400000123456789, "/d/7/1 copie.jpg"};
    EXPECT_EQ(s.rememberedTransfers.value(sheetB), (RememberedPhotoTransfer{{"1.jpg", "2.jpg"}, "1 → fin du dossier"}));
    EXPECT_EQ(store.rememberedCopies(sheetA).values("/x/1.jpg"), QList<CopiedPhoto>{copied});
    ASSERT_EQ(store.actionHistory().size(), 1);
    EXPECT_EQ(store.actionHistory()[0].headline, "1 dossier · 1 photo copiée");
    EXPECT_EQ(store.lastDestinationName(), "Clé USB");
    EXPECT_EQ(store.programmeName(), "programme.xlsx");
    // Written again from what was read, the file is the same to the byte.
    store.setCompleted(false, sheetA);
    store.setCompleted(true, sheetA);
    EXPECT_EQ(readFile(data.file("workspace.json")), written);
}

TEST(WorkspaceStoreTest, PartialAndOlderFilesLoadWithDefaults)
{
    TempDataDir data;
    writeFile(data.file("workspace.json"), R"({"settings": {"AAAAAAAA-0000-0000-0000-000000000001": {
        "sourceName": "Photos", "customEventName": "Libre", "importBookmark": "L3RtcA==",
        "destinationBookmark": "L25vd2hlcmU=", "destinationName": "Ancien"}}})");
    WorkspaceStore store;
    const SpreadsheetMacSettings s = store.settings(sheetA);
    EXPECT_EQ(s.sourceName, "Photos");
    EXPECT_FALSE(s.isCompleted);
    EXPECT_TRUE(s.manualRiders.isEmpty());
    EXPECT_TRUE(store.actionHistory().isEmpty());
    // A file from before the last destination was kept seeds it from a spreadsheet.
    EXPECT_EQ(store.lastDestinationName(), "Ancien");
    EXPECT_EQ(store.lastDestinationBookmark(), "/nowhere");
    // Fields no operation sets are written back as they were.
    store.setCompleted(true, sheetA);
    const QByteArray saved = readFile(data.file("workspace.json"));
    EXPECT_TRUE(saved.contains(R"("customEventName" : "Libre")"));
    EXPECT_TRUE(saved.contains(R"("importBookmark" : "L3RtcA==")"));

    // A spreadsheet without settings reads as the defaults and stores nothing.
    EXPECT_EQ(store.settings(sheetB), SpreadsheetMacSettings{});
    EXPECT_FALSE(store.allSettings().contains(sheetB));
}

TEST(WorkspaceStoreTest, HistoryKeepsFortyRunsGroupedBySpreadsheet)
{
    TempDataDir data;
    WorkspaceStore store;
    store.recordOrganizer(report("a1"), sheetA, "Ancien titre");
    store.recordOrganizer(report("a2"), sheetA, "Nouveau titre");
    store.recordOrganizer(report("b1"), sheetB, "B");
    QList<OrganizerHistorySection> sections = store.historySections();
    ASSERT_EQ(sections.size(), 2);
    EXPECT_EQ(sections[0].id, sheetB);
    EXPECT_EQ(sections[1].entries.size(), 2);
    EXPECT_EQ(sections[1].entries[0].messages, QStringList({"a2"}));
    EXPECT_EQ(sections[1].title, "Ancien titre") << "the title of the oldest entry";

    for (int i = 0; i < 40; ++i) store.recordOrganizer(report(QString::number(i)), sheetB, "B");
    EXPECT_EQ(store.actionHistory().size(), 40);
    EXPECT_EQ(store.actionHistory().first().messages, QStringList({"39"}));
    EXPECT_EQ(store.historySections().size(), 1) << "the oldest runs went first";
}

TEST(WorkspaceStoreTest, HandTypedNamesWinOverTheProgramme)
{
    TempDataDir data;
    WorkspaceStore store;
    store.setManualRider(sheetA, " 012 ", "  DUPONT ", "Jean");
    EXPECT_EQ(store.settings(sheetA).manualRiders.keys(), QStringList({"12"}));
    store.setManualRider(sheetA, "12", std::nullopt, "Paul");
    EXPECT_EQ(store.settings(sheetA).manualRiders.value("12"), (ManualRiderName{"DUPONT", "Paul"}));

    const ImportedPerson programmeRider = rider("12", "MARTIN", "Léa", 4);
    EXPECT_EQ(store.resolvedPerson(sheetA, "12 HC", programmeRider), (ImportedPerson{"12", "Paul", "DUPONT", 0}));
    EXPECT_EQ(store.resolvedPerson(sheetB, "12", programmeRider), programmeRider);
    EXPECT_EQ(store.resolvedPerson(sheetA, " ", programmeRider), programmeRider);

    store.setManualRider(sheetA, "12", "", " ");
    EXPECT_TRUE(store.settings(sheetA).manualRiders.isEmpty()) << "blank names remove the entry";
    store.setManualRider(sheetA, "  ", "X", "Y");
    EXPECT_TRUE(store.settings(sheetA).manualRiders.isEmpty());
}

TEST(WorkspaceStoreTest, DayAndEventChoicesFollowTheProgramme)
{
    TempDataDir data;
    QTemporaryDir folders;
    WorkspaceStore store;
    store.adoptProgramme(weekendProgramme());
    store.selectDay("Samedi", sheetA);
    store.selectEvent("Samedi|GP", sheetA);
    store.selectDay("Samedi", sheetA);
    EXPECT_EQ(store.settings(sheetA).selectedEventID, "Samedi|GP");
    store.selectDay("Dimanche", sheetA);
    EXPECT_FALSE(store.settings(sheetA).selectedEventID) << "that event is not on Sunday";
    store.selectDay("", sheetA);
    EXPECT_EQ(store.settings(sheetA).selectedDayName, "Dimanche");

    // A new reading renamed the day and kept the events by title only.
    store.selectDay("Samedi", sheetA);
    store.selectEvent("Vitesse", sheetA);
    ProgrammeDocument renamed = weekendProgramme();
    renamed.days[0].name = "SAMEDI";
    renamed.days[0].events[0].id = "SAMEDI|Vitesse";
    store.storeFolder(folders.path(), WorkspaceStore::FolderKind::destination, sheetB);
    store.adoptProgramme(renamed);
    store.restorePersistedChoices(sheetA);
    EXPECT_EQ(store.settings(sheetA).selectedDayName, "SAMEDI");
    EXPECT_EQ(store.settings(sheetA).selectedEventID, "SAMEDI|Vitesse");
    // A spreadsheet shown for the first time inherits the latest destination.
    EXPECT_EQ(store.settings(sheetA).destinationBookmark, store.settings(sheetB).destinationBookmark);
}

TEST(WorkspaceStoreTest, TransfersAreRememberedPerRow)
{
    TempDataDir data;
    WorkspaceStore store;
    const PhotoNumber one = *PhotoNumber::parse(u"1");
    const RowRecord row{sheetB, "1", "7"};
    store.rememberTransfers({PhotoGroup{row, std::nullopt, one, std::nullopt, {}}}, sheetA);
    EXPECT_FALSE(store.allSettings().contains(sheetA)) << "a run without files stores nothing";
    store.rememberTransfers({PhotoGroup{row, std::nullopt, one, std::nullopt, {"/a/1.jpg"}}}, sheetA);
    store.rememberTransfers({PhotoGroup{row, std::nullopt, one, std::nullopt, {"/a/3.jpg"}},
                             PhotoGroup{RowRecord{sheetA, "2", "8"}, std::nullopt, one, std::nullopt, {}}},
                            sheetA);
    EXPECT_EQ(store.settings(sheetA).rememberedTransfers.keys(), QList<QUuid>({sheetB}));
    EXPECT_EQ(store.settings(sheetA).rememberedTransfers.value(sheetB).fileNames, QJsonArray({"3.jpg"}));
}

TEST(WorkspaceStoreTest, ImportedProgrammeIsCopiedAndReadAgainAtStartUp)
{
    TempDataDir data;
    QTemporaryDir dir;
    const QString upper = dir.filePath("Programme.XLSX");
    QFile::copy(fixture("programme/weekend.xlsx"), upper);
    {
        WorkspaceStore store;
        store.ingestProgramme(upper);
        EXPECT_EQ(store.programmeName(), "Programme.XLSX");
        EXPECT_EQ(store.programme()->days.size(), 3);
        // Reading another copy of the stored file itself works too.
        store.ingestProgramme(AppSupport::folder() + "/programme.xlsx");
        EXPECT_EQ(store.programmeName(), "programme.xlsx");
    }
    EXPECT_TRUE(QFile::exists(data.file("programme.xlsx")));
    // The index on disk is stale: it is shown at once, then replaced by a new reading of the file.
    ProgrammeDocument stale = weekendProgramme();
    writeFile(data.file("programme.json"), encodeProgramme(stale));
    WorkspaceStore store;
    EXPECT_EQ(store.programme(), stale);
    QSignalSpy changed(&store, &StoredProgramme::programmeChanged);
    ASSERT_TRUE(changed.wait(5000));
    EXPECT_EQ(store.programme(), ProgrammeFileParser::parse(data.file("programme.xlsx")));
    EXPECT_EQ(decodeProgramme(readFile(data.file("programme.json"))), *store.programme());

    // A file that does not read (one without extension is taken for a PDF) leaves the programme,
    // its index and its copy as they were, and no staging copy behind.
    const QByteArray keptCopy = readFile(data.file("programme.xlsx")), keptIndex = readFile(data.file("programme.json"));
    // A staging copy left by an import stopped long ago goes; a recent one may be another import's.
    const QString old = data.file(".programme-old.xlsx"), recent = data.file(".programme-recent.xlsx");
    writeFile(old, "x");
    writeFile(recent, "x");
    QFile staleFile(old);
    ASSERT_TRUE(staleFile.open(QIODevice::ReadWrite) &&
                staleFile.setFileTime(QDateTime::currentDateTimeUtc().addDays(-2), QFileDevice::FileModificationTime));
    staleFile.close();
    const QString bare = dir.filePath("programme"), truncated = dir.filePath("truncated.xlsx");
    QFile::copy(fixture("programme/weekend.xlsx"), bare);
    QFile::copy(fixture("programme/truncated.xlsx"), truncated);
    EXPECT_THROW(store.ingestProgramme(bare), Error);
    EXPECT_THROW(store.ingestProgramme(truncated), Error);
    EXPECT_EQ(readFile(data.file("programme.xlsx")), keptCopy);
    EXPECT_EQ(readFile(data.file("programme.json")), keptIndex);
    EXPECT_FALSE(QFile::exists(data.file("programme.pdf")));
    EXPECT_EQ(QDir(AppSupport::folder()).entryList({".programme-*"}, QDir::Files | QDir::Hidden),
              QStringList({".programme-recent.xlsx"}));
    EXPECT_EQ(store.programme()->days.size(), 3);
    EXPECT_EQ(WorkspaceStore().programme(), store.programme());
    // An index that cannot be written costs neither copy, from a file nor from the web.
    QFile::remove(data.file("programme.json"));
    QDir().mkpath(data.file("programme.json"));
    EXPECT_THROW(store.ingestProgramme(fixture("programme/numbers-only.pdf")), Error);
    EXPECT_THROW(store.adoptProgramme(weekendProgramme()), Error);
    EXPECT_EQ(readFile(data.file("programme.xlsx")), keptCopy);
    EXPECT_FALSE(QFile::exists(data.file("programme.pdf")));
    QDir(data.file("programme.json")).removeRecursively();
    // A file that reads takes the place of a copy of another type.
    store.ingestProgramme(fixture("programme/numbers-only.pdf"));
    EXPECT_TRUE(QFile::exists(data.file("programme.pdf")));
    EXPECT_FALSE(QFile::exists(data.file("programme.xlsx")));
    try {
        store.ingestProgramme(dir.filePath("absent.xlsx"));
    } catch (const Error& e) {
        EXPECT_EQ(e.message(), "Impossible de copier le fichier « absent.xlsx ».");
    }
}

TEST(WorkspaceStoreTest, TheStoredWorkbookIsReadAgainOnlyWhenItsBytesChange)
{
    TempDataDir data;
    const QString copy = data.file("programme.xlsx");
    WorkspaceStore().ingestProgramme(fixture("programme/weekend.xlsx"));
    {
        WorkspaceStore store;
        EXPECT_EQ(store.sourceReadings(), 0);
        EXPECT_EQ(store.programme(), ProgrammeFileParser::parse(copy));
    }
    // The same bytes with a new time (copied back, touched): the index still holds their reading.
    QFile touched(copy);
    ASSERT_TRUE(touched.open(QIODevice::ReadWrite) &&
                touched.setFileTime(QDateTime::currentDateTimeUtc().addDays(1), QFileDevice::FileModificationTime));
    touched.close();
    EXPECT_EQ(WorkspaceStore().sourceReadings(), 0);

    // Another workbook put in its place is read, and its reading becomes the index.
    ASSERT_TRUE(QFile::remove(copy) && QFile::copy(fixture("programme/accents-repeated-headers.xlsx"), copy));
    const ProgrammeDocument replaced = ProgrammeFileParser::parse(copy);
    {
        WorkspaceStore store;
        EXPECT_EQ(store.sourceReadings(), 1);
        QSignalSpy changed(&store, &StoredProgramme::programmeChanged);
        ASSERT_TRUE(changed.wait(5000));
        EXPECT_EQ(store.programme(), replaced);
    }
    EXPECT_EQ(WorkspaceStore().sourceReadings(), 0);
    EXPECT_EQ(WorkspaceStore().programme(), replaced);

    // An index written by someone else is no longer the workbook's reading: read again.
    writeFile(data.file("programme.json"), encodeProgramme(weekendProgramme()));
    EXPECT_EQ(WorkspaceStore().sourceReadings(), 1);
}

TEST(RiderFoldersStoreTest, RidersOncePerFolderSortedAsAFileBrowserDoes)
{
    TempDataDir data;
    QTemporaryDir dir;
    {
        RiderFoldersStore store;
        store.adoptProgramme(ProgrammeDocument{
            "Web", {{"Samedi",
                     {{"a", "A", {rider("1", "martin", "Léa"), rider("2", "Dupont", "jean"), rider("3", "", ""), rider("4", "Élan", "Zoé")}},
                      {"b", "B", {rider("5", "MARTIN", "LÉA"), rider("6", "Dupont", "Jean 10"), rider("7", "Dupont", "Jean 9")}}}}}});
        store.storeDestination(dir.path());
    }
    RiderFoldersStore store;
    QStringList names;
    for (const ImportedPerson& p : store.people()) names.push_back(p.folderName());
    EXPECT_EQ(names, QStringList({"3", "DUPONT JEAN", "DUPONT JEAN 9", "DUPONT JEAN 10", "ÉLAN ZOÉ", "MARTIN LÉA"}));
    EXPECT_EQ(store.namedPeople().size(), 5);
    EXPECT_EQ(store.people()[5].canonicalNumber, "1") << "the first rider met keeps the folder";
    EXPECT_EQ(store.programmeName(), "Web");
    EXPECT_EQ(store.destinationName(), QFileInfo(dir.path()).fileName());
    EXPECT_EQ(store.resolveDestination(), dir.path());
    EXPECT_TRUE(QFile::exists(data.file("RiderFolders/settings.json")));
    EXPECT_TRUE(QFile::exists(data.file("RiderFolders/programme.json")));
    EXPECT_FALSE(QFile::exists(data.file("programme.json"))) << "the two workspaces keep their own programme";
}

TEST(WorkspaceStoreTest, TwoProgramsWritingTheWorkspaceKeepEachOthersChanges)
{
    TempDataDir data;
    QDir(data.path()).mkpath("Cartes/Jour 1");
    WorkspaceStore window;
    window.setCompleted(false, sheetA);
    WorkspaceStore other; // a command line started now
    QSignalSpy settings(&window, &WorkspaceStore::settingsChanged);

    other.setCompleted(true, sheetA);
    other.setManualRider(sheetB, "12", QStringLiteral("DURAND"), QStringLiteral("Léa"));
    other.recordOrganizer(report("ligne de commande"), sheetA, "A");
    // The window never reloaded: its next writes take the other's changes in first.
    window.storeFolder(data.file("Cartes/Jour 1"), WorkspaceStore::FolderKind::source, sheetA);
    window.recordOrganizer(report("fenêtre"), sheetA, "A");
    EXPECT_GE(settings.count(), 2) << "the changes taken in are signalled";

    WorkspaceStore reopened;
    const SpreadsheetMacSettings a = reopened.settings(sheetA);
    EXPECT_TRUE(a.isCompleted);
    EXPECT_EQ(a.sourceName, "Jour 1");
    EXPECT_EQ(reopened.settings(sheetB).manualRiders.value("12").firstName, "Léa");
    ASSERT_EQ(reopened.actionHistory().size(), 2);
    EXPECT_EQ(reopened.actionHistory()[0].messages, QStringList{"fenêtre"}) << "newest first";
    EXPECT_EQ(reopened.actionHistory()[1].messages, QStringList{"ligne de commande"});
    EXPECT_EQ(window.settings(sheetA), a);

    // A programme the other imports replaces the one the window shows.
    QSignalSpy programme(&window, &StoredProgramme::programmeChanged);
    other.ingestProgramme(fixture("programme/weekend.xlsx"));
    EXPECT_TRUE(window.reloadIfChanged());
    ASSERT_TRUE(window.programme().has_value());
    EXPECT_EQ(window.programme()->days.size(), 3);
    EXPECT_EQ(window.programmeName(), "weekend.xlsx");
    EXPECT_EQ(programme.count(), 1);
    EXPECT_FALSE(window.reloadIfChanged()) << "nothing new on disk";

    // The rider folders' file, likewise.
    RiderFoldersStore paniers;
    RiderFoldersStore cli;
    cli.storeDestination(data.file("Cartes"));
    EXPECT_TRUE(paniers.reloadIfChanged());
    EXPECT_EQ(paniers.destinationName(), "Cartes");
}
