#pragma once

// Spreadsheets, riders and folders of photo files for the organizer's tests.

#include "SmallDisk.h"
#include "TestSupport.h"
#include "library/LibrarySnapshot.h"
#include "library/LibraryStore.h"
#include "organizer/PhotoGroup.h"
#include "organizer/WorkspaceStore.h"
#include "programme/ProgrammeDocument.h"

#include <QDir>
#include <QFileInfo>
#include <QStringList>
#include <QTemporaryDir>

#include <gtest/gtest.h>

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
// Saturday's « Vitesse » (riders 12 DUPONT Jean, 15 MARTIN Léa, 20 ROUX Zoé) chosen for `sheet`,
// with its photos in `source`: what a photographer sets before a class.
inline void chooseVitesse(WorkspaceStore& store, const QUuid& sheet, const QString& source)
{
    store.adoptProgramme(ProgrammeDocument{
        "programme.xlsx",
        {{"Samedi", {{"Samedi|Vitesse", "Vitesse", {rider("12", "Dupont", "Jean"), rider("15", "Martin", "Léa"), rider("20", "Roux", "Zoé")}}}}}});
    store.selectDay("Samedi", sheet);
    store.selectEvent("Samedi|Vitesse", sheet);
    store.storeFolder(source, WorkspaceStore::FolderKind::source, sheet);
}

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

// A data folder of its own with Saturday's « Vitesse » spreadsheet, its event chosen and its
// photos in `source`; `destination` is named but left to each test.
struct VitesseSheet : ::testing::Test {
    TempDataDir data;
    QTemporaryDir folders;
    QString source = folders.filePath("cartes");
    QString destination = folders.filePath("DEST");
    LibraryStore library;
    WorkspaceStore workspace;
    QUuid sheet;

    void SetUp() override
    {
        QDir().mkpath(source);
        const DayRecord day = library.addDay(QStringLiteral("Samedi"));
        sheet = library.addSpreadsheet(day.id, QStringLiteral("Vitesse")).id;
        chooseVitesse(workspace, sheet, source);
    }
    // Types a row into the trailing blank row, as the table does.
    void typeRow(const QString& photo, const QString& assigned)
    {
        const QUuid last = library.snapshot().spreadsheet(sheet)->rows.last().id;
        library.updateRow(sheet, last, photo, assigned);
    }
};

} // namespace tavrin::test
