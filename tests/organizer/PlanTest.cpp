#include "OrganizerTestSupport.h"
#include "organizer/PhotoFile.h"
#include "organizer/PhotoOrganizer.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace tavrin;
using namespace tavrin::test;

namespace {

struct Folder {
    QTemporaryDir dir;
    QString path() const { return dir.path(); }
};

QList<PhotoGroup> plan(const SpreadsheetRecord& s, const QString& folder, const QList<ImportedPerson>& catalog = {})
{
    return PhotoOrganizer::plan(s, catalog, folder);
}

} // namespace

TEST(PlanTest, EachRowTakesThePhotosUpToTheNextRow)
{
    Folder folder;
    touch(folder.path(), {"0099.jpg", "0100.jpg", "0120.jpg", "0150.jpg", "0200.jpg"});
    const SpreadsheetRecord s = sheet({{"0150", "15"}, {"0100", "12"}});
    const QList<PhotoGroup> groups = plan(s, folder.path(), {rider("12", "Dupont", "Jean")});
    ASSERT_EQ(groups.size(), 2);
    // Sorted by photo number, whatever the typed order.
    EXPECT_EQ(groups[0].row.id, s.rows[1].id);
    EXPECT_EQ(names(groups[0].files), QStringList({"0100.jpg", "0120.jpg"}));
    EXPECT_EQ(groups[0].rangeLabel(), "0100 → avant 0150");
    EXPECT_EQ(groups[0].folderName(), "DUPONT JEAN");
    EXPECT_EQ(names(groups[1].files), QStringList({"0150.jpg", "0200.jpg"}));
    EXPECT_EQ(groups[1].rangeLabel(), "0150 → fin du dossier");
    EXPECT_FALSE(groups[1].isMatched());
    EXPECT_EQ(groups[1].folderName(), "15");
    // 0099 belongs to nobody.
}

TEST(PlanTest, UnusableRowsAndEqualNumbers)
{
    Folder folder;
    touch(folder.path(), {"0100.jpg", "0101.jpg", "0110.jpg", "0111.jpg", "0120.jpg"});
    // A row without assigned number forms no group and ends nothing: its photos stay with the row before.
    SpreadsheetRecord s = sheet({{"0100", "1"}, {"0110", " "}, {"photo", "2"}, {"", "3"}, {"0120", "4"}});
    QList<PhotoGroup> groups = plan(s, folder.path());
    ASSERT_EQ(groups.size(), 2);
    EXPECT_EQ(names(groups[0].files), QStringList({"0100.jpg", "0101.jpg", "0110.jpg", "0111.jpg"}));

    // Equal photo numbers: the smaller identifier text first, with an empty range.
    s = sheet({{"0100", "1"}, {"0100", "2"}});
    s.rows[0].id = QUuid::fromString(QStringLiteral("F0000000-0000-0000-0000-000000000000"));
    s.rows[1].id = QUuid::fromString(QStringLiteral("0F000000-0000-0000-0000-000000000000"));
    groups = plan(s, folder.path());
    EXPECT_EQ(groups[0].row.assignedNumber, "2");
    EXPECT_TRUE(groups[0].files.isEmpty());
    EXPECT_EQ(groups[1].files.size(), 5);

    // 100 and 0100: same value, the narrower first, with nothing.
    groups = plan(sheet({{"0100", "1"}, {"100", "2"}}), folder.path());
    EXPECT_EQ(groups[0].row.assignedNumber, "2");
    EXPECT_TRUE(groups[0].files.isEmpty());
}

TEST(PlanTest, PrefixesSeparateCamerasOnlyWhereTheRowsPrefixIsPresent)
{
    Folder folder;
    touch(folder.path(), {"A0100.jpg", "B0101.jpg", "A0102.jpg", "0103.jpg", "B0111.jpg"});
    QList<PhotoGroup> groups = plan(sheet({{"A0100", "1"}, {"0110", "2"}}), folder.path());
    EXPECT_EQ(names(groups[0].files), QStringList({"A0100.jpg", "A0102.jpg", "0103.jpg"}));
    EXPECT_EQ(names(groups[1].files), QStringList({"B0111.jpg"}));

    // No C-prefixed photo in the range: prefixes are ignored.
    groups = plan(sheet({{"C0100", "1"}, {"0110", "2"}}), folder.path());
    EXPECT_EQ(names(groups[0].files), QStringList({"A0100.jpg", "B0101.jpg", "A0102.jpg", "0103.jpg"}));
}

TEST(PlanTest, OnlyVisiblePhotoFilesCount)
{
    Folder folder;
    touch(folder.path(), {"DSC_0001.JPG", "DSC_0002.cr2", "DSC_0003.xmp", "DSC_0004.mov", ".DSC_0005.jpg", "photo.jpg", "DSC_0006"});
    QDir(folder.path()).mkdir(QStringLiteral("DSC_0007.jpg")); // a folder named like a photo counts as one
    const QList<PhotoGroup> groups = plan(sheet({{"1", "7"}}), folder.path());
    EXPECT_EQ(names(groups[0].files), QStringList({"DSC_0001.JPG", "DSC_0002.cr2", "DSC_0007.jpg"}));
}

TEST(PlanTest, ARawAndItsJpegAreOnePhotoInTheSameRiderFolder)
{
    Folder folder;
    touch(folder.path(), {"DSC_0411.JPG", "DSC_0412.JPG", "DSC_0412.NEF", "DSC_0413.NEF", "DSC_0413.JPG", "DSC_0414.JPG"});
    qsizetype photos = 0;
    const QList<PhotoGroup> groups = PhotoOrganizer::plan(sheet({{"0411", "7"}, {"0413", "8"}}), {}, folder.path(), &photos);
    EXPECT_EQ(photos, 4);
    ASSERT_EQ(groups.size(), 2);
    EXPECT_EQ(names(groups[0].files), QStringList({"DSC_0411.JPG", "DSC_0412.JPG", "DSC_0412.NEF"}));
    EXPECT_EQ(names(groups[1].files).mid(0, 2).size(), 2);
    EXPECT_TRUE(names(groups[1].files).contains("DSC_0413.NEF"));
    EXPECT_TRUE(names(groups[1].files).contains("DSC_0413.JPG"));
    // The JPEG is the one shown and sold; a RAW alone stays a photo.
    EXPECT_EQ(PhotoFile::withoutPairedRaws({"/a/DSC_0412.NEF", "/a/DSC_0412.JPG", "/a/DSC_0415.NEF", "/b/DSC_0413.NEF", "/a/DSC_0413.jpeg",
                                            "/a/notes.txt"}),
              QStringList({"/a/DSC_0412.JPG", "/a/DSC_0415.NEF", "/b/DSC_0413.NEF", "/a/DSC_0413.jpeg", "/a/notes.txt"}));
}

TEST(PlanTest, CatalogueMatchesByCanonicalNumberFirstRiderWins)
{
    Folder folder;
    touch(folder.path(), {"1.jpg", "2.jpg", "3.jpg", "4.jpg"});
    const QList<ImportedPerson> catalog{rider("12", "Dupont", "Jean"), rider("12", "Autre", "Rider"), rider("7", "", "")};
    const QList<PhotoGroup> groups = plan(sheet({{"1", "012"}, {"2", "12 HC"}, {"3", "7"}, {"4", "a/b:c"}}), folder.path(), catalog);
    EXPECT_EQ(groups[0].person->lastName, "Dupont");
    EXPECT_EQ(groups[1].person->lastName, "Dupont");
    // A rider without names gives his number; an unmatched row its number made safe for folders.
    EXPECT_EQ(groups[2].folderName(), "7");
    EXPECT_EQ(groups[3].folderName(), "a b c");
    EXPECT_EQ(PhotoOrganizer::rowLabel(groups[3]), "a b c (sans nom dans le programme)");
    EXPECT_EQ(PhotoOrganizer::rowLabel(groups[2]), "N° 7");
}

TEST(PlanTest, ThousandsOfFilesWithEqualNumbersKeepTogether)
{
    Folder folder;
    QStringList files;
    // Three cameras numbering the same shots, and a folder of 3,000 files with value 5.
    for (int i = 0; i < 1000; ++i)
        for (const char* camera : {"A", "B", "C"}) files.push_back(QStringLiteral("%1 %2_0005.jpg").arg(i).arg(QLatin1StringView(camera)));
    touch(folder.path(), files);
    const QList<PhotoGroup> groups = plan(sheet({{"4", "1"}, {"5", "2"}, {"6", "3"}}), folder.path());
    EXPECT_TRUE(groups[0].files.isEmpty());
    EXPECT_EQ(groups[1].files.size(), 3000);
    EXPECT_TRUE(groups[2].files.isEmpty());
}

TEST(PlanTest, AnUnreadableFolderIsSaidInFrench)
{
    Folder folder;
    try {
        plan(sheet({{"1", "1"}}), folder.path() + QStringLiteral("/Concours"));
        FAIL() << "no error";
    } catch (const Error& e) {
        EXPECT_EQ(e.message(), "Le dossier « Concours » est introuvable.");
    }
    touch(folder.path(), {"file.jpg"});
    EXPECT_THROW(plan(sheet({{"1", "1"}}), folder.path() + QStringLiteral("/file.jpg")), Error);
}

TEST(PlanTest, ACardRootNamesTheSubFolderHoldingThePhotos)
{
    Folder folder;
    const QString card = folder.path() + QStringLiteral("/CARTE");
    // What a camera writes: settings files beside DCIM, a hidden folder, photos two levels down.
    touch(card, {"MISC/readme.txt", ".Trashes/9.jpg", "DCIM/100NIKON/DSC_0001.JPG", "DCIM/101NIKON/DSC_0500.JPG", "DCIM/index.dat"});
    qsizetype photos = -1;
    const QList<PhotoGroup> groups = PhotoOrganizer::plan(sheet({{"1", "7"}}), {}, card, &photos);
    EXPECT_EQ(photos, 0);
    EXPECT_TRUE(groups[0].files.isEmpty());
    EXPECT_EQ(PhotoOrganizer::noPhotoMessage(card), "Aucune photo dans « CARTE ». Les photos sont dans « DCIM/100NIKON ».");
    EXPECT_EQ(PhotoOrganizer::noPhotoMessage(card + QStringLiteral("/MISC")), "Aucune photo dans « MISC ».");

    PhotoOrganizer::plan(sheet({{"1", "7"}}), {}, card + QStringLiteral("/DCIM/101NIKON"), &photos);
    EXPECT_EQ(photos, 1);
}
