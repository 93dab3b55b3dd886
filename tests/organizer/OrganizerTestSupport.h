#pragma once

// Spreadsheets, riders and folders of photo files for the organizer's tests.

#include "SmallDisk.h"
#include "TestSupport.h"
#include "library/LibrarySnapshot.h"
#include "organizer/PhotoGroup.h"
#include "programme/ProgrammeDocument.h"

#include <QDir>
#include <QFileInfo>
#include <QStringList>
#include <QTemporaryDir>

#include <cerrno>
#include <cstring>
#include <ostream>

#include <sys/mount.h>
#include <unistd.h>

inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }
inline void PrintTo(const QStringList& l, std::ostream* os) { *os << '[' << l.join(QStringLiteral(", ")).toStdString() << ']'; }

namespace tavrin::test {

// Rows of (photo number, assigned number), each with a fresh identifier.
inline SpreadsheetRecord sheet(const QList<std::pair<QString, QString>>& rows)
{
    SpreadsheetRecord s;
    s.id = QUuid::createUuid();
    s.title = QStringLiteral("Épreuve test");
    for (const auto& [photo, assigned] : rows) s.rows.push_back(RowRecord{QUuid::createUuid(), photo, assigned});
    return s;
}

inline ImportedPerson rider(const QString& number, const QString& last, const QString& first, qint64 line = 1)
{
    return ImportedPerson{number, first, last, line};
}

// Creates each file (its content is its own name) in `folder`.
inline void touch(const QString& folder, const QStringList& names)
{
    for (const QString& name : names) writeFile(folder + u'/' + name, name.toUtf8());
}

inline QStringList names(const QStringList& paths)
{
    QStringList out;
    for (const QString& path : paths) out.push_back(QFileInfo(path).fileName());
    return out;
}

// Every file under `folder`, as paths relative to it, sorted; hidden files included.
inline QStringList tree(const QString& folder)
{
    QStringList out;
    const QDir root(folder);
    QList<QString> pending{folder};
    while (!pending.isEmpty()) {
        const QDir dir(pending.takeFirst());
        for (const QFileInfo& info : dir.entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)) {
            if (info.isDir()) pending.push_back(info.filePath());
            else out.push_back(root.relativeFilePath(info.filePath()));
        }
    }
    out.sort();
    return out;
}

} // namespace tavrin::test
