#include "TestSupport.h"
#include "base/AppSupport.h"
#include "base/AppearancePreference.h"
#include "base/DataFileNotices.h"
#include "base/FolderReference.h"
#include "base/JsonFile.h"
#include "base/PersistedUIState.h"
#include "base/TavrinJSON.h"
#include "base/UserDefaults.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

using namespace tavrin;
using tavrin::test::TempDataDir;

TEST(AppSupportFolders, DataDirectoryAndProgrammeFiles)
{
    TempDataDir data;
    EXPECT_EQ(AppSupport::folder(), data.path());
    EXPECT_TRUE(QDir(AppSupport::ordersFolder()).exists());
    EXPECT_EQ(AppSupport::riderFoldersFolder(), data.path() + "/RiderFolders");
    EXPECT_EQ(AppSupport::defaultsFile(), data.path() + "/defaults.ini");

    EXPECT_FALSE(AppSupport::existingProgrammeFile());
    test::writeFile(data.file("programme.xlsx"), "x");
    test::writeFile(data.file("programme.pdf"), "p");
    EXPECT_EQ(AppSupport::existingProgrammeFile(), data.file("programme.pdf"));
    EXPECT_FALSE(AppSupport::existingRiderProgrammeFile());
    AppSupport::removeProgrammeFiles();
    EXPECT_FALSE(AppSupport::existingProgrammeFile());
}

TEST(AppSupportFolders, EnvironmentVariableWhenNoOverride)
{
    QTemporaryDir dir;
    AppSupport::setDataDirectoryOverride(QString());
    qputenv("TAVRIN_DATA_DIR", dir.path().toUtf8());
    EXPECT_EQ(AppSupport::folder(), dir.path());
    qunsetenv("TAVRIN_DATA_DIR");
}

TEST(PersistedUIStateJson, PartialFilesLoadAndEmptyValuesAreOmitted)
{
    const auto state = persistedUIStateFromJson(
        TavrinJSON::decodeObject(R"({"selectedDayID": "0F3E62A0-5F0B-4F5E-9B8A-0D8C2F6C1A11"})"));
    ASSERT_TRUE(state.selectedDayID);
    EXPECT_FALSE(state.selectedSpreadsheetID);
    EXPECT_TRUE(state.syncedSpreadsheetIDs.isEmpty());

    const QJsonObject written = toJson(PersistedUIState{});
    EXPECT_EQ(written.keys(), QStringList{"syncedSpreadsheetIDs"});
}

TEST(AppearancePreferenceValues, UnknownReadsAsSystem)
{
    EXPECT_EQ(appearancePreferenceFrom("dark"), AppearancePreference::dark);
    EXPECT_EQ(appearancePreferenceFrom("sepia"), AppearancePreference::system);
    EXPECT_EQ(title(AppearancePreference::light), "Clair");
}

TEST(UserDefaultsStore, KeysSurviveReopening)
{
    TempDataDir data;
    UserDefaults::standard().setString("tavrin.appearance", "dark");
    UserDefaults::standard().setStringList("tavrin.preferredPeerNames.mac.v2", {"Pixel", "iPhone de Léa"});
    UserDefaults::standard().setBool("tableurHistoryExpanded", false);
    UserDefaults::standard().synchronize();
    UserDefaults reopened(data.file("defaults.ini"));
    EXPECT_EQ(reopened.string("tavrin.appearance"), "dark");
    EXPECT_EQ(reopened.stringList("tavrin.preferredPeerNames.mac.v2"), (QStringList{"Pixel", "iPhone de Léa"}));
    EXPECT_EQ(reopened.boolValue("tableurHistoryExpanded"), false);
    EXPECT_FALSE(reopened.string("macWorkspaceSection"));
}

TEST(JsonFileSafety, UnreadableFileIsSetAsideBeforeTheFirstWrite)
{
    TempDataDir data;
    const QString path = data.file("library.json");
    test::writeFile(path, "{ half a libr");
    JsonFile file(path);
    const auto loaded = file.load<QJsonObject>([](const QByteArray& d) { return TavrinJSON::decodeObject(d); });
    EXPECT_FALSE(loaded);
    EXPECT_TRUE(file.holdsUnreadableFile());
    EXPECT_EQ(test::readFile(path), "{ half a libr") << "loading never touches the file";

    ASSERT_TRUE(file.write("{}"));
    EXPECT_EQ(test::readFile(path), "{}");
    const QStringList aside = QDir(data.path()).entryList({"library.json.unreadable-*"});
    ASSERT_EQ(aside.size(), 1);
    EXPECT_EQ(test::readFile(data.file(aside.first())), "{ half a libr");

    ASSERT_TRUE(file.write("{\"a\": 1}"));
    EXPECT_EQ(QDir(data.path()).entryList({"library.json.unreadable-*"}).size(), 1) << "set aside once";
}

TEST(JsonFileSafety, TheUserIsToldOnceWhichFileWasSetAsideAndWhere)
{
    TempDataDir data;
    DataFileNotices::instance().takePending();
    const QString path = data.file("workspace.json");
    test::writeFile(path, "[1, 2");
    JsonFile file(path);
    EXPECT_FALSE(file.load<QJsonObject>([](const QByteArray& d) { return TavrinJSON::decodeObject(d); }));
    EXPECT_TRUE(DataFileNotices::instance().takePending().isEmpty()) << "nothing is moved, so nothing is told, before a write";

    ASSERT_TRUE(file.write("{}"));
    ASSERT_TRUE(file.write("{\"b\": 2}"));
    const QStringList aside = QDir(data.path()).entryList({"workspace.json.unreadable-*"});
    ASSERT_EQ(aside.size(), 1);
    const QStringList notices = DataFileNotices::instance().takePending();
    ASSERT_EQ(notices.size(), 1) << "told once";
    EXPECT_EQ(notices.first(), QString("Le fichier de données «\u00a0workspace.json\u00a0» était illisible\u00a0; il a été mis "
                                       "de côté sous le nom «\u00a0%1\u00a0», dans le dossier %2.")
                                   .arg(aside.first(), data.path()));
}

TEST(JsonFileSafety, AFileLargerThanAnyLibraryIsSetAsideWithoutBeingRead)
{
    TempDataDir data;
    DataFileNotices::instance().takePending();
    const QString path = data.file("library.json");
    {
        // Sparse: no block is written, so the test stays fast and small on disk.
        QFile big(path);
        ASSERT_TRUE(big.open(QIODevice::WriteOnly));
        ASSERT_TRUE(big.resize(JsonFile::maxSize + 1));
    }
    JsonFile file(path);
    int decoded = 0;
    EXPECT_FALSE(file.load<QJsonObject>([&](const QByteArray&) {
        ++decoded;
        return QJsonObject();
    }));
    EXPECT_EQ(decoded, 0);
    EXPECT_TRUE(file.holdsUnreadableFile());

    ASSERT_TRUE(file.write("{}"));
    EXPECT_EQ(test::readFile(path), "{}");
    const QStringList aside = QDir(data.path()).entryList({"library.json.unreadable-*"});
    ASSERT_EQ(aside.size(), 1);
    EXPECT_EQ(QFileInfo(data.file(aside.first())).size(), JsonFile::maxSize + 1);
    const QStringList notices = DataFileNotices::instance().takePending();
    ASSERT_EQ(notices.size(), 1);
    EXPECT_TRUE(notices.first().contains("était trop volumineux pour être lu")) << notices.first().toStdString();
}

TEST(JsonFileSafety, AnotherProgramsWriteIsNoticedAndItsUnreadableVersionIsNotOursToMove)
{
    TempDataDir data;
    DataFileNotices::instance().takePending();
    const QString path = data.file("library.json");
    JsonFile file(path);
    EXPECT_FALSE(file.changedOnDisk()) << "missing, as when last looked at";
    ASSERT_TRUE(file.write("{}"));
    EXPECT_FALSE(file.changedOnDisk()) << "our own write";
    test::writeFile(path, "{\"other\": true}");
    EXPECT_TRUE(file.changedOnDisk());
    EXPECT_TRUE(file.load<QJsonObject>([](const QByteArray& d) { return TavrinJSON::decodeObject(d); }));
    EXPECT_FALSE(file.changedOnDisk());

    // This store found garbage; another program then replaced it with a good file: that one is
    // not set aside.
    test::writeFile(path, "garbage");
    EXPECT_FALSE(file.load<QJsonObject>([](const QByteArray& d) { return TavrinJSON::decodeObject(d); }));
    writeFileAtomically(path, "{\"fixed\": true}");
    ASSERT_TRUE(file.write("{}"));
    EXPECT_TRUE(QDir(data.path()).entryList({"library.json.unreadable-*"}).isEmpty());
    EXPECT_TRUE(DataFileNotices::instance().takePending().isEmpty());
}

TEST(FolderReferences, ResolveRetainAndRefreshStaleReferences)
{
    TempDataDir data;
    QDir(data.path()).mkpath("Photos/Jour 1");
    const QString folder = data.file("Photos/Jour 1");
    EXPECT_EQ(FolderReference::resolve(FolderReference::create(folder))->path, folder);
    EXPECT_FALSE(FolderReference::resolve(FolderReference::create(folder))->isStale);
    EXPECT_FALSE(FolderReference::resolve(FolderReference::create(data.file("gone"))));
    EXPECT_FALSE(FolderReference::resolve("relative/path"));

    QObject owner;
    FolderAccess access;
    QByteArray refreshed;
    const QByteArray stale = (data.path() + "/Photos/../Photos/Jour 1/").toUtf8();
    EXPECT_EQ(access.resolve(stale, &owner, [&](QByteArray fresh) { refreshed = fresh; }), folder);
    EXPECT_TRUE(refreshed.isEmpty()) << "the refresh is delivered from the event loop";
    QCoreApplication::processEvents();
    EXPECT_EQ(refreshed, folder.toUtf8());
    access.resolve(FolderReference::create(folder), &owner, {});
    EXPECT_EQ(access.accessedURLs(), QStringList{folder}) << "access is held once per path";
}
