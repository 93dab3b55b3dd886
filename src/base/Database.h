#pragma once

// A connection to an SQLite file, as small as the stores need: prepared statements kept for the
// life of the connection, write transactions under the data folder's lock, and a schema version
// raised by ordered migrations. Main thread only, like the stores that own one.
//
//   Database db(path);
//   db.migrate(migrations);              // once, after opening
//   Database::Transaction write(db);     // the folder's lock, then BEGIN IMMEDIATE
//   Database::Statement insert = db.statement("INSERT INTO t (a, b) VALUES (?, ?)");
//   insert.bind(1, a).bind(2, b).run();
//   write.commit();                      // otherwise rolled back when `write` goes
//
// Every failure throws Error with a French message naming the file.

#include "base/DataFolderLock.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>

#include <functional>
#include <optional>

struct sqlite3;
struct sqlite3_stmt;

namespace tavrin {

class Database {
public:
    // The other writer (a tavrin-cli beside the window) is waited for this long.
    static constexpr int busyTimeoutMs = 10000;

    // Opens the file, creating it, in WAL mode with foreign keys on.
    explicit Database(const QString& path);
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    const QString& path() const { return m_path; }

    // A prepared statement, compiled at its first use and kept: `sql` must be a literal (its
    // address is the key). Bound values are cleared and the statement reset when the handle
    // goes; one handle per text at a time.
    class Statement {
    public:
        Statement(Statement&& other) noexcept : m_db(other.m_db), m_stmt(other.m_stmt) { other.m_stmt = nullptr; }
        ~Statement();
        Statement(const Statement&) = delete;
        Statement& operator=(const Statement&) = delete;

        // Parameters count from 1.
        Statement& bind(int index, qint64 value);
        Statement& bind(int index, const QString& value);
        Statement& bind(int index, const std::optional<QString>& value);
        // Throws when the statement returns a row: for writes.
        void run();
        // The next row; false once there are none.
        bool next();
        // Columns of the current row count from 0.
        qint64 integer(int column) const;
        QString text(int column) const;
        bool isNull(int column) const;

    private:
        friend class Database;
        Statement(Database* db, sqlite3_stmt* stmt) : m_db(db), m_stmt(stmt) {}
        Database* m_db;
        sqlite3_stmt* m_stmt;
    };

    Statement statement(const char* sql);
    // Runs statements without parameters (a migration's script).
    void execute(const char* sql);

    // A write transaction: the data folder's lock (so that writers of the JSON files and of this
    // file go one at a time), then BEGIN IMMEDIATE, waiting `busyTimeoutMs` for a writer that
    // went on without the lock. Rolled back unless committed.
    class Transaction {
    public:
        explicit Transaction(Database& db);
        ~Transaction();
        Transaction(const Transaction&) = delete;
        Transaction& operator=(const Transaction&) = delete;
        void commit();

    private:
        Database& m_db;
        DataFolderLock m_lock;
        bool m_open = true;
    };

    // Step `version` (1, 2, …) of the schema; each runs in its own transaction with the version
    // it reaches (PRAGMA user_version), so that a crash leaves the file at one step or the next.
    struct Migration {
        int version;
        std::function<void(Database&)> apply;
    };
    // Applies, in order, the steps above the file's version. A file from a newer Tavrin (a
    // version above the last step) is refused rather than written by code that does not know it.
    void migrate(const QList<Migration>& steps);
    int version();

    // The message of the connection's last failure, for an Error.
    QString failure(const QString& what) const;

private:
    QString m_path;
    sqlite3* m_db = nullptr;
    QHash<const char*, sqlite3_stmt*> m_statements;
};

} // namespace tavrin
