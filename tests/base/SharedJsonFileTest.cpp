#include "TestSupport.h"
#include "base/DataFileNotices.h"
#include "base/RecordMerge.h"
#include "base/SharedJsonFile.h"
#include "base/TavrinJSON.h"

#include <QDir>
#include <QJsonObject>
#include <QMap>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <utility>

using namespace tavrin;

namespace {

using Notes = QMap<QString, QString>;

// The smallest store there is: named notes, merged key by key.
struct NotesStore {
    Notes notes;
    SharedJsonFile<Notes> file;

    explicit NotesStore(const QString& path)
        : file(path, {decode, [this] { return encode(notes); },
                      [this](const Notes& base, const Notes& theirs) {
                          const Notes both = RecordMerge::byKey(base, notes, theirs, [](auto*, auto& o, auto&) { return o; });
                          return std::exchange(notes, both) != both;
                      },
                      {}})
    {
        notes = file.load().value_or(Notes{});
    }

    bool set(const QString& key, const QString& value)
    {
        notes.insert(key, value);
        return file.save().saved;
    }

    static Notes decode(const QByteArray& data)
    {
        Notes notes;
        const QJsonObject o = TavrinJSON::decodeObject(data);
        for (auto it = o.begin(); it != o.end(); ++it) notes.insert(it.key(), it.value().toString());
        return notes;
    }
    static QByteArray encode(const Notes& notes)
    {
        QJsonObject o;
        for (auto it = notes.begin(); it != notes.end(); ++it) o.insert(it.key(), it.value());
        return TavrinJSON::encode(o);
    }
};

Notes onDisk(const QString& path) { return NotesStore::decode(test::readFile(path)); }

} // namespace

TEST(SharedJsonFile, TwoStoresWritingInTurnKeepEachOthersChanges)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("notes.json");
    NotesStore window(path);
    ASSERT_TRUE(window.set("samedi", "Vitesse"));
    NotesStore cli(path);
    ASSERT_TRUE(cli.set("dimanche", "Grand Prix"));
    // The window never looked at the disk since: its write takes the other's in first.
    window.notes.remove("samedi");
    ASSERT_TRUE(window.set("lundi", "Club"));
    EXPECT_EQ(onDisk(path), (Notes{{"dimanche", "Grand Prix"}, {"lundi", "Club"}}));
    EXPECT_EQ(window.notes, onDisk(path));

    // A removal on the other side stays removed: the base of the merge is what each last read.
    cli.notes.remove("dimanche");
    ASSERT_TRUE(cli.set("mardi", "Amateur"));
    EXPECT_EQ(onDisk(path), (Notes{{"lundi", "Club"}, {"mardi", "Amateur"}}));
    const auto nothingNew = cli.file.save();
    EXPECT_FALSE(nothingNew.tookIn);
    EXPECT_TRUE(nothingNew.saved);
}

TEST(SharedJsonFile, AFollowedStoreTakesInAnothersWriteAndWritesBackWhatItHeldMore)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("notes.json");
    NotesStore window(path);
    ASSERT_TRUE(window.set("samedi", "Vitesse"));
    QObject owner;
    int changes = 0;
    window.file.follow(&owner, [&] { changes += window.file.reloadAndWriteBack() ? 1 : 0; });
    window.notes.insert("brouillon", "pas encore écrit");

    NotesStore(path).set("dimanche", "Grand Prix");
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.notes.contains("dimanche"); }, 5000));
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(onDisk(path), (Notes{{"brouillon", "pas encore écrit"}, {"dimanche", "Grand Prix"}, {"samedi", "Vitesse"}}));
    // Its own write-back is not taken for another program's.
    QTest::qWait(300);
    EXPECT_EQ(changes, 1);
}

TEST(SharedJsonFile, AnUndecodableFileIsNeitherTakenInNorWrittenOverButSetAside)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("notes.json");
    NotesStore window(path);
    ASSERT_TRUE(window.set("samedi", "Vitesse"));
    DataFileNotices::instance().takePending();

    test::writeFile(path, "{\"dimanche\": ");
    EXPECT_FALSE(window.file.reloadAndWriteBack());
    EXPECT_EQ(test::readFile(path), "{\"dimanche\": ") << "following alone never moves it";

    ASSERT_TRUE(window.set("lundi", "Club"));
    const QStringList aside = QDir(dir.path()).entryList({"notes.json.unreadable-*"});
    ASSERT_EQ(aside.size(), 1);
    EXPECT_EQ(test::readFile(dir.filePath(aside.first())), "{\"dimanche\": ");
    EXPECT_EQ(onDisk(path), (Notes{{"lundi", "Club"}, {"samedi", "Vitesse"}}));
    EXPECT_EQ(DataFileNotices::instance().takePending().size(), 1);
}

TEST(SharedJsonFile, AStoreThatCannotWriteSaysSoOncePerRunOfFailures)
{
    QTemporaryDir dir;
    // A file where the folder should be: no write can succeed, whoever runs the test.
    const QString folder = dir.filePath("Commandes");
    test::writeFile(folder, "pas un dossier");
    NotesStore store(folder + "/notes.json");
    DataFileNotices::instance().takePending();

    EXPECT_FALSE(store.set("samedi", "Vitesse"));
    EXPECT_FALSE(store.set("dimanche", "Grand Prix"));
    const QStringList told = DataFileNotices::instance().takePending();
    ASSERT_EQ(told.size(), 1);
    EXPECT_EQ(told.first(), QStringLiteral("Le fichier de données «\u00a0notes.json\u00a0» n’a pas pu être enregistré dans le "
                                           "dossier %1\u00a0; Tavrin essaiera de nouveau à la prochaine modification.")
                                .arg(folder));

    // The folder back: everything held is written, and a later failure is told again.
    ASSERT_TRUE(QFile::remove(folder) && QDir().mkpath(folder));
    ASSERT_TRUE(store.file.save().saved);
    EXPECT_EQ(onDisk(folder + "/notes.json"), (Notes{{"dimanche", "Grand Prix"}, {"samedi", "Vitesse"}}));
    ASSERT_TRUE(QDir(folder).removeRecursively());
    test::writeFile(folder, "pas un dossier");
    EXPECT_FALSE(store.set("lundi", "Club"));
    EXPECT_EQ(DataFileNotices::instance().takePending().size(), 1);
}
