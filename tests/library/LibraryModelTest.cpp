#include "base/Error.h"
#include "base/TavrinJSON.h"
#include "library/LibrarySnapshot.h"

#include <gtest/gtest.h>

using namespace tavrin;

namespace {
QDateTime at(int hour, int minute = 0) { return QDateTime(QDate(2026, 12, 4), QTime(hour, minute), Qt::UTC); }
RowRecord row(const QString& photo, const QString& assigned) { return RowRecord{QUuid::createUuid(), photo, assigned}; }
} // namespace

TEST(LibraryRows, BlankAndFilledFollowDifferentTrimmingRules)
{
    EXPECT_TRUE(row(" ", "").isBlank());
    EXPECT_FALSE(row("", "12").isBlank());
    EXPECT_TRUE(row("\n", "").isBlank());

    SpreadsheetRecord sheet;
    sheet.rows = {row(" ", ""), row("", "12"), row("\n", ""), row("\t12 ", ""), row("13", "4")};
    // Only photo numbers count, and a lone line break counts because only spaces and tabs are trimmed.
    EXPECT_EQ(sheet.filledRowCount(), 3);
}

TEST(LibraryQueries, OrderingsAreStableAndNewestFirst)
{
    LibrarySnapshot lib = LibrarySnapshot::empty();
    const QUuid d0 = QUuid::createUuid(), d1 = QUuid::createUuid(), d2 = QUuid::createUuid(), d3 = QUuid::createUuid();
    lib.days = {{d2, "deux", at(8), 2}, {d0, "zéro ancien", at(7), 0}, {d1, "un", at(9), 1}, {d3, "zéro récent", at(10), 0}};
    QStringList names;
    for (const DayRecord& d : lib.sortedDays()) names << d.name;
    EXPECT_EQ(names, (QStringList{"zéro récent", "zéro ancien", "un", "deux"}));

    SpreadsheetRecord a{QUuid::createUuid(), d0, "A", at(9), at(9), true, {}};
    SpreadsheetRecord b{QUuid::createUuid(), d0, "B", at(9), at(9), true, {}};
    SpreadsheetRecord c{QUuid::createUuid(), d0, "C", at(11), at(11), true, {}};
    SpreadsheetRecord other{QUuid::createUuid(), d1, "X", at(12), at(12), true, {}};
    lib.spreadsheets = {a, other, b, c};
    QStringList titles;
    for (const SpreadsheetRecord& s : lib.spreadsheetsIn(d0)) titles << s.title;
    EXPECT_EQ(titles, (QStringList{"C", "A", "B"}));

    EXPECT_EQ(lib.day(d1)->name, "un");
    EXPECT_FALSE(lib.day(QUuid::createUuid()));
    EXPECT_EQ(lib.spreadsheet(b.id)->title, "B");
}

TEST(LibraryFile, RoundTripsByteIdenticallyWithSortedKeys)
{
    LibrarySnapshot lib = LibrarySnapshot::empty();
    const QUuid day = QUuid::createUuid();
    lib.days = {{day, "Samedi", at(7), 0}};
    lib.spreadsheets = {{QUuid::createUuid(), day, "Épreuve 1 / 1,20 m", at(8), at(9, 30), false, {row("12", "101"), row("", "")}}};
    const QByteArray once = encodeLibrary(lib);
    const LibrarySnapshot back = decodeLibrary(once);
    EXPECT_EQ(back, lib);
    EXPECT_EQ(encodeLibrary(back), once);
    // Keys in sorted order at every level.
    EXPECT_TRUE(once.indexOf("\"days\"") < once.indexOf("\"spreadsheets\""));
    EXPECT_TRUE(once.lastIndexOf("\"updatedAt\"") < once.lastIndexOf("\"version\""));
    EXPECT_TRUE(once.indexOf("\"assignedNumber\"") < once.indexOf("\"photoNumber\""));
}

TEST(LibraryFile, DecodingIsStrict)
{
    LibrarySnapshot lib = LibrarySnapshot::empty();
    QJsonObject good = TavrinJSON::decodeObject(encodeLibrary(lib));
    EXPECT_NO_THROW(librarySnapshotFromJson(good));

    QJsonObject noVersion = good;
    noVersion.remove("version");
    EXPECT_THROW(librarySnapshotFromJson(noVersion), DecodingError);

    const QUuid day = QUuid::createUuid();
    lib.spreadsheets = {{QUuid::createUuid(), day, "T", at(8), at(8), true, {row("1", "2")}}};
    QJsonObject withSheet = TavrinJSON::decodeObject(encodeLibrary(lib));
    QJsonArray sheets = withSheet["spreadsheets"].toArray();
    QJsonObject sheet = sheets[0].toObject();
    QJsonArray rows = sheet["rows"].toArray();
    QJsonObject r = rows[0].toObject();
    r["assignedNumber"] = 2; // a number where text is required
    rows[0] = r;
    sheet["rows"] = rows;
    sheets[0] = sheet;
    withSheet["spreadsheets"] = sheets;
    EXPECT_THROW(librarySnapshotFromJson(withSheet), DecodingError);

    QJsonObject badDate = good;
    badDate["updatedAt"] = "2026-12-04 23:18:00";
    EXPECT_THROW(librarySnapshotFromJson(badDate), DecodingError);
}
