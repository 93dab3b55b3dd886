#include "TestSupport.h"
#include "base/TavrinJSON.h"
#include "library/LibraryStore.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

using namespace tavrin;
using tavrin::test::TempDataDir;

namespace {

QDateTime at(int hour) { return QDateTime(QDate(2026, 12, 4), QTime(hour, 0), Qt::UTC); }

SpreadsheetRecord sheet(const QUuid& day, const QString& title, QList<RowRecord> rows = {})
{
    return SpreadsheetRecord{QUuid::createUuid(), day, title, at(8), at(9), true, std::move(rows)};
}

QString writePackage(const TempDataDir& data, const QString& name, const TavrinTransferPackage& p)
{
    const QString path = data.file(name);
    test::writeFile(path, encodeTransferPackage(p));
    return path;
}

} // namespace

TEST(TransferImport, BannersCountersAndSelection)
{
    TempDataDir data;
    LibraryStore store;
    QSignalSpy generations(&store, &LibraryStore::importGenerationChanged);
    int changes = 0;
    store.onChange = [&] { ++changes; };

    const DayRecord day{QUuid::createUuid(), "Samedi 5", at(6), 7};
    TavrinTransferPackage two{1, TavrinTransferPackage::Kind::day, day, {sheet(day.id, "A"), sheet(day.id, "B")}};
    EXPECT_EQ(store.importTavrinFile(writePackage(data, "jour.TAVRIN", two)), "Jour « Samedi 5 » importé · 2 tableurs");
    EXPECT_EQ(store.snapshot().day(day.id)->sortIndex, 0) << "a new day goes to the end of the day order";
    EXPECT_EQ(store.uiState().selectedDayID, day.id);
    EXPECT_EQ(store.uiState().selectedSpreadsheetID, two.spreadsheets[0].id);
    EXPECT_EQ(changes, 0) << "imports never call the change hook";

    TavrinTransferPackage one = two;
    one.spreadsheets.removeLast();
    EXPECT_EQ(store.importTavrinFile(writePackage(data, "un.tavrin", one)), "Jour « Samedi 5 » importé · 1 tableur");
    TavrinTransferPackage none = two;
    none.spreadsheets.clear();
    EXPECT_EQ(store.importTavrinFile(writePackage(data, "vide.tavrin", none)), "Jour « Samedi 5 » importé");
    TavrinTransferPackage single{1, TavrinTransferPackage::Kind::spreadsheet, day, {sheet(day.id, "Grand Prix")}};
    EXPECT_EQ(store.importTavrinFile(writePackage(data, "gp.tavrin", single)), "Tableur « Grand Prix » importé");
    single.spreadsheets.clear();
    EXPECT_EQ(store.importTavrinFile(writePackage(data, "gp2.tavrin", single)), "Tableur « Samedi 5 » importé");
    EXPECT_EQ(generations.count(), 5);
    EXPECT_EQ(store.importGeneration(), 5);

    EXPECT_FALSE(store.importTavrinFile(writePackage(data, "autre.json", two)));
    EXPECT_EQ(store.importGeneration(), 5) << "another extension is ignored";

    QJsonObject noVersion = TavrinJSON::decodeObject(encodeTransferPackage(two));
    noVersion.remove("formatVersion");
    test::writeFile(data.file("bad.tavrin"), TavrinJSON::encode(noVersion));
    EXPECT_EQ(store.importTavrinFile(data.file("bad.tavrin")), "Impossible d’importer ce fichier TAVRIN.");
    EXPECT_EQ(store.importGeneration(), 6);
    EXPECT_EQ(store.importTavrinFile(data.file("missing.tavrin")), "Impossible d’importer ce fichier TAVRIN.");
    {
        // Sparse, so never really this big on disk; refused without being read.
        QFile huge(data.file("énorme.tavrin"));
        ASSERT_TRUE(huge.open(QIODevice::WriteOnly));
        ASSERT_TRUE(huge.resize(JsonFile::maxSize + 1));
    }
    EXPECT_EQ(store.importTavrinFile(data.file("énorme.tavrin")), "Impossible d’importer ce fichier TAVRIN.");
}

TEST(TransferImport, MergesIntoExistingSpreadsheetsAndMovesThemToThePackageDay)
{
    TempDataDir data;
    LibraryStore store;
    const DayRecord local = store.addDay(QStringLiteral("Local"));
    const SpreadsheetRecord mine = store.addSpreadsheet(local.id, QStringLiteral("Mien"));
    store.updateRow(mine.id, mine.rows[0].id, QStringLiteral("7"), QStringLiteral("70"));

    const DayRecord phoneDay{QUuid::createUuid(), "Téléphone", at(6), 0};
    SpreadsheetRecord incoming = *store.snapshot().spreadsheet(mine.id);
    incoming.dayID = local.id; // the package day wins whatever the record says
    incoming.rows = {{QUuid::createUuid(), "9", "90"}};
    TavrinTransferPackage p{2, TavrinTransferPackage::Kind::spreadsheet, phoneDay, {incoming}};
    const QString path = writePackage(data, "t.tavrin", p);
    store.importTavrinFile(path);

    const SpreadsheetRecord merged = *store.snapshot().spreadsheet(mine.id);
    EXPECT_EQ(merged.dayID, phoneDay.id);
    ASSERT_EQ(merged.rows.size(), 3);
    EXPECT_EQ(merged.rows[0].photoNumber, "9");
    EXPECT_EQ(merged.rows[1].photoNumber, "7");
    EXPECT_TRUE(merged.rows[2].isBlank());

    // A second import of the same file adds nothing but a fresh trailing blank row.
    store.importTavrinFile(path);
    EXPECT_EQ(store.snapshot().spreadsheet(mine.id)->rows.size(), 3);
    EXPECT_EQ(store.snapshot().days.size(), 2);
    EXPECT_EQ(decodeLibrary(test::readFile(data.file("library.json"))), store.snapshot());
}
