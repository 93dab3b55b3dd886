// The copies runs remember live in the data folder's database: an older workspace.json that kept
// them inside is taken over once and for all, a second writer is waited for, and a data folder
// carried elsewhere still knows its copies.

#include "OrganizerTestSupport.h"
#include "base/AppSupport.h"
#include "base/TavrinJSON.h"
#include "organizer/PhotoCopier.h"
#include "organizer/PhotoOrganizer.h"
#include "organizer/SpreadsheetWorkspaceModel.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include <gtest/gtest.h>

using namespace tavrin;
using namespace tavrin::test;

namespace {

QStringList photos(int from, int to)
{
    QStringList out;
    for (int n = from; n <= to; ++n) out.push_back(QStringLiteral("DSC_%1.JPG").arg(n, 4, 10, QChar(u'0')));
    return out;
}

QList<CopiedPhoto> sorted(const CopyMemory& memory)
{
    QList<CopiedPhoto> list = memory.values();
    std::sort(list.begin(), list.end(), [](const CopiedPhoto& a, const CopiedPhoto& b) { return a.target < b.target; });
    return list;
}

// Every data file of `from` but the database, copied to `to`, each transfer of `sheet` holding its
// copies as files written before the database did.
void writeOlderDataFolder(const QString& from, const QString& to, const QUuid& sheet, const CopyMemory& memory)
{
    QDir().mkpath(to);
    for (const QString& name : QDir(from).entryList(QDir::Files))
        if (name.endsWith(".json")) QFile::copy(from + u'/' + name, to + u'/' + name);
    QJsonObject file = TavrinJSON::decodeObject(readFile(to + "/workspace.json"));
    QJsonObject settings = file["settings"].toObject();
    const QString key = sheet.toString(QUuid::WithoutBraces).toUpper();
    QJsonObject sheetSettings = settings[key].toObject();
    QJsonObject transfers = sheetSettings["rememberedTransfers"].toObject();
    for (auto it = transfers.begin(); it != transfers.end(); ++it) {
        QJsonObject transfer = it.value().toObject();
        QJsonArray copies;
        for (const QJsonValue& name : transfer["fileNames"].toArray())
            for (const CopiedPhoto& copy : memory)
                if (QFileInfo(copy.source).fileName() == name.toString())
                    copies.push_back(QJsonObject{{"made", copy.made}, {"modified", copy.modified / 1000000000},
                                                 {"modifiedNanoseconds", copy.modified % 1000000000}, {"size", copy.size},
                                                 {"source", copy.source}, {"target", copy.target}});
        transfer["copies"] = copies;
        it.value() = transfer;
    }
    sheetSettings["rememberedTransfers"] = transfers;
    settings[key] = sheetSettings;
    file["settings"] = settings;
    writeFile(to + "/workspace.json", QJsonDocument(file).toJson());
}

struct Memory : VitesseSheet {
    QTemporaryDir elsewhere;

    static OrganizerReport run(SpreadsheetWorkspaceModel& model)
    {
        QEventLoop loop;
        QObject::connect(&model, &SpreadsheetWorkspaceModel::runFinished, &loop, &QEventLoop::quit);
        model.runOrganizer();
        if (model.isRunning()) loop.exec();
        EXPECT_TRUE(model.lastReport());
        return model.lastReport().value_or(OrganizerReport{});
    }

    // Léa's class organised once here; what it remembers.
    CopyMemory organised()
    {
        QDir().mkpath(destination);
        workspace.storeFolder(destination, WorkspaceStore::FolderKind::destination, sheet);
        touch(source, photos(120, 135));
        typeRow("0120", "12");
        typeRow("0129", "15");
        typeRow("0133", "20");
        SpreadsheetWorkspaceModel model(library, workspace);
        model.setSpreadsheet(sheet);
        EXPECT_EQ(run(model).copied, 16);
        return workspace.rememberedCopies(sheet);
    }
};

} // namespace

TEST_F(Memory, AnOlderDataFolderIsTakenOverOnceAndItsRerunsStillSkipAndMove)
{
    const CopyMemory before = organised();
    ASSERT_EQ(before.size(), 16);
    const QString older = elsewhere.filePath("TAVRIN");
    writeOlderDataFolder(data.path(), older, sheet, before);
    const QByteArray oldFile = readFile(older + "/workspace.json");
    AppSupport::setDataDirectoryOverride(older);

    const QByteArray migrated = [&] {
        WorkspaceStore store;
        EXPECT_EQ(sorted(store.rememberedCopies(sheet)), sorted(before));
        return readFile(older + "/workspace.json");
    }();
    // The file keeps its own fields and loses the copies.
    EXPECT_FALSE(migrated.contains("\"copies\""));
    const QJsonObject transfers = TavrinJSON::decodeObject(migrated)["settings"][sheet.toString(QUuid::WithoutBraces).toUpper()]
                                      ["rememberedTransfers"].toObject();
    ASSERT_EQ(transfers.size(), 3);
    for (const QJsonValue& transfer : transfers) {
        EXPECT_FALSE(transfer["fileNames"].toArray().isEmpty());
        EXPECT_FALSE(transfer["rangeLabel"].toString().isEmpty());
    }

    // Killed between the database's commit and the file's rename: the old file comes back, and
    // the next start takes it over again without doubling a copy.
    writeFile(older + "/workspace.json", oldFile);
    {
        WorkspaceStore store;
        EXPECT_EQ(sorted(store.rememberedCopies(sheet)), sorted(before));
    }
    EXPECT_EQ(readFile(older + "/workspace.json"), migrated);

    LibraryStore olderLibrary;
    WorkspaceStore olderWorkspace;
    SpreadsheetWorkspaceModel model(olderLibrary, olderWorkspace);
    model.setSpreadsheet(sheet);
    EXPECT_EQ(run(model).defaultHeadline(), "Tout était déjà copié");
    // Léa's first photo given to Jean: Tavrin's copy moves, as it did from the old file.
    olderLibrary.updateRow(sheet, olderLibrary.snapshot().spreadsheet(sheet)->rows[1].id, QStringLiteral("0130"), std::nullopt);
    const OrganizerReport moved = run(model);
    EXPECT_EQ(moved.moved, 1);
    EXPECT_EQ(moved.copied, 0);
    EXPECT_TRUE(QFile::exists(destination + "/DUPONT JEAN/DSC_0129.JPG"));
    EXPECT_FALSE(QFile::exists(destination + "/MARTIN LÉA/DSC_0129.JPG"));
    EXPECT_EQ(run(model).defaultHeadline(), "Tout était déjà copié");
}

TEST_F(Memory, ADataFolderCarriedElsewhereKnowsItsCopies)
{
    QStringList names;
    for (int i = 1; i <= 300; ++i) names.push_back(QStringLiteral("IMG_%1.JPG").arg(i, 4, 10, QChar(u'0')));
    touch(source, names);
    const SpreadsheetRecord s = tavrin::test::sheet({{"1", "12"}, {"150", "15"}});
    const QList<PhotoGroup> groups = PhotoOrganizer::plan(s, {}, source);
    PhotoOrganizer::RunControl first;
    EXPECT_EQ(PhotoOrganizer::execute(groups, destination, &first).copied, 300);
    const QString home = elsewhere.filePath("home/TAVRIN"), carried = elsewhere.filePath("usb/TAVRIN");
    AppSupport::setDataDirectoryOverride(home);
    WorkspaceStore(nullptr).rememberTransfers(groups, s.id, first.placed);

    QDir().mkpath(elsewhere.filePath("usb"));
    ASSERT_TRUE(QDir().rename(home, carried));
    AppSupport::setDataDirectoryOverride(carried);
    const CopyMemory memory = WorkspaceStore(nullptr).rememberedCopies(s.id);
    ASSERT_EQ(memory.size(), 300);
    PhotoOrganizer::RunControl second;
    second.memory = &memory;
    EXPECT_EQ(PhotoOrganizer::execute(groups, destination, &second).defaultHeadline(), "Tout était déjà copié");
    EXPECT_EQ(second.counters, PhotoCopier::Counters{});
}

TEST_F(Memory, ASecondWriterIsWaitedForAndBothWritesStay)
{
    const CopyMemory before = organised();
    // Another program writing the database for a while, as a writer that went on without the
    // folder's lock would: our write waits for it instead of failing.
    QProcess other;
    other.start("/usr/bin/python3", {"-c", R"PY(
import sqlite3, sys, time
db = sqlite3.connect(sys.argv[1], isolation_level=None)
db.execute("BEGIN IMMEDIATE")
db.execute("INSERT INTO remembered_copies VALUES ('OTHER', 'ROW', 0, '/a.jpg', 1, 2, '/b/a.jpg', 1)")
print("holding", flush=True)
time.sleep(1.5)
db.execute("COMMIT")
)PY", data.file("tavrin.sqlite")});
    ASSERT_TRUE(other.waitForReadyRead(10000)) << other.readAllStandardError().toStdString();
    QElapsedTimer waited;
    waited.start();
    const PhotoGroup group{RowRecord{QUuid::createUuid(), "1", "7"}, std::nullopt, *PhotoNumber::parse(u"1"), std::nullopt, {"/x/1.jpg"}};
    const CopiedPhoto copy{"/x/1.jpg", 5, 7, "/d/7/1.jpg", true};
    workspace.rememberTransfers({group}, sheet, {{group.row.id, {copy}}});
    EXPECT_GE(waited.elapsed(), 500);
    ASSERT_TRUE(other.waitForFinished(10000));
    EXPECT_EQ(other.exitCode(), 0) << other.readAllStandardError().toStdString();
    EXPECT_EQ(workspace.rememberedCopies(sheet).size(), before.size() + 1);
    EXPECT_EQ(workspace.rememberedCopies(sheet).value("/x/1.jpg"), copy);
}
