#include "ProgrammeTestSupport.h"
#include "programme/PDFProgrammeParser.h"

#include <gtest/gtest.h>

using namespace tavrin;
using namespace tavrin::test;
namespace Pdf = tavrin::PDFProgrammeParser;

namespace {

QStringList read(const char* fixtureName) { return outline(Pdf::parse(programmeFixture(fixtureName)).days); }

QString riderText(const QString& line)
{
    const auto p = Pdf::rider(line);
    return p ? p->canonicalNumber + u' ' + p->lastName + u'/' + p->firstName : QStringLiteral("<none>");
}

} // namespace

TEST(PdfLinesTest, SkippedLinesHeadingsAndRiders)
{
    for (const char* skipped : {"Page 2", "14h30", "9 : 05 départ", "Liste de départ", "Cavalier", "NOM DU CAVALIER", "N°"})
        EXPECT_TRUE(Pdf::isSkippable(QString::fromUtf8(skipped))) << skipped;
    EXPECT_FALSE(Pdf::isSkippable(u"Pagesse"));

    EXPECT_EQ(Pdf::cleanEventTitle(u"Epreuve n°3 - Grand Prix (1,35 m)"), "Grand Prix (1,35 m)");
    EXPECT_EQ(Pdf::eventTitle(u"ÉPREUVE 4 : Préparatoire"), QString::fromUtf8("Préparatoire"));
    EXPECT_EQ(Pdf::eventTitle(u"Vitesse 1,20 m"), "Vitesse 1,20 m");
    EXPECT_EQ(Pdf::eventTitle(u"Epreuve 4"), "Epreuve 4");
    EXPECT_FALSE(Pdf::eventTitle(u"12 Epreuve"));
    EXPECT_FALSE(Pdf::eventTitle(u"(1,20 m)"));
    EXPECT_FALSE(Pdf::eventTitle(u"Club de Vitesse"));

    // Start order then number; the columns after the name are not part of it.
    EXPECT_EQ(riderText("12 345 DUPONT Jean  VITAL DU BOIS"), "345 DUPONT/Jean");
    EXPECT_EQ(riderText("12   345   DE LA TOUR Marie   VITAL DU BOIS   Club"), "345 DE LA TOUR/Marie");
    EXPECT_EQ(riderText("345 DUPONT Jean"), "345 DUPONT/Jean");
    EXPECT_EQ(riderText("345   DUPONT Jean   12"), "345 DUPONT/Jean");
    EXPECT_EQ(riderText("7 MARTIN DURAND Jean Marc"), "7 MARTIN DURAND/Jean Marc");
    // After a licence number, category letters dropped.
    EXPECT_EQ(riderText("3 A 12345678K  J  LEROY Paul  CORNADO"), "3 LEROY/Paul");
    EXPECT_EQ(riderText("Page 3 sur 4"), "<none>");
    EXPECT_EQ(riderText("DUPONT Jean"), "<none>");
    // An address on an invoice is no rider.
    for (const char* address : {"12 rue des Écuries", "3 AVENUE FOCH", "8 bis chemin du Moulin", "1 Allée des Chênes"})
        EXPECT_EQ(riderText(QString::fromUtf8(address)), "<none>") << address;
    EXPECT_TRUE(Pdf::assemble({"Facture n° 2024-118", "Haras du Pin", "12 rue des Écuries", "61310 Le Pin-au-Haras"}).isEmpty());
    EXPECT_FALSE(Pdf::looksLikeListingName(u"DUPONT 2"));
    EXPECT_FALSE(Pdf::looksLikeListingName(u"A B C D E F G"));
    EXPECT_TRUE(Pdf::looksLikeListingName(u"O'NEIL-SMITH Ann*"));
}

TEST(PdfLinesTest, LineMachine)
{
    const QStringList lines{"12 BONNET Inès", "Samedi 5 avril", "Epreuve 3 - Vitesse", "(1,20 m)", "(1,30 m)",
                            "1 245 DUPONT Jean", "Dimanche", "2 246 MARTIN Paul", "Epreuve 4 - Vitesse", "Page 1",
                            "1 245 DUPONT Jean", "Samedi", "Epreuve 3 - Vitesse (1,20 m)", "8 LEROY Paul", "Epreuve 9"};
    EXPECT_EQ(outline(Pdf::assemble(lines)),
              QStringList({"Programme|Inscriptions: 12 BONNET/Inès", "Samedi|Vitesse (1,20 m): 245 DUPONT/Jean",
                           "Dimanche|Vitesse (1,20 m): 246 MARTIN/Paul", "Dimanche|Vitesse: 245 DUPONT/Jean",
                           "Samedi|Vitesse (1,20 m)|2 [Vitesse (1,20 m)]: 8 LEROY/Paul"}));
    EXPECT_EQ(Pdf::assemble(lines)[1].events[0].people[0].sourceLine, 6);
}

TEST(PdfLinesTest, RunOnPages)
{
    QString runOn = QStringLiteral("Samedi 12 juillet Epreuve 1 - Grand Prix 2 Etoiles ");
    for (int i = 1; i <= 20; ++i) runOn += QStringLiteral("%1 %2 DUPONT%3 Jean ").arg(i).arg(100 + i).arg(QChar(u'A' + i));
    runOn += QStringLiteral("Page 2 Dimanche 13 juillet Epreuve 2 - Vitesse 1 300 LEROY Paul");
    const QStringList lines = Pdf::pageLines(runOn);
    EXPECT_EQ(lines.mid(0, 3), QStringList({"Samedi 12 juillet", "Epreuve 1 - Grand Prix 2 Etoiles", "1 101 DUPONTB Jean"}));
    const QStringList events = outline(Pdf::assemble(lines));
    ASSERT_EQ(events.size(), 2);
    EXPECT_EQ(events[0].count(u','), 19);
    EXPECT_EQ(events[1], "Dimanche|Vitesse: 300 LEROY/Paul");
    // Three short lines are not a run-on page.
    EXPECT_EQ(Pdf::pageLines(u"a\r\nb\rc\u00A0d\n\n"), QStringList({"a", "b", "c d"}));
}

TEST(PdfLinesTest, FederationLayoutNumbersRidersByPosition)
{
    const QString heading = QStringLiteral("Open de Pau - N° 2025001\nListe de départ\n");
    const QString columns = QStringLiteral("Licence               Nom du cavalier     Cheval\n");
    const QString page1 = heading + QStringLiteral("Epreuve 1 - Club Elite - 2 engagés\n") + columns +
                          QStringLiteral("A  SO 41  1234567K    DUPONT Jean         BALOU       88\n"
                                         "P  J1 12  7654321L    MARTIN DURAND       CASALL\n"
                                         "                      Jean Marc\n"
                                         "Epreuve 2 - Grand Prix - 3 engagés\n") + columns +
                          QStringLiteral("A  M 07  1111111A     LEROY Paul          QUICK\n");
    const QString page2 = columns + QStringLiteral("A  M 07  2222222B     BONNET Inès         VITAL     17\n"
                                                   "A  M 07  3333333C     GIRAUD Hugo         UKO       55\n"
                                                   "Page 2/2\n");
    const auto document = Pdf::parseFFEListing({page1, page2}, "fei.pdf");
    ASSERT_TRUE(document);
    EXPECT_EQ(outline(document->days),
              QStringList({"Open de Pau|Épreuve 1 – Club Elite: 1 DUPONT/Jean, 2 MARTIN DURAND/Jean Marc",
                           "Open de Pau|Épreuve 2 – Grand Prix: 1 LEROY/Paul, 2 BONNET/Inès, 3 GIRAUD/Hugo"}));
    EXPECT_FALSE(Pdf::parseFFEListing({columns + "A  M 07  3333333C     GIRAUD Hugo"}, "x.pdf"));
}

TEST(PdfFileTest, ReadsPdfsFromTheirProducers)
{
    // reportlab: order and number columns, a height on the next line, a list running over pages.
    EXPECT_EQ(read("free-layout.pdf"),
              QStringList({"Samedi|Vitesse (1,10 m): 101 DUPONT/Jean, 102 MARTIN/Paul, 103 LEROY/Élodie, "
                           "104 BERNARD/Luc, 105 MOREAU/Chloé, 106 DE LA TOUR/Marie, 107 VAN DER BERG/Anna",
                           "Samedi|Grand Prix (1,35 m): 205 MARTIN/Jean Pierre, 230 LEROY/Élodie",
                           "Dimanche|Grand Prix (1,40 m): 301 D' ARTOIS/Paul, 302 BONNET/Inès"}));
    // cairo: numbers alone, single spaces.
    EXPECT_EQ(read("numbers-only.pdf"),
              QStringList({"Mercredi|Préparatoire: 8 BONNET/, 12 D' ARTOIS/Paul, 77 MARTIN DURAND/Jean Marc, 245 DUPONT/Jean"}));
    EXPECT_EQ(read("run-on.pdf"),
              QStringList({"Samedi|Vitesse (1,10 m): 18 LEROY/Élodie, 245 DUPONT/Jean, 312 MARTIN/Paul",
                           "Samedi|Grand Prix (1,20 m): 77 BERNARD/Luc, 245 DUPONT/Jean"}));
    // The federation layout: printed numbers are ignored, names may take two lines.
    const QStringList federation = read("federation.pdf");
    ASSERT_EQ(federation.size(), 2);
    EXPECT_TRUE(federation[0].startsWith("Grand National de Lamotte|Épreuve 3 – Grand Prix Pro 2: 1 DUPONT/Jean, "
                                         "2 DE LA TOUR/Marie Claire, 3 LEROY/Jean"));
    EXPECT_EQ(federation[0].count(u','), 11);
    EXPECT_EQ(federation[1], "Grand National de Lamotte|Épreuve 5 – Amateur 1 Grand Prix: 1 LEROY/Paul, "
                             "2 DE LA TOUR/Marie Claire, 3 MOREAU/Paul, 4 FONTAINE/Paul");
}

TEST(PdfFileTest, UnreadablePdfs)
{
    for (const char* name : {"encrypted.pdf", "empty.pdf", "not-a-pdf.pdf", "absent.pdf"}) {
        try {
            Pdf::parse(programmeFixture(name));
            ADD_FAILURE() << name;
        } catch (const Error& e) {
            EXPECT_EQ(e.message(), "Impossible de lire ce type de fichier.") << name;
        }
    }
    EXPECT_TRUE(Pdf::parse(programmeFixture("blank-page.pdf")).days.isEmpty());
}
