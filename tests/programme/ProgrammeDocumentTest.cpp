#include "base/TavrinJSON.h"
#include "programme/FileNameSanitizer.h"
#include "programme/ImportError.h"
#include "programme/ProgrammeDocument.h"

#include "ProgrammeTestSupport.h"

#include <gtest/gtest.h>

using namespace tavrin;

TEST(ProgrammeDocumentTest, DerivedNames)
{
    const ImportedPerson elodie{"12", QString::fromUtf8("  \u00E9lodie\n"), " de la tour ", 3};
    EXPECT_EQ(elodie.formattedName(), QString::fromUtf8("DE LA TOUR \u00C9LODIE"));
    EXPECT_EQ(elodie.displayName(), elodie.formattedName());
    const ImportedPerson anonymous{"12", "", " ", 1};
    EXPECT_EQ(anonymous.formattedName(), "");
    EXPECT_EQ(anonymous.displayName(), QString::fromUtf8("N\u00B0 12"));
    EXPECT_EQ(anonymous.folderName(), "12");
    const ImportedPerson odd{"7", "Jean/Paul", "O\"BRIEN:  X?", 1};
    EXPECT_EQ(odd.folderName(), "O BRIEN X JEAN PAUL");
    EXPECT_EQ(FileNameSanitizer::sanitize(u" a<b>|c*%\\d \t e "), "a b c d e");
}

TEST(ProgrammeDocumentTest, JsonRoundTripIsByteIdentical)
{
    ProgrammeDocument doc{"programme.xlsx",
                          {{"Samedi",
                            {{"Samedi|Grand Prix", "Grand Prix (1,35 m)",
                              {{"12", QString::fromUtf8("J\u00E9r\u00F4me"), "DUPONT", 4, "Quaprice du Bois"}, {"hc", "", "X", 9}}}}},
                           {"Dimanche", {}}}};
    const QByteArray json = encodeProgramme(doc);
    EXPECT_TRUE(json.contains("\"canonicalNumber\" : \"12\""));
    const ProgrammeDocument back = decodeProgramme(json);
    EXPECT_EQ(back, doc);
    EXPECT_EQ(qHash(back), qHash(doc));
    EXPECT_EQ(encodeProgramme(back), json);
    // Keys are written sorted, the TavrinJSON way.
    EXPECT_EQ(json, TavrinJSON::encode(TavrinJSON::decodeObject(json)));

    // The horse only where the programme gave one: a rider without it reads as before.
    EXPECT_EQ(json.count("\"horseName\""), 1);
    EXPECT_TRUE(json.contains("\"horseName\" : \"Quaprice du Bois\""));

    QByteArray missing = json;
    missing.replace("\"sourceLine\"", "\"line\"");
    EXPECT_THROW(decodeProgramme(missing), DecodingError);
}

TEST(ProgrammeDocumentTest, ImportErrorMessages)
{
    EXPECT_EQ(ImportError::unreadable().message(), "Impossible de lire ce type de fichier.");
    EXPECT_EQ(ImportError::noWebProgramme().message(),
              QString::fromUtf8("Cette page ne contient pas de programme exploitable. Ouvrez un concours ou une liste "
                                "de d\u00E9part."));
    const ImportError failed = ImportError::webImportFailed("Serveur injoignable.");
    EXPECT_EQ(failed.message(), "Serveur injoignable.");
    EXPECT_EQ(failed.kind(), ImportError::Kind::webImportFailed);
}
