#include "programme/ImportParser.h"
#include "programme/PersonName.h"

#include "ProgrammeTestSupport.h"

#include <gtest/gtest.h>

using namespace tavrin;
using PersonName::Split;

namespace {
Split split(const char* first, const char* last) { return {QString::fromUtf8(first), QString::fromUtf8(last)}; }
QStringList row(std::initializer_list<const char*> cells)
{
    QStringList r;
    for (const char* c : cells) r << QString::fromUtf8(c);
    return r;
}
} // namespace

TEST(PersonNameTest, FamilyNameFirst)
{
    using PersonName::splitFamilyAndGiven;
    EXPECT_EQ(splitFamilyAndGiven(u"DE LA TOUR Marie"), split("Marie", "DE LA TOUR"));
    EXPECT_EQ(splitFamilyAndGiven(u"MARTIN Jean Pierre Xavier"), split("Jean Pierre", "MARTIN"));
    EXPECT_EQ(splitFamilyAndGiven(u"MARTIN Jean Xavier Paul"), split("Jean", "MARTIN"));
    EXPECT_EQ(splitFamilyAndGiven(u"MARTIN Jean Pierre"), split("Jean Pierre", "MARTIN"));
    EXPECT_EQ(splitFamilyAndGiven(u"MARTIN Jean Fran\u00E7ois Xavier"), split("Jean Fran\u00E7ois", "MARTIN"));
    EXPECT_EQ(splitFamilyAndGiven(u" DUPONT \n"), split("", "DUPONT"));
    EXPECT_EQ(splitFamilyAndGiven(u"VAN DER BERG Anna"), split("Anna", "VAN DER BERG"));
    EXPECT_EQ(splitFamilyAndGiven(u"LE GALL"), split("", "LE GALL"));
    EXPECT_EQ(splitFamilyAndGiven(u"D' ARTOIS Paul"), split("Paul", "D' ARTOIS"));
    EXPECT_EQ(splitFamilyAndGiven(u"D\u2019 ARTOIS Paul"), split("Paul", "D\u2019 ARTOIS"));
    EXPECT_EQ(splitFamilyAndGiven(u"DE LA"), split("", "DE LA"));
    // Particles are whole tokens.
    EXPECT_EQ(splitFamilyAndGiven(u"DELATOUR Marie"), split("Marie", "DELATOUR"));
}

TEST(PersonNameTest, ListingAndWebsiteOrders)
{
    using PersonName::splitListingRider;
    using PersonName::splitWebsiteRider;
    EXPECT_EQ(splitListingRider(u"MARTIN DURAND Jean Marc"), split("Jean Marc", "MARTIN DURAND"));
    EXPECT_EQ(splitListingRider(u"MARTIN DURAND Jean"), split("Jean", "MARTIN DURAND"));
    EXPECT_EQ(splitListingRider(u"DUPONT No\u00EBl Jean"), split("Jean", "DUPONT No\u00EBl"));
    EXPECT_EQ(splitListingRider(u"LEROY Jean No\u00EBl"), split("Jean No\u00EBl", "LEROY"));
    EXPECT_EQ(splitListingRider(u"Dupont Jean"), split("Jean", "Dupont"));
    EXPECT_EQ(splitListingRider(u" Seul "), split("", "Seul"));
    EXPECT_EQ(splitWebsiteRider(u"Marie Claire DUPONT"), split("Marie Claire", "DUPONT"));
    EXPECT_EQ(splitWebsiteRider(u"DUPONT Marie"), split("Marie", "DUPONT"));
    EXPECT_EQ(splitWebsiteRider(u"Jean Dupont"), split("Jean", "Dupont"));
    EXPECT_EQ(splitWebsiteRider(u"DUPONT JEAN"), split("DUPONT", "JEAN"));
    EXPECT_EQ(splitWebsiteRider(u"Jean Pierre DUPONT MARTIN"), split("Jean Pierre", "DUPONT MARTIN"));
    EXPECT_EQ(splitWebsiteRider(u"\u00C9lodie L\u00C9GER"), split("\u00C9lodie", "L\u00C9GER"));
    // A single capital is no family name.
    EXPECT_EQ(splitWebsiteRider(u"Paul A Martin"), split("Paul A", "Martin"));
}

TEST(PersonNameTest, ColumnCellsAndCells)
{
    EXPECT_EQ(PersonName::columnCells(u"12   DUPONT Jean   PAPILLON"), row({"12", "DUPONT Jean", "PAPILLON"}));
    EXPECT_FALSE(PersonName::columnCells(u"12  DUPONT"));
    EXPECT_EQ(PersonName::columnCells(u" 12\t\tDUPONT \t"), row({"12", "", "DUPONT"}));
    EXPECT_EQ(PersonName::columnCells(u"1 \u00A0 245\u3000 DE LA TOUR Marie  X"), row({"1", "245", "DE LA TOUR Marie", "X"}));
    const QStringList r = row({" a ", "b"});
    EXPECT_EQ(PersonName::cell(r, 0), "a");
    EXPECT_EQ(PersonName::cell(r, 2), "");
    EXPECT_EQ(PersonName::cell(r, -1), "");
    EXPECT_EQ(PersonName::cell(r, std::nullopt), "");
}

TEST(PersonNameTest, PersonFromRow)
{
    using PersonName::person;
    const auto p = [](const QStringList& r, qsizetype number, PersonName::ColumnIndex last = {},
                      PersonName::ColumnIndex first = {}, PersonName::ColumnIndex full = {}) {
        return person(r, number, last, first, full, 7).value_or(ImportedPerson{"<none>", {}, {}, 0});
    };
    // Number, family, given: the family name is not taken for the number.
    EXPECT_EQ(p(row({"012", "DUPONT", "Jean"}), 0), (ImportedPerson{"12", "Jean", "DUPONT", 7}));
    // A start order before the number shifts to the number.
    EXPECT_EQ(p(row({"1", "245 HC", "DE LA TOUR Marie", "Cheval"}), 0), (ImportedPerson{"245", "Marie", "DE LA TOUR", 7}));
    // Also to a number with a code before its digits, which gives its first digit run.
    EXPECT_EQ(p(row({"1", "FRA 123", "DUPONT Jean"}), 0), (ImportedPerson{"123", "Jean", "DUPONT", 7}));
    EXPECT_EQ(p(row({"2", "N°12", "LEROY", "Paul"}), 0), (ImportedPerson{"12", "Paul", "LEROY", 7}));
    EXPECT_EQ(p(row({"3", "No. 0045 HC", "MARTIN Luc"}), 0).canonicalNumber, "45");
    // A name holding a digit does not, nor does a long word before the digits.
    EXPECT_EQ(p(row({"12", "Quick Star 2", "X"}), 0).canonicalNumber, "12");
    EXPECT_EQ(p(row({"12", "Cornet 2", "X"}), 0).canonicalNumber, "12");
    EXPECT_EQ(p(row({"12", "GBR 7 Jean", "X"}), 0).canonicalNumber, "12");
    // Named columns, the separate given name dropped when the family cell holds both.
    EXPECT_EQ(p(row({"Jean", "DUPONT", "3"}), 2, 1, 0), (ImportedPerson{"3", "Jean", "DUPONT", 7}));
    EXPECT_EQ(p(row({"Paul", "MARTIN Jean", "3"}), 2, 1, 0), (ImportedPerson{"3", "Jean", "MARTIN", 7}));
    EXPECT_EQ(p(row({"4", "", "DUPONT Jean"}), 0, std::nullopt, std::nullopt, 2), (ImportedPerson{"4", "Jean", "DUPONT", 7}));
    // An empty full-name cell falls back to the family and given columns.
    EXPECT_EQ(p(row({"4", "Paul", "", "LEROY"}), 0, 3, 1, 2), (ImportedPerson{"4", "Paul", "LEROY", 7}));
    EXPECT_EQ(p(row({"5", "LE GALL"}), 0), (ImportedPerson{"5", "", "LE GALL", 7}));
    // The number index is clamped into the row.
    EXPECT_EQ(p(row({"DUPONT Jean", "9"}), 5, 0), (ImportedPerson{"9", "Jean", "DUPONT", 7}));
    EXPECT_EQ(p(row({"", "DUPONT", "Jean"}), 0).canonicalNumber, "<none>");
    EXPECT_EQ(p(row({"8", " ", ""}), 0).canonicalNumber, "<none>");
    EXPECT_EQ(p({}, 0).canonicalNumber, "<none>");
}

TEST(ImportParserTest, IdentityColumns)
{
    using ImportParser::identityColumns;
    using ImportParser::IdentityColumns;
    EXPECT_EQ(ImportParser::normalizedHeader(u"N\u00B0"), "n\u00B0");
    EXPECT_EQ(ImportParser::normalizedHeader(u"n."), "n");
    EXPECT_EQ(ImportParser::normalizedHeader(u"Nom complet"), "nomcomplet");
    EXPECT_EQ(ImportParser::normalizedHeader(u"Pr\u00E9nom"), "prenom");
    EXPECT_EQ(ImportParser::normalizedHeader(u"Last_Name"), "lastname");

    EXPECT_EQ(identityColumns({}), IdentityColumns{});
    const QList<QStringList> table{row({"Concours de Lamotte"}), row({}),
                                   row({"Ordre", "Dossard", "Nom", "Pr\u00E9nom", "Nom", "Cavalier"})};
    EXPECT_EQ(identityColumns(table), (IdentityColumns{1, 2, 3, 5, 2}));
    EXPECT_EQ(identityColumns({row({"x", "Pr\u00E9nom", "NOM"})}), (IdentityColumns{0, 2, 1, std::nullopt, 0}));
    EXPECT_EQ(identityColumns({row({"Rider", "Prenom"})}), (IdentityColumns{0, std::nullopt, 1, 0, 0}));
    EXPECT_EQ(identityColumns({row({"x"}), row({"Athl\u00E8te"})}), (IdentityColumns{0, std::nullopt, std::nullopt, 0, 1}));
    QList<QStringList> late(12, row({"1", "DUPONT"}));
    late << row({"N\u00B0", "Nom"});
    EXPECT_EQ(identityColumns(late), IdentityColumns{});
    late.removeAt(0);
    EXPECT_EQ(identityColumns(late), (IdentityColumns{0, 1, std::nullopt, std::nullopt, 11}));

    // Header rows wherever they stand, whatever column holds the number.
    using ImportParser::isHeaderRow;
    EXPECT_TRUE(isHeaderRow(row({"Ordre", "N°", "Nom", "Prénom"}), 1));
    EXPECT_TRUE(isHeaderRow(row({"NOM PRÉNOM", "CHEVAL"}), 0));
    EXPECT_TRUE(isHeaderRow(row({"", "Nom - Prénom", "Gains 2024"}), 0));
    EXPECT_FALSE(isHeaderRow(row({"12", "NOM", "Prénom"}), 0));
    EXPECT_FALSE(isHeaderRow(row({"Ordre", "7", "Nom"}), 0));
    EXPECT_FALSE(isHeaderRow(row({"Epreuve 3 - Grand Prix"}), 0));
    EXPECT_FALSE(isHeaderRow({}, 0));
}
