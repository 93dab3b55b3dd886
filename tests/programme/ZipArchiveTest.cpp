#include "ProgrammeTestSupport.h"
#include "programme/ZipArchive.h"

#include <gtest/gtest.h>

#include <QtEndian>

using namespace tavrin;
using namespace tavrin::test;

namespace {

QString zipMessage(const std::function<void()>& f)
{
    try {
        f();
    } catch (const ZipError& e) {
        return e.message();
    }
    return QStringLiteral("<no error>");
}

} // namespace

TEST(ZipArchiveTest, ListsAndFindsEntriesInDirectoryOrder)
{
    // Written by Python's zipfile with a 65,535-byte comment.
    const QByteArray zip = programmeFixtureBytes("archive-cases.zip");
    const QList<ZipArchive::Entry> entries = ZipArchive::listing(zip);
    QStringList names;
    for (const auto& e : entries) names << e.name;
    EXPECT_EQ(names, QStringList({"docs/sheet1.xml", "sheet1.xml", "xl/worksheets/sheet2.xml", "b/sheet2.xml",
                                  "lzma.bin", "one.txt", ""}));
    EXPECT_EQ(entries[2].compression, 8);
    EXPECT_EQ(entries[2].uncompressedSize, 1000);

    // The first entry in directory order that matches, fully or after a "/".
    EXPECT_EQ(ZipArchive::data("sheet1.xml", zip), "suffix first");
    EXPECT_EQ(ZipArchive::data("docs/sheet1.xml", zip), "suffix first");
    EXPECT_EQ(ZipArchive::data("sheet2.xml", zip), QByteArray("<row>").repeated(200));
    // A name that is not UTF-8 is listed empty and found only by the empty name.
    EXPECT_EQ(ZipArchive::data("", zip), "not a UTF-8 name");
    // Declared empty once inflated: decoded into one byte.
    EXPECT_EQ(ZipArchive::data("one.txt", zip), "a");
    EXPECT_EQ(zipMessage([&] { ZipArchive::data("lzma.bin", zip); }), "Compression Excel non prise en charge.");
    const QString missing = zipMessage([&] { ZipArchive::data("xl/workbook.xml", zip); });
    EXPECT_EQ(missing, "Feuille Excel introuvable.");

    // The entry count is the total at offset 10, not the count of this disk at offset 8.
    QByteArray oneOnDisk = zip;
    qToLittleEndian<quint16>(1, oneOnDisk.data() + *ZipArchive::findEOCD(zip) + 8);
    EXPECT_EQ(ZipArchive::listing(oneOnDisk).size(), 7);
}

TEST(ZipArchiveTest, EndRecordSearch)
{
    const QByteArray zip = programmeFixtureBytes("archive-cases.zip");
    EXPECT_EQ(ZipArchive::findEOCD(zip), zip.size() - 22 - 65535);
    // One byte more and the record lies beyond the longest comment.
    EXPECT_FALSE(ZipArchive::findEOCD(QByteArray(zip).append('x')));
    EXPECT_FALSE(ZipArchive::findEOCD(QByteArray(21, 'P')));
    EXPECT_EQ(zipMessage([] { ZipArchive::listing(QByteArray("PK\x05\x06", 4).repeated(5).left(21)); }),
              "Fichier Excel illisible.");
    // A signature inside the comment is higher than the real record and wins.
    const QByteArray fake = programmeFixtureBytes("end-signature-in-comment.zip");
    EXPECT_EQ(ZipArchive::findEOCD(fake), fake.size() - 22);
    EXPECT_TRUE(ZipArchive::listing(fake).isEmpty());
}

TEST(ZipArchiveTest, DamagedAndHostileArchives)
{
    const QByteArray truncated = programmeFixtureBytes("truncated.xlsx");
    EXPECT_EQ(zipMessage([&] { ZipArchive::listing(truncated); }), "Fichier Excel illisible.");
    // A central record pointing past the end of the buffer.
    QByteArray zip = programmeFixtureBytes("archive-cases.zip");
    qToLittleEndian<quint32>(quint32(zip.size()), zip.data() + *ZipArchive::findEOCD(zip) + 16);
    EXPECT_EQ(zipMessage([&] { ZipArchive::listing(zip); }), "Fichier Excel illisible.");
    // A declared size beyond the cap is not trusted either way: the data decides, and nothing is
    // inflated beyond the cap.
    const auto deflated = [](const QByteArray& data) { return qCompress(data).sliced(6); }; // raw DEFLATE
    const QByteArray small = QByteArray("<row>").repeated(1000);
    EXPECT_EQ(ZipArchive::inflate(deflated(small), ZipArchive::kMaxEntrySize + 1), small);
    const QByteArray atCap = deflated(QByteArray(ZipArchive::kMaxEntrySize, 'a'));
    EXPECT_EQ(ZipArchive::inflate(atCap, 0x7FFFFFFF).size(), ZipArchive::kMaxEntrySize);
    const QByteArray beyond = deflated(QByteArray(ZipArchive::kMaxEntrySize + 1, 'a'));
    EXPECT_EQ(zipMessage([&] { ZipArchive::inflate(beyond, 0x7FFFFFFF); }), "Ce fichier Excel est trop volumineux.");
    EXPECT_EQ(zipMessage([] { ZipArchive::inflate("x", ZipArchive::kMaxEntrySize + 1); }),
              "Impossible de lire le fichier Excel.");
    EXPECT_EQ(zipMessage([] { ZipArchive::inflate("not deflate data", 100); }), "Impossible de lire le fichier Excel.");
    // Twenty sheets sharing one 60 MiB part stop at the bound of what one file may inflate.
    EXPECT_EQ(zipMessage([] { ZipArchive::worksheets(programmeFixtureBytes("bomb.xlsx")); }),
              "Ce fichier Excel est trop volumineux.");
}

TEST(ZipArchiveTest, WorksheetResolution)
{
    // r:id first, else id (never sheetId); unnamed sheets and <sheets> itself are not sheets.
    const auto sheets = ZipArchive::sheetDescriptors(
        R"(<sheets><sheet name="Tom &amp;lt; Jerry" sheetId="1" r:id="rId2"/><sheet sheetId="2" r:id="rId3"/>)"
        R"(<SHEET NAME="Dimanche" sheetId="3" id="x"></SHEET><sheet name="Lundi" sheetId="4"/></sheets>)");
    ASSERT_EQ(sheets.size(), 2);
    EXPECT_EQ(sheets[0].name, "Tom < Jerry");
    EXPECT_EQ(sheets[0].relationshipID, "rId2");
    EXPECT_EQ(sheets[1].name, "Dimanche");
    EXPECT_EQ(sheets[1].relationshipID, "x");

    const auto names = [](const char* fixture) {
        QStringList out;
        for (const auto& w : ZipArchive::worksheets(programmeFixtureBytes(fixture))) out << w.name;
        return out;
    };
    EXPECT_EQ(names("weekend.xlsx"), QStringList({"Samedi", "Dimanche"}));
    // Without relationships the first sheet is found at worksheets/sheet1.xml.
    EXPECT_EQ(names("missing-rels.xlsx"), QStringList({"Feuil1"}));
    // "/xl/worksheets/sheet1.xml" and "worksheets\sheet2.xml" both resolve (swapped on purpose).
    const auto odd = ZipArchive::worksheets(programmeFixtureBytes("odd-targets.xlsx"));
    ASSERT_EQ(odd.size(), 2);
    EXPECT_EQ(odd[0].name, "Engagements");
    EXPECT_TRUE(odd[0].xml.contains("BERNARD Luc"));
    EXPECT_TRUE(odd[1].xml.contains("FONTAINE"));
    // No sheet listed: every part, sorted as plain text, so sheet10.xml comes second.
    const auto parts = ZipArchive::worksheets(programmeFixtureBytes("no-sheet-list.xlsx"));
    ASSERT_EQ(parts.size(), 12);
    EXPECT_EQ(parts[1].name, "Feuille 2");
    EXPECT_TRUE(parts[1].xml.contains("<v>100</v>"));
}
