// `tavrin-cli propose` end to end: photos encoded by vips and dated by exiftool, a spreadsheet
// with its folder and event, the JSON printed and the rows appended by --apply.
#include "DatedPhotos.h"
#include "TestSupport.h"

#include "base/TavrinJSON.h"
#include "library/LibraryStore.h"
#include "organizer/WorkspaceStore.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace tavrin;
using namespace tavrin::test;

namespace {

struct Shot {
    const char* name;
    int second; // after 10:00:00
    int millis;
};

// Rider 12 rides at 10:00 (the counter wraps in his round), 15 at 10:01:30, 20 does not
// start, 31 at 10:03, 40 at 10:04:30; three frames each at one fence.
const Shot shots[] = {
    {"DSC_9998.JPG", 5, 0},   {"DSC_9999.JPG", 5, 100}, {"DSC_0001.JPG", 5, 200}, {"DSC_0002.JPG", 95, 0},
    {"DSC_0003.JPG", 95, 100}, {"DSC_0004.JPG", 95, 200}, {"DSC_0005.JPG", 185, 0}, {"DSC_0006.JPG", 185, 100},
    {"DSC_0007.JPG", 185, 200}, {"DSC_0008.JPG", 275, 0}, {"DSC_0009.JPG", 275, 100}, {"DSC_0010.JPG", 275, 250},
};

QDateTime shotTime(const Shot& shot)
{
    return QDateTime(QDate(2026, 6, 14), QTime(10, 0).addSecs(shot.second).addMSecs(shot.millis), Qt::LocalTime);
}

struct ProposeCli : ::testing::Test {
    TempDataDir data;
    QTemporaryDir folders;
    QString photos = folders.filePath(QStringLiteral("carte"));
    QUuid sheet;

    void SetUp() override
    {
        QList<std::pair<QString, QDateTime>> dated;
        for (const Shot& shot : shots) dated.append({QString::fromLatin1(shot.name), shotTime(shot)});
        makeDatedPhotos(photos, dated);
        if (HasFatalFailure()) return;

        LibraryStore library;
        const DayRecord day = library.addDay(QStringLiteral("Samedi"));
        sheet = library.addSpreadsheet(day.id, QStringLiteral("Vitesse")).id;
        const QUuid first = library.snapshot().spreadsheet(sheet)->rows.last().id;
        library.updateRow(sheet, first, QStringLiteral("DSC_0005"), QStringLiteral("31"));
        library.flush();
    }

    void chooseEventAndFolder(bool event = true, bool folder = true)
    {
        WorkspaceStore workspace;
        // Listed out of start order: the start order is the source line.
        workspace.adoptProgramme(ProgrammeDocument{
            "programme.xlsx",
            {{"Samedi",
              {{"Samedi|Vitesse",
                "Vitesse",
                {{"40", "", "Roux", 9}, {"12", "Jean", "Dupont", 3}, {"15", "Léa", "Martin", 4}, {"20", "Zoé", "Blanc", 5}, {"31", "Luc", "Noir", 7}}}}}}});
        workspace.selectDay(QStringLiteral("Samedi"), sheet);
        if (event) workspace.selectEvent(QStringLiteral("Samedi|Vitesse"), sheet);
        if (folder) workspace.storeFolder(photos, WorkspaceStore::FolderKind::source, sheet);
    }

    std::tuple<int, QJsonObject, QString> propose(const QStringList& extra = {}) const
    {
        QProcess cli;
        cli.start(binDir() + QStringLiteral("/tavrin-cli"),
                  QStringList{"--data-dir", data.path(), "propose", "--spreadsheet", sheet.toString(QUuid::WithoutBraces)} + extra);
        EXPECT_TRUE(cli.waitForFinished(120000));
        return {cli.exitCode(), QJsonDocument::fromJson(cli.readAllStandardOutput()).object(),
                QString::fromUtf8(cli.readAllStandardError()).trimmed()};
    }
};

TEST_F(ProposeCli, ProposesTheRoundsNotNotedAndDoubtsWhereANonStarterHides)
{
    chooseEventAndFolder();
    const auto [status, json, error] = propose();
    ASSERT_EQ(status, 0) << error.toStdString();
    EXPECT_EQ(json.keys(), (QStringList{"applied", "rows", "summaryLine"}));
    EXPECT_FALSE(json["applied"].toBool());
    EXPECT_EQ(json["summaryLine"].toString(), QStringLiteral("3 lignes proposées, dont 2 douteuses · 4 passages trouvés"));
    const QJsonArray rows = json["rows"].toArray();
    ASSERT_EQ(rows.size(), 3);
    const QJsonObject wrapped = rows[0].toObject();
    EXPECT_EQ(wrapped.keys(), (QStringList{"assignedNumber", "confidence", "doubtful", "firstCapture", "lastCapture", "photoCount", "photoNumber"}));
    // The round that crosses 9999 keeps its three photos; first and last captures to the millisecond.
    EXPECT_EQ(wrapped["photoNumber"].toString(), QStringLiteral("9998"));
    EXPECT_EQ(wrapped["photoCount"].toInt(), 3);
    EXPECT_EQ(wrapped["firstCapture"].toString(), TavrinJSON::encodeDate(shotTime(shots[0])));
    EXPECT_EQ(wrapped["lastCapture"].toString(), TavrinJSON::encodeDate(shotTime(shots[2])));
    // 12, 15 and 20 for two rounds before 31's typed row: the start order cannot tell who did not ride.
    EXPECT_TRUE(wrapped["doubtful"].toBool());
    EXPECT_EQ(wrapped["assignedNumber"].toString(), QStringLiteral("12"));
    EXPECT_NEAR(wrapped["confidence"].toDouble(), 2.0 / 3.0, 0.001);
    EXPECT_EQ(rows[1]["photoNumber"].toString(), QStringLiteral("0002"));
    EXPECT_TRUE(rows[1]["doubtful"].toBool());
    // After 31 only 40 is left: certain.
    EXPECT_EQ(rows[2]["photoNumber"].toString(), QStringLiteral("0008"));
    EXPECT_EQ(rows[2]["assignedNumber"].toString(), QStringLiteral("40"));
    EXPECT_FALSE(rows[2]["doubtful"].toBool());
    EXPECT_EQ(rows[2]["confidence"].toDouble(), 1.0);
}

TEST_F(ProposeCli, AnAbsenceSettlesTheStretchAndApplyAppendsTheCertainRows)
{
    chooseEventAndFolder();
    const auto [status, json, error] = propose({"--absent", "020", "--apply"});
    ASSERT_EQ(status, 0) << error.toStdString();
    EXPECT_TRUE(json["applied"].toBool());
    EXPECT_EQ(json["summaryLine"].toString(), QStringLiteral("3 lignes proposées · 4 passages trouvés · 3 ajoutées au tableur"));
    QStringList assigned;
    for (const QJsonValue row : json["rows"].toArray()) {
        EXPECT_FALSE(row["doubtful"].toBool());
        assigned.append(row["assignedNumber"].toString());
    }
    EXPECT_EQ(assigned, (QStringList{"12", "15", "40"}));

    LibraryStore library;
    QStringList typed;
    // Kept in a variable: the loop would otherwise walk the rows of a destroyed copy.
    const auto spreadsheet = library.snapshot().spreadsheet(sheet);
    for (const RowRecord& row : spreadsheet->rows)
        if (!row.isBlank()) typed.append(row.photoNumber + QLatin1Char('=') + row.assignedNumber);
    EXPECT_EQ(typed, (QStringList{"DSC_0005=31", "9998=12", "0002=15", "0008=40"}));

    // Every round is noted now: nothing more to propose.
    const auto [again, second, _] = propose({"--absent", "20"});
    EXPECT_EQ(again, 0);
    EXPECT_TRUE(second["rows"].toArray().isEmpty());
}

TEST_F(ProposeCli, RefusesWithoutFolderEventOrPhotos)
{
    chooseEventAndFolder(true, false);
    EXPECT_EQ(std::get<2>(propose()), QStringLiteral("Choisissez d’abord le dossier des photos."));
    EXPECT_EQ(std::get<0>(propose()), 1);
    chooseEventAndFolder(false, true);
    {
        WorkspaceStore workspace;
        workspace.selectDay(QStringLiteral("Dimanche"), sheet);
    }
    const auto [status, json, error] = propose();
    EXPECT_EQ(status, 1);
    EXPECT_EQ(error, QStringLiteral("Choisissez d’abord l’épreuve de ce tableur dans le programme."));
    EXPECT_TRUE(json.isEmpty());

    chooseEventAndFolder();
    for (const QString& name : QDir(photos).entryList(QDir::Files)) QFile::remove(QDir(photos).filePath(name));
    writeFile(QDir(photos).filePath(QStringLiteral("notes.xmp")), "<x/>");
    EXPECT_EQ(std::get<2>(propose()), QStringLiteral("Le dossier « carte » ne contient aucune photo."));
}

} // namespace
