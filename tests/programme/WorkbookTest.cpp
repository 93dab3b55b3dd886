#include "ProgrammeTestSupport.h"
#include "programme/ExcelProgrammeParser.h"
#include "programme/ProgrammeFileParser.h"
#include "programme/XmlPatterns.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <QtEndian>

using namespace tavrin;
using namespace tavrin::test;

namespace {

QList<QStringList> rows(const char* sheetData, const QStringList& shared = {})
{
    qint64 budget = ImportParser::kMaxCells;
    return ImportParser::worksheetRows(QByteArray(sheetData), shared, budget);
}

QStringList read(const char* fixtureName) { return outline(ExcelProgrammeParser::parse(programmeFixture(fixtureName)).days); }

QString failure(const QString& path)
{
    try {
        ProgrammeFileParser::parse(path);
    } catch (const Error& e) {
        return e.message();
    }
    return QStringLiteral("<no error>");
}

} // namespace

TEST(WorkbookCellsTest, CellsByReferenceTypeAndEntity)
{
    EXPECT_EQ(rows(R"(<row><c r="C1"><v>x</v></c></row>)"), QList<QStringList>({{"", "", "x"}}));
    EXPECT_EQ(rows(R"(<row><c r="AB3"><v>1</v></c></row>)")[0].size(), 28);
    // Shared strings by index; an index out of range reads as its own text.
    EXPECT_EQ(rows(R"(<row><c r="A1" t="s"><v>1</v></c><c r="B1" t="s"><v>57</v></c></row>)", {"a", "b"}),
              QList<QStringList>({{"b", "57"}}));
    // Inline strings join their runs; entities and references are decoded, ampersand first.
    EXPECT_EQ(rows(R"(<ROW><c r="A1" t="inlineStr"><is><r><t>Tom </t></r><r><t xml:space="preserve">&amp; Jerry</t></r></is></c>)"
                   R"(<c r="B1" t="str"><f>X</f><v>&amp;quot;&lt;3&#233;</v></c></ROW>)"),
              QList<QStringList>({{"Tom & Jerry", QString::fromUtf8("\"<3é")}}));
    // A self-closing cell is empty and does not swallow the next one; a later cell of the same
    // column wins; a missing reference is column A.
    EXPECT_EQ(rows(R"(<row><c r="A1" s="1"/><c r="B1"><v>b</v></c><c r="B1"><v>c</v></c><c><v>d</v></c></row><row/>)"
                   R"(<row><c r="A2"><is><t>no type</t></is></c></row>)"),
              QList<QStringList>({{"d", "c"}, {""}, {"no type"}}));
    // Cells beyond the last column, rows never closed and text that is not UTF-8 are dropped.
    EXPECT_EQ(rows(R"(<row><c r="XFE1"><v>far</v></c><c r="A1"><v>near</v></c></row><row><c r="A2"><v>x</v></c>)"),
              QList<QStringList>({{"near"}}));
    EXPECT_TRUE(rows("<row><c r=\"A1\"><v>\xC3(</v></c></row>").isEmpty());
    // Rows padded to their last column count against the bound of the workbook.
    qint64 budget = 100;
    try {
        ImportParser::worksheetRows(R"(<row><c r="CW1"/></row>)", {}, budget);
        ADD_FAILURE() << "no error beyond the bound";
    } catch (const ZipError& e) {
        EXPECT_EQ(e.message(), "Ce fichier Excel est trop volumineux.");
    }
    EXPECT_EQ(ImportParser::sharedStrings(R"(<sst><si><t>a</t></si><si/><si><r><t>b</t></r><r><t>c</t></r></si></sst>)"),
              QStringList({"a", "", "bc"}));
}

TEST(WorkbookCellsTest, EveryStringIsFullyDecoded)
{
    using XmlPatterns::decodeCellText;
    using XmlPatterns::decodeEntities;
    const auto text = [](const QByteArray& bytes) { return QString::fromUtf8(bytes); };
    EXPECT_EQ(text(decodeEntities("Pr&#233;nom &#xE9;&#XC9;t&#xe9; &apos;&quot;&lt;&gt; &#x1F40E;")),
              QString::fromUtf8("Prénom éÉté '\"<> \U0001F40E"));
    // Escaped twice still reads as the character; "&" that starts no entity stays.
    EXPECT_EQ(text(decodeEntities("L&amp;#233;a &amp;amp; Tom & Jerry &copy; &#; &#x; &#12a; &#")),
              QString::fromUtf8("Léa &amp; Tom & Jerry &copy; &#; &#x; &#12a; &#"));
    // A reference to no character is never left as text.
    EXPECT_EQ(text(decodeEntities("a&#0;b&#xD800;c&#99999999999;")), QString::fromUtf8("a\uFFFDb\uFFFDc\uFFFD"));
    EXPECT_EQ(text(decodeCellText("DUPONT_x000D_&#10;Jean _x005F_x0041_ _x12_")), QString::fromUtf8("DUPONT\r\nJean _x0041_ _x12_"));
    // Shared strings: rich-text runs joined, phonetic guides left out.
    EXPECT_EQ(ImportParser::sharedStrings(R"(<sst><si><r><rPr><b/></rPr><t>Pr&#233;</t></r><r><t>nom</t></r>)"
                                          R"(<rPh sb="0" eb="1"><t>x</t></rPh><phoneticPr/></si><si><t>&#201;lodie</t><rPh/></si></sst>)"),
              QStringList({QString::fromUtf8("Prénom"), QString::fromUtf8("Élodie")}));
    // Sheet names and relationship attributes.
    const auto sheets = ZipArchive::sheetDescriptors(R"(<sheets><sheet name="Samedi &#8211; &#xC9;t&#233;" r:id="r&amp;1"/></sheets>)");
    ASSERT_EQ(sheets.size(), 1);
    EXPECT_EQ(sheets[0].name, QString::fromUtf8("Samedi – Été"));
    EXPECT_EQ(sheets[0].relationshipID, "r&1");
}

TEST(WorkbookSheetTest, HeadingsAndSheetNames)
{
    EXPECT_EQ(ExcelProgrammeParser::dayName(u"SAMEDI 12 juillet"), "Samedi");
    EXPECT_EQ(ExcelProgrammeParser::dayName(u"le dimanche"), "Dimanche");
    EXPECT_FALSE(ExcelProgrammeParser::dayName(u"Samedis"));
    for (const char* generic : {"Feuil1", "Sheet 2", "Onglet", "FEUILLE"})
        EXPECT_TRUE(ExcelProgrammeParser::isGenericSheetName(QString::fromUtf8(generic))) << generic;
    EXPECT_FALSE(ExcelProgrammeParser::isGenericSheetName(u"Feuille de route"));
    EXPECT_EQ(ExcelProgrammeParser::eventTitle(u" Épreuve 5 - Grand Prix "), QString::fromUtf8("Épreuve 5 - Grand Prix"));
    EXPECT_EQ(ExcelProgrammeParser::eventTitle(u"Vitesse ( 1.10m )"), "Vitesse ( 1.10m )");
    EXPECT_FALSE(ExcelProgrammeParser::eventTitle(u"Vitesse 1,10 m"));

    const QList<QStringList> table{{"Samedi 12"}, {"N°", "Nom", "Prénom"}, {"Epreuve 10 - Vitesse"}, {"7", "B", "b"},
                                   {"Epreuve 2 - Vitesse"}, {"5", "A", "a"}, {"", " "}, {"Dimanche"}, {"9", "C", "c"},
                                   {"Notes"}, {"3", "D", "d"}};
    EXPECT_EQ(outline(ExcelProgrammeParser::parseSheet("Feuil1", table)),
              QStringList({"Dimanche|Epreuve 2 - Vitesse: 3 D/d, 9 C/c", "Samedi|Epreuve 2 - Vitesse: 5 A/a",
                           "Samedi|Epreuve 10 - Vitesse: 7 B/b"}));
    // A « Cheval » column gives each rider his horse; without one, none.
    const QList<ProgrammeDay> horses = ExcelProgrammeParser::parseSheet(
        "Samedi", {{"N°", "Nom", "Prénom", "Cheval"}, {"12", "BERTIN", "Camille", " Quaprice  du Bois "}, {"13", "MARTIN", "Léa"}});
    ASSERT_EQ(outline(horses), QStringList({"Samedi|Inscriptions: 12 BERTIN/Camille, 13 MARTIN/Léa"}));
    EXPECT_EQ(horses[0].events[0].people[0].horseName, "Quaprice du Bois");
    EXPECT_EQ(horses[0].events[0].people[1].horseName, "");
    EXPECT_EQ(ExcelProgrammeParser::parseSheet("Samedi", table)[0].events[0].people[0].horseName, "");
    EXPECT_EQ(outline(ExcelProgrammeParser::parseSheet(" GP 1m30 ", {{"1", "X"}})), QStringList({"Programme|GP 1m30: 1 X/"}));
    EXPECT_EQ(outline(ExcelProgrammeParser::parseSheet("Samedi", {{"1", "X"}})), QStringList({"Samedi|Inscriptions: 1 X/"}));
}

TEST(WorkbookSheetTest, MergeKeepsTheFirstValues)
{
    QList<ProgrammeDay> days = ExcelProgrammeParser::parseSheet("Samedi", {{"Epreuve 1"}, {"4", "A"}, {"2", "B"}});
    ExcelProgrammeParser::merge(ExcelProgrammeParser::parseSheet("Samedi", {{"Epreuve 1"}, {"2", "Z"}, {"1", "C"}, {"Epreuve 3"}, {"8", "D"}}), days);
    ExcelProgrammeParser::merge(ExcelProgrammeParser::parseSheet("Dimanche", {{"5", "E"}}), days);
    EXPECT_EQ(outline(days), QStringList({"Samedi|Epreuve 1: 1 C/, 2 B/, 4 A/", "Samedi|Epreuve 3: 8 D/",
                                          "Dimanche|Inscriptions: 5 E/"}));
}

TEST(WorkbookFileTest, ReadsWorkbooksFromTheirProducers)
{
    // libxlsxwriter, shared strings: a title row above the header row, event rows, a day change.
    EXPECT_EQ(read("weekend.xlsx"),
              QStringList({"Samedi|Epreuve 2 - Grand Prix (1,35 m): 101 DUPONT/Jean, 205 BERNARD/Luc, 230 VAN DER BERG/Anna",
                           "Samedi|Epreuve 10 - Vitesse (1,10 m): 101 DUPONT/Jean, 102 DE LA TOUR/Marie Anne, "
                           "103 MARTIN/Jean-Pierre, 104 LEROY/Élodie",
                           "Dimanche|Epreuve 5 - Grand Prix (1,40 m): 301 BERNARD/Luc, 302 MOREAU/Chloé, 303 LE GALL/Yann Marie",
                           "Lundi|Epreuve 5 - Grand Prix (1,40 m): 401 FONTAINE/Léa"}));
    // libxlsxwriter in constant-memory mode writes inline strings; the sheet names the event.
    EXPECT_EQ(read("inline-strings.xlsx"),
              QStringList({"Programme|GP 1m30: 10 VAN DER BERG/Anna, 11 ROUSSEL/Camille, 12 GIRAUD/Hugo"}));
    // openpyxl, generic sheet name and no header: one event, the first rider of a number kept.
    const QStringList flat{"Programme|Inscriptions: 7 LEROY/Paul, 8 MARTIN/Luc, 12 DUPONT/Jean, 42 GIRAUD/Hugo"};
    EXPECT_EQ(read("feuil1-no-header.xlsx"), flat);
    EXPECT_EQ(read("missing-rels.xlsx"), flat);
    // openpyxl writes accents as character references.
    EXPECT_EQ(read("headers-later.xlsm"),
              QStringList({QString::fromUtf8("Samedi|Engagements: 21 FONTAINE/Léa, 22 ROUSSEL/Camille"),
                           QString::fromUtf8("Samedi|Epreuve préparatoire: 23 DE LA TOUR/Marie"),
                           "Programme|Inscriptions: 31 BERNARD/Luc"}));
    const QStringList twelve = read("twelve-sheets.xlsx");
    ASSERT_EQ(twelve.size(), 12);
    EXPECT_EQ(twelve[11], "Programme|Epreuve 12: 120 ROUSSEL/Camille, 121 DUPONT/Jean");
    EXPECT_EQ(read("no-sheet-list.xlsx").front().count(u','), 23);
    EXPECT_EQ(ExcelProgrammeParser::parse(programmeFixture("weekend.xlsx")).sourceName, "weekend.xlsx");
}

TEST(WorkbookFileTest, AccentsAndRepeatedHeadersFromTheirProducers)
{
    // Headers again before each event, a "NOM PRÉNOM" column, numbers with a code before their
    // digits after a start order: no header is a rider, and every accent is kept.
    const ProgrammeDocument document = ExcelProgrammeParser::parse(programmeFixture("accents-repeated-headers.xlsx"));
    EXPECT_EQ(outline(document.days),
              QStringList({QString::fromUtf8("Samedi|Épreuve 1 – Préparatoire (1,10 m): 101 DUPONT/Jérôme, 102 LEFÈVRE/Anaïs"),
                           QString::fromUtf8("Samedi|Épreuve 2 – Grand Prix (1,35 m): 201 GÉRARD/Zoé, 202 MÜLLER/Chloé, "
                                             "203 O’BRIEN/Maël"),
                           QString::fromUtf8("Dimanche|Épreuve 3 (1,20 m): 302 BÉRANGER/François"),
                           QString::fromUtf8("Dimanche|Inscriptions: 301 DELACROIX/Hélène"),
                           QString::fromUtf8("Programme|Inscriptions: 401 PÉPIN/Léon, 402 ÉLOI/Inès, 403 FAURÉ/Noé")}));
    // libxlsxwriter: shared strings written as rich-text runs, the "NOM Prénom" header repeated.
    EXPECT_EQ(read("rich-strings.xlsx"),
              QStringList({QString::fromUtf8("Programme|Épreuve 4 – Vitesse (1,15 m): 501 BÉNÉTEAU/Amélie, 502 LAFORÊT/Gaëlle"),
                           QString::fromUtf8("Programme|Épreuve 6 – Grand Prix (1,30 m): 503 CÔTÉ/Noé, 504 HÉBERT/Loïc")}));
    QStringList folders;
    for (const ProgrammeDay& day : document.days)
        for (const ProgrammeEvent& event : day.events)
            for (const ImportedPerson& p : event.people) folders << p.folderName();
    EXPECT_TRUE(folders.contains(QString::fromUtf8("LEFÈVRE ANAÏS"))) << folders.join(u'|').toStdString();
    EXPECT_FALSE(folders.join(u'|').contains(u'&'));
}

TEST(WorkbookFileTest, BadInputEndsWithItsMessage)
{
    EXPECT_EQ(failure(programmeFixture("html-renamed.xlsx")), "Fichier Excel illisible.");
    EXPECT_EQ(failure(programmeFixture("truncated.xlsx")), "Fichier Excel illisible.");
    // Beyond a bound the message says so; a size field that lies costs nothing.
    EXPECT_EQ(failure(programmeFixture("bomb.xlsx")), "Ce fichier Excel est trop volumineux.");
    EXPECT_EQ(failure(programmeFixture("wide-rows.xlsx")), "Ce fichier Excel est trop volumineux.");
    EXPECT_EQ(read("huge-declared-size.xlsx"), read("feuil1-no-header.xlsx"));
    EXPECT_EQ(failure(programmeFixture("absent.xlsx")), "Impossible de lire ce type de fichier.");
    // 100,000 formatted empty cells: nothing to read.
    EXPECT_TRUE(ProgrammeFileParser::parse(programmeFixture("blank-cells.xlsx")).days.isEmpty());

    // Dispatch by extension, whatever its case.
    QTemporaryDir dir;
    const QString upper = dir.filePath("programme.PDF"), xls = dir.filePath("programme.xls");
    QFile::copy(programmeFixture("numbers-only.pdf"), upper);
    QFile::copy(programmeFixture("weekend.xlsx"), xls);
    EXPECT_EQ(ProgrammeFileParser::parse(upper).sourceName, "programme.PDF");
    EXPECT_EQ(failure(xls), "Impossible de lire ce type de fichier.");
    // Sparse files, whose size costs no disk. A workbook made large by what it holds besides its
    // sheets (300 MB between its parts and its directory) reads like a small one; a file beyond
    // what the zip format can place is too large.
    const QByteArray weekend = programmeFixtureBytes("weekend.xlsx");
    const qsizetype directory = qFromLittleEndian<quint32>(weekend.constData() + *ZipArchive::findEOCD(weekend) + 16);
    QByteArray tail = weekend.sliced(directory);
    qToLittleEndian<quint32>(quint32(directory + 300'000'000), tail.data() + tail.size() - 22 + 16);
    QFile large(dir.filePath("large.xlsx")), huge(dir.filePath("huge.xlsx"));
    ASSERT_TRUE(large.open(QIODevice::WriteOnly) && large.write(weekend.first(directory)) == directory &&
                large.seek(directory + 300'000'000) && large.write(tail) == tail.size());
    large.close();
    EXPECT_EQ(read("weekend.xlsx"), outline(ProgrammeFileParser::parse(large.fileName()).days));
    ASSERT_TRUE(huge.open(QIODevice::WriteOnly) && huge.resize(ExcelProgrammeParser::kMaxZipSize + 1));
    huge.close();
    EXPECT_EQ(failure(huge.fileName()), "Ce fichier Excel est trop volumineux.");
}
