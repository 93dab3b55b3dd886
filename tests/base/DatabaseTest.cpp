#include "TestSupport.h"
#include "base/DataFolderDatabase.h"
#include "base/Database.h"
#include "base/Error.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace tavrin;

namespace {

qint64 count(Database& db)
{
    Database::Statement read = db.statement("SELECT count(*) FROM t");
    return read.next() ? read.integer(0) : -1;
}

} // namespace

TEST(DatabaseTest, StepsRunInOrderOnceAndANewerFileIsRefused)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("d.sqlite");
    QStringList ran;
    const QList<Database::Migration> two{{1, [&](Database& db) { ran << "1"; db.execute("CREATE TABLE t (a TEXT, b INTEGER)"); }},
                                         {2, [&](Database& db) { ran << "2"; db.execute("ALTER TABLE t ADD COLUMN c TEXT"); }}};
    {
        Database db(path);
        db.migrate(two.first(1));
        db.migrate(two);
        db.migrate(two);
        EXPECT_EQ(db.version(), 2);
    }
    EXPECT_EQ(ran, QStringList({"1", "2"}));
    Database db(path);
    // A step that fails leaves the file at the step before.
    const QList<Database::Migration> broken = two + QList<Database::Migration>{{3, [](Database& d) {
        d.execute("CREATE TABLE u (x)");
        d.execute("NOT SQL");
    }}};
    EXPECT_THROW(db.migrate(broken), Error);
    EXPECT_EQ(db.version(), 2);
    EXPECT_THROW(db.execute("SELECT * FROM u"), Error);
    EXPECT_THROW(db.migrate(two.first(1)), Error);
}

TEST(DatabaseTest, ATransactionNotCommittedLeavesNothingAndValuesComeBackExact)
{
    QTemporaryDir dir;
    Database db(dir.filePath("d.sqlite"));
    db.execute("CREATE TABLE t (a TEXT, b INTEGER)");
    {
        Database::Transaction write(db);
        db.statement("INSERT INTO t VALUES (?, ?)").bind(1, QStringLiteral("perdu")).bind(2, 1).run();
    }
    EXPECT_EQ(count(db), 0);
    {
        Database::Transaction write(db);
        db.statement("INSERT INTO t VALUES (?, ?)").bind(1, QStringLiteral("Zoé « Clé » ’")).bind(2, 1765400000123456789).run();
        db.statement("INSERT INTO t VALUES (?, ?)").bind(1, std::optional<QString>()).bind(2, -1).run();
        write.commit();
    }
    Database::Statement read = db.statement("SELECT a, b FROM t ORDER BY b DESC");
    ASSERT_TRUE(read.next());
    EXPECT_EQ(read.text(0), QStringLiteral("Zoé « Clé » ’"));
    EXPECT_EQ(read.integer(1), 1765400000123456789);
    ASSERT_TRUE(read.next());
    EXPECT_TRUE(read.isNull(0));
    EXPECT_FALSE(read.next());
}

TEST(DatabaseTest, TheDataFolderFileIsInWalModeWithEveryTable)
{
    QTemporaryDir dir;
    std::unique_ptr<Database> db = DataFolderDatabase::open(dir.path());
    EXPECT_EQ(db->version(), DataFolderDatabase::migrations().last().version);
    Database::Statement mode = db->statement("PRAGMA journal_mode");
    ASSERT_TRUE(mode.next());
    EXPECT_EQ(mode.text(0), "wal");
    for (const char* table : {"remembered_copies", "received_photos", "order_lines", "payments"}) {
        Database::Statement exists = db->statement("SELECT count(*) FROM sqlite_schema WHERE type = 'table' AND name = ?");
        exists.bind(1, QString::fromLatin1(table));
        ASSERT_TRUE(exists.next());
        EXPECT_EQ(exists.integer(0), 1) << table;
    }
}
