#include "OrganizerTestSupport.h"
#include "organizer/RiderFoldersModel.h"

#include <gtest/gtest.h>

using namespace tavrin;
using tavrin::test::SmallDisk;

// A destination on a read-only disk says so once, not once per rider, and opens nothing.
TEST(RiderFoldersDestination, AReadOnlyDestinationIsToldInOneLine)
{
    test::TempDataDir data;
    SmallDisk disk("size=1m");
    if (!disk.mounted) GTEST_SKIP() << disk.reason.toStdString();
    ASSERT_TRUE(disk.makeReadOnly());

    RiderFoldersStore store;
    RiderFoldersModel model(store);
    QStringList opened;
    model.openFolder = [&](const QString& folder) { opened.push_back(folder); };
    model.chooseDestination(disk.path());
    model.importProgramme(test::fixture("programme/weekend.xlsx"));
    ASSERT_TRUE(model.canCreate());
    model.create();

    const QString name = QFileInfo(disk.path()).fileName();
    EXPECT_EQ(model.errorText(), QStringLiteral("Impossible de créer les dossiers dans « ") + name
                                     + QStringLiteral(" » : ce dossier n’accepte pas l’écriture (lecture seule ou accès refusé)."));
    EXPECT_FALSE(model.report());
    EXPECT_TRUE(opened.isEmpty());
}
