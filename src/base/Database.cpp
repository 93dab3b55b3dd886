#include "base/Database.h"

#include "base/Error.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sqlite3.h>

namespace tavrin {

Database::Database(const QString& path) : m_path(path)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    const QByteArray name = QFile::encodeName(path);
    if (sqlite3_open_v2(name.constData(), &m_db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr) != SQLITE_OK) {
        const QString message = failure(QStringLiteral("ouvrir"));
        sqlite3_close(m_db);
        m_db = nullptr;
        throw Error(message);
    }
    sqlite3_busy_timeout(m_db, busyTimeoutMs);
    sqlite3_extended_result_codes(m_db, 1);
    try {
        // WAL: the window reads while a tavrin-cli writes, and a commit is one append.
        // NORMAL is durable across a crash of the program; a power cut may lose the last commits,
        // never the file.
        execute("PRAGMA journal_mode = WAL; PRAGMA synchronous = NORMAL; PRAGMA foreign_keys = ON;");
    } catch (...) {
        sqlite3_close(m_db);
        m_db = nullptr;
        throw;
    }
}

Database::~Database()
{
    for (sqlite3_stmt* stmt : std::as_const(m_statements)) sqlite3_finalize(stmt);
    if (m_db) sqlite3_close(m_db);
}

namespace {

// SQLite's own messages are English; the user reads these.
QString reasonOf(sqlite3* db)
{
    if (!db) return QStringLiteral("mémoire insuffisante");
    switch (sqlite3_errcode(db) & 0xff) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED: return QStringLiteral("un autre programme l’utilise depuis trop longtemps");
    case SQLITE_FULL: return QStringLiteral("le disque est plein");
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_CANTOPEN: return QStringLiteral("le dossier de données n’est pas accessible en écriture");
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB: return QStringLiteral("le fichier est endommagé");
    case SQLITE_IOERR: return QStringLiteral("erreur de lecture ou d’écriture sur le disque");
    default: return QString::fromUtf8(sqlite3_errmsg(db));
    }
}

} // namespace

QString Database::failure(const QString& what) const
{
    const QString reason = reasonOf(m_db);
    return QStringLiteral("Impossible de ") + what + QStringLiteral(" la base « ") + QFileInfo(m_path).fileName()
        + QStringLiteral(" » : ") + reason;
}

void Database::execute(const char* sql)
{
    if (sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr) != SQLITE_OK) throw Error(failure(QStringLiteral("écrire dans")));
}

Database::Statement Database::statement(const char* sql)
{
    sqlite3_stmt*& stmt = m_statements[sql];
    if (!stmt && sqlite3_prepare_v3(m_db, sql, -1, SQLITE_PREPARE_PERSISTENT, &stmt, nullptr) != SQLITE_OK) {
        m_statements.remove(sql);
        throw Error(failure(QStringLiteral("lire")));
    }
    return Statement(this, stmt);
}

Database::Statement::~Statement()
{
    if (!m_stmt) return;
    sqlite3_reset(m_stmt);
    sqlite3_clear_bindings(m_stmt);
}

Database::Statement& Database::Statement::bind(int index, qint64 value)
{
    if (sqlite3_bind_int64(m_stmt, index, value) != SQLITE_OK) throw Error(m_db->failure(QStringLiteral("écrire dans")));
    return *this;
}

Database::Statement& Database::Statement::bind(int index, const QString& value)
{
    const QByteArray utf8 = value.toUtf8();
    if (sqlite3_bind_text(m_stmt, index, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT) != SQLITE_OK)
        throw Error(m_db->failure(QStringLiteral("écrire dans")));
    return *this;
}

Database::Statement& Database::Statement::bind(int index, const std::optional<QString>& value)
{
    if (value) return bind(index, *value);
    if (sqlite3_bind_null(m_stmt, index) != SQLITE_OK) throw Error(m_db->failure(QStringLiteral("écrire dans")));
    return *this;
}

void Database::Statement::run()
{
    const int rc = sqlite3_step(m_stmt);
    sqlite3_reset(m_stmt);
    if (rc != SQLITE_DONE) throw Error(m_db->failure(QStringLiteral("écrire dans")));
}

bool Database::Statement::next()
{
    const int rc = sqlite3_step(m_stmt);
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) return false;
    throw Error(m_db->failure(QStringLiteral("lire")));
}

qint64 Database::Statement::integer(int column) const { return sqlite3_column_int64(m_stmt, column); }

QString Database::Statement::text(int column) const
{
    const auto* data = reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, column));
    return QString::fromUtf8(data, sqlite3_column_bytes(m_stmt, column));
}

bool Database::Statement::isNull(int column) const { return sqlite3_column_type(m_stmt, column) == SQLITE_NULL; }

Database::Transaction::Transaction(Database& db) : m_db(db), m_lock(QFileInfo(db.path()).absolutePath())
{
    m_db.execute("BEGIN IMMEDIATE");
}

Database::Transaction::~Transaction()
{
    if (m_open) sqlite3_exec(m_db.m_db, "ROLLBACK", nullptr, nullptr, nullptr);
}

void Database::Transaction::commit()
{
    m_db.execute("COMMIT");
    m_open = false;
}

int Database::version()
{
    Statement read = statement("PRAGMA user_version");
    return read.next() ? int(read.integer(0)) : 0;
}

void Database::migrate(const QList<Migration>& steps)
{
    const int last = steps.isEmpty() ? 0 : steps.last().version;
    if (version() >= last) {
        if (version() > last)
            throw Error(QStringLiteral("La base « ") + QFileInfo(m_path).fileName()
                        + QStringLiteral(" » vient d’une version plus récente de Tavrin : mettez Tavrin à jour."));
        return;
    }
    for (const Migration& step : steps) {
        Transaction write(*this);
        // Read again under the lock: another program may have migrated meanwhile.
        if (version() >= step.version) continue;
        step.apply(*this);
        const QByteArray pragma = "PRAGMA user_version = " + QByteArray::number(step.version);
        execute(pragma.constData());
        write.commit();
    }
}

} // namespace tavrin
