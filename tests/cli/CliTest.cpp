#include "CameraSamples.h"
#include "TestSupport.h"

#include "base/TavrinJSON.h"
#include "editing/PhotoComposer.h"
#include "editing/PhotoEditMemory.h"
#include "editing/PhotoOriginals.h"
#include "library/LibraryStore.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>

#include <sys/stat.h>

#include <tuple>

using namespace tavrin;
using tavrin::test::TempDataDir;

namespace {

struct Outcome {
    int status = -1;
    QString out;
    QString err;
};

Outcome run(const QString& program, const QStringList& arguments, const QByteArray& input = {})
{
    QProcess process;
    process.start(test::binDir() + u'/' + program, arguments);
    if (!process.waitForStarted(30000)) return {};
    process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit) return {};
    return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
}

Outcome cli(const TempDataDir& data, QStringList arguments, const QByteArray& input = {})
{
    arguments.prepend(data.path());
    arguments.prepend(QStringLiteral("--data-dir"));
    return run(QStringLiteral("tavrin-cli"), arguments, input);
}

const QRegularExpression kIdentifierLine(QStringLiteral("^[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\n$"));

} // namespace

TEST(CliLibrary, ImportSendsEveryFailureToStandardErrorAndExitsOne)
{
    TempDataDir data;
    const QUuid dayID = QUuid::createUuid();
    TavrinTransferPackage package;
    package.day = DayRecord{dayID, QStringLiteral("Samedi 5"), TavrinJSON::now(), 0};
    test::writeFile(data.file("samedi.tavrin"), encodeTransferPackage(package));
    test::writeFile(data.file("abîmé.tavrin"), "{\"formatVersion\": 1");
    test::writeFile(data.file("notes.json"), encodeTransferPackage(package));

    const Outcome good = cli(data, {"library", "import", data.file("samedi.tavrin")});
    EXPECT_EQ(good.status, 0);
    EXPECT_EQ(good.out, QStringLiteral("Jour « Samedi 5 » importé\n"));
    EXPECT_EQ(good.err, QString());

    const Outcome mixed = cli(data, {"library", "import", data.file("notes.json"), data.file("abîmé.tavrin"), data.file("samedi.tavrin")});
    EXPECT_EQ(mixed.status, 1);
    EXPECT_EQ(mixed.out, QStringLiteral("Jour « Samedi 5 » importé\n"));
    EXPECT_EQ(mixed.err, QStringLiteral("Impossible d’importer « notes.json » : ce n’est pas un fichier TAVRIN (.tavrin).\n"
                                        "Impossible d’importer ce fichier TAVRIN. (abîmé.tavrin)\n"));

    // A file of another extension alone is a failure too, not a silent success.
    const Outcome other = cli(data, {"library", "import", data.file("notes.json")});
    EXPECT_EQ(other.status, 1);
    EXPECT_EQ(other.out, QString());
    EXPECT_TRUE(other.err.contains(QStringLiteral("notes.json")));
}

TEST(CliLibrary, BuildsDaysSpreadsheetsAndRowsWithoutJson)
{
    TempDataDir data;
    const Outcome day = cli(data, {"library", "add-day", "Samedi 14 juin"});
    ASSERT_EQ(day.status, 0) << day.err.toStdString();
    ASSERT_TRUE(kIdentifierLine.match(day.out).hasMatch()) << day.out.toStdString();
    const QString dayID = day.out.trimmed();

    // The day by its name, then by its identifier in lower case.
    const Outcome sheet = cli(data, {"library", "add-spreadsheet", "--day", "Samedi 14 juin", "Épreuve 1"});
    ASSERT_EQ(sheet.status, 0) << sheet.err.toStdString();
    ASSERT_TRUE(kIdentifierLine.match(sheet.out).hasMatch());
    const QString sheetID = sheet.out.trimmed();
    EXPECT_EQ(cli(data, {"library", "add-spreadsheet", "--day", dayID.toLower(), "Épreuve 2"}).status, 0);

    // A paste from a spreadsheet program: CRLF, a blank line, a row without its assigned number.
    const Outcome rows = cli(data, {"library", "add-rows", "--spreadsheet", "Épreuve 1"}, "0012\t104\r\n 0027 \t 87\r\n\r\n0041\n");
    ASSERT_EQ(rows.status, 0) << rows.err.toStdString();
    test::writeFile(data.file("more.txt"), "\t9\n0066\t131\textra\n");
    // The window's selection is on disk; adding rows does not touch it (nor flush it again).
    const QByteArray selection = "{\"selectedDayID\":\"" + dayID.toUtf8() + "\"}";
    test::writeFile(data.file("ui-state.json"), selection);
    const auto version = [&] {
        struct stat info {};
        ::stat(QFile::encodeName(data.file("ui-state.json")).constData(), &info);
        return std::tuple(info.st_ino, info.st_mtim.tv_sec, info.st_mtim.tv_nsec);
    };
    const auto before = version();
    const Outcome more = cli(data, {"library", "add-rows", "--spreadsheet", sheetID, data.file("more.txt")});
    ASSERT_EQ(more.status, 0) << more.err.toStdString();
    EXPECT_EQ(version(), before);
    EXPECT_EQ(test::readFile(data.file("ui-state.json")), selection);

    LibraryStore store;
    const std::optional<SpreadsheetRecord> stored = store.snapshot().spreadsheet(*TavrinJSON::uuid(sheetID));
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->dayID, *TavrinJSON::uuid(dayID));
    EXPECT_EQ(stored->title, QStringLiteral("Épreuve 1"));
    QStringList cells, printed;
    for (const RowRecord& row : stored->rows) {
        cells.push_back(row.photoNumber + u'|' + row.assignedNumber);
        if (!row.isBlank()) printed.push_back(TavrinJSON::uuidString(row.id));
    }
    // Appended after the first paste, and the table still ends with its blank row.
    EXPECT_EQ(cells, QStringList({"0012|104", "0027|87", "0041|", "|9", "0066|131", "|"}));
    EXPECT_EQ(QString(rows.out + more.out).split(u'\n', Qt::SkipEmptyParts), printed);

    // Names that do not lead to exactly one record fail with the French reason.
    EXPECT_EQ(cli(data, {"library", "add-day", "Samedi 14 juin"}).status, 0);
    const Outcome ambiguous = cli(data, {"library", "add-spreadsheet", "--day", "Samedi 14 juin", "GP"});
    EXPECT_EQ(ambiguous.status, 1);
    EXPECT_EQ(ambiguous.err, QStringLiteral("Plusieurs jours portent ce nom ; nommez-le par son identifiant : Samedi 14 juin\n"));
    const Outcome missing = cli(data, {"library", "add-rows", "--spreadsheet", "Épreuve 9"}, "1\t2\n");
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err, QStringLiteral("Tableur introuvable : Épreuve 9\n"));
    EXPECT_EQ(missing.out, QString());
}

TEST(CliUsage, HelpOnEveryCommandAndGroupVersionAndOneUsageWording)
{
    TempDataDir data;
    const Outcome top = cli(data, {"--help"});
    ASSERT_EQ(top.status, 0);
    EXPECT_TRUE(top.out.startsWith(QStringLiteral("Utilisation : tavrin-cli [--data-dir DOSSIER] COMMANDE")));
    EXPECT_EQ(top.err, QString());

    // Every listed command answers --help on standard output with its usage line.
    const QStringList listed = top.out.split(u'\n').filter(QRegularExpression(QStringLiteral("^  [a-z]")));
    ASSERT_GE(listed.size(), 10);
    QStringList libraryCommands;
    for (const QString& line : listed) {
        const QString usage = line.trimmed();
        QStringList words;
        for (const QString& word : usage.split(u' '))
            if (QRegularExpression(QStringLiteral("^[a-z][a-z-]*$")).match(word).hasMatch()) words.push_back(word);
            else break;
        if (words.first() == u"library") libraryCommands.push_back(usage);
        const Outcome help = cli(data, words + QStringList{"--help"});
        EXPECT_EQ(help.status, 0) << usage.toStdString();
        EXPECT_TRUE(help.out.startsWith(QStringLiteral("Utilisation : tavrin-cli ") + usage + u'\n')) << help.out.toStdString();
    }
    EXPECT_EQ(libraryCommands.size(), 7); // the six of the contract and « library fold »

    const Outcome group = cli(data, {"library", "--help"});
    EXPECT_EQ(group.status, 0);
    EXPECT_TRUE(group.out.startsWith(QStringLiteral("Utilisation : tavrin-cli library COMMANDE")));
    for (const QString& usage : libraryCommands) EXPECT_TRUE(group.out.contains(u"  " + usage + u'\n')) << usage.toStdString();
    EXPECT_FALSE(group.out.contains(QStringLiteral("workspace")));

    // Wrong usage: exit 2, the reason and the usage line on standard error, nothing on standard output.
    const Outcome bare = cli(data, {"library"});
    EXPECT_EQ(bare.status, 2);
    EXPECT_EQ(bare.out, QString());
    EXPECT_TRUE(bare.err.startsWith(QStringLiteral("commande incomplète : library\nUtilisation : tavrin-cli library COMMANDE")));
    const Outcome noTitle = cli(data, {"library", "add-day"});
    EXPECT_EQ(noTitle.status, 2);
    EXPECT_EQ(noTitle.err, QStringLiteral("indiquez le nom du jour\nUtilisation : tavrin-cli library add-day NOM\n"));

    const Outcome cliVersion = cli(data, {"--version"});
    EXPECT_EQ(cliVersion.status, 0);
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^tavrin-cli \\d+\\.\\d+\\.\\d+\n$")).match(cliVersion.out).hasMatch());
    // The window's program answers without starting its window.
    const Outcome appVersion = run(QStringLiteral("tavrin"), {"--version"});
    EXPECT_EQ(appVersion.status, 0);
    EXPECT_EQ(appVersion.out, QStringLiteral("Tavrin ") + cliVersion.out.mid(11));
    EXPECT_TRUE(run(QStringLiteral("tavrin"), {"--help"}).out.startsWith(QStringLiteral("Utilisation : tavrin ")));
}

namespace {

// ImageMagick makes the photo and the watermark; libvips reads the result back.
bool magick(const QStringList& arguments)
{
    return QProcess::execute(QStringLiteral("convert"), arguments) == 0;
}

std::vector<double> pixel(const QString& file, int x, int y)
{
    PhotoComposer::ensureVips();
    const vips::VImage image = vips::VImage::new_from_file(file.toUtf8().constData(),
                                                           vips::VImage::option()->set("access", "sequential"));
    return image.getpoint(x, y);
}

} // namespace

TEST(CliEdits, ComposeRendersThePrintPageAndRestoreGivesBackTheCameraFile)
{
    TempDataDir data;
    const QString photo = data.path() + QStringLiteral("/IMG_0042.jpg");
    const QString mark = data.path() + QStringLiteral("/filigrane.png");
    ASSERT_TRUE(magick({QStringLiteral("-size"), QStringLiteral("600x400"), QStringLiteral("xc:#3060c0"), photo}));
    ASSERT_TRUE(magick({QStringLiteral("-size"), QStringLiteral("200x50"), QStringLiteral("xc:#ff0000"), mark}));
    const QByteArray camera = test::readFile(photo);

    Outcome outcome = cli(data, {QStringLiteral("compose"), photo, QStringLiteral("--look"),
                                 QStringLiteral(R"({"format": "a4", "includeWatermark": true, "cropValidated": true})"),
                                 QStringLiteral("--watermark"), mark});
    ASSERT_EQ(outcome.status, 0) << qPrintable(outcome.err);
    EXPECT_TRUE(outcome.out.isEmpty());
    {
        PhotoComposer::ensureVips();
        const vips::VImage page = vips::VImage::new_from_file(photo.toUtf8().constData());
        EXPECT_EQ(page.width(), 3508);
        EXPECT_EQ(page.height(), 2480);
    }
    // The 200 × 50 watermark covers the full width: 877 rows at the bottom, the photo above.
    const std::vector<double> above = pixel(photo, 1754, 2480 - 877 - 40);
    const std::vector<double> below = pixel(photo, 1754, 2480 - 400);
    EXPECT_NEAR(above[0], 0x30, 8);
    EXPECT_NEAR(above[2], 0xc0, 8);
    EXPECT_GT(below[0], 240);
    EXPECT_LT(below[2], 16);

    outcome = cli(data, {QStringLiteral("compose"), photo, QStringLiteral("--look"), QStringLiteral(R"({"zoom": 0})")});
    EXPECT_EQ(outcome.status, 1);
    EXPECT_TRUE(outcome.err.contains(QStringLiteral("Le zoom du recadrage doit être un nombre positif.")));
    outcome = cli(data, {QStringLiteral("compose"), photo, QStringLiteral("--look"), QStringLiteral(R"({"crop": 1})")});
    EXPECT_EQ(outcome.status, 1);
    EXPECT_TRUE(outcome.err.contains(QStringLiteral("Clé inconnue dans le réglage du recadrage : « crop »")));
    outcome = cli(data, {QStringLiteral("compose"), data.path() + QStringLiteral("/absente.jpg"), QStringLiteral("--look"),
                         QStringLiteral("{}")});
    EXPECT_EQ(outcome.status, 1);
    EXPECT_TRUE(outcome.err.contains(QStringLiteral("est introuvable")));

    outcome = cli(data, {QStringLiteral("restore"), photo});
    ASSERT_EQ(outcome.status, 0) << qPrintable(outcome.err);
    EXPECT_EQ(test::readFile(photo), camera);
}

TEST(CliEdits, RetouchAndWatermarkLeaveVideosOutAndRefuseANeutralRetouch)
{
    TempDataDir data;
    const QString photo = data.file(QStringLiteral("IMG_0007.jpg"));
    const QString clip = data.file(QStringLiteral("clip.mp4"));
    const QString rush = data.file(QStringLiteral("RUSH.MOV"));
    const QString mark = data.file(QStringLiteral("filigrane.png"));
    ASSERT_TRUE(magick({QStringLiteral("-size"), QStringLiteral("300x200"), QStringLiteral("xc:#806040"), photo}));
    ASSERT_TRUE(magick({QStringLiteral("-size"), QStringLiteral("100x20"), QStringLiteral("xc:#ff0000"), mark}));
    // Not real videos: nothing may even try to read them.
    test::writeFile(clip, "not a photo");
    test::writeFile(rush, "not a photo either");
    const QByteArray camera = test::readFile(photo);

    // Neutral settings: the sentence of the orders workspace, and nothing touched.
    Outcome outcome = cli(data, {QStringLiteral("retouch"), photo, clip, QStringLiteral("--settings"), QStringLiteral(R"({"gamma": 1})")});
    EXPECT_EQ(outcome.status, 1);
    EXPECT_EQ(outcome.err, QStringLiteral("Réglez d’abord la retouche dans le panneau de gauche.\n"));
    EXPECT_EQ(test::readFile(photo), camera);
    EXPECT_FALSE(PhotoOriginals::hasBackup(photo));

    const auto leftAlone = [&](const QString& video, const QByteArray& bytes) {
        EXPECT_EQ(test::readFile(video), bytes);
        EXPECT_FALSE(PhotoOriginals::hasBackup(video));
        EXPECT_FALSE(QFileInfo::exists(PhotoEditMemory::journalPath(video)));
    };
    outcome = cli(data, {QStringLiteral("retouch"), clip, photo, rush, QStringLiteral("--settings"),
                         QStringLiteral(R"({"brightness": 40})"), QStringLiteral("--watermark"), mark});
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(outcome.err, QString());
    EXPECT_TRUE(PhotoOriginals::hasBackup(photo));
    EXPECT_GT(pixel(photo, 150, 20)[0], 0x80 + 8);
    leftAlone(clip, "not a photo");
    leftAlone(rush, "not a photo either");

    outcome = cli(data, {QStringLiteral("watermark"), rush, photo, clip, QStringLiteral("--watermark"), mark});
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(outcome.err, QString());
    EXPECT_GT(pixel(photo, 150, 195)[0], 240);
    leftAlone(clip, "not a photo");
    leftAlone(rush, "not a photo either");

    // Videos alone: nothing to do, and no failure.
    outcome = cli(data, {QStringLiteral("watermark"), clip, QStringLiteral("--watermark"), mark});
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(outcome.err, QString());
    leftAlone(clip, "not a photo");
}

// libvips complains in English on standard error about damaged files; only our sentence may show.
TEST(CliCameras, DamagedPhotosPrintOnlyAFrenchSentence)
{
    const QString samples = test::cameraSamplesDir();
    if (samples.isEmpty()) GTEST_SKIP() << test::kNoCameraSamples;
    TempDataDir data;
    const QString out = data.file(QStringLiteral("sortie.png"));
    const QString damaged = samples + QStringLiteral("/corrupted.jpg");

    Outcome outcome = cli(data, {QStringLiteral("thumbnail"), damaged, QStringLiteral("--size"), QStringLiteral("256"),
                                 QStringLiteral("--out"), out});
    EXPECT_EQ(outcome.status, 1);
    EXPECT_EQ(outcome.err, QStringLiteral("Impossible de lire l’image « corrupted.jpg ».\n"));
    outcome = cli(data, {QStringLiteral("retouch-preview"), damaged, QStringLiteral("--settings"), QStringLiteral(R"({"contrast": 20})"),
                         QStringLiteral("--out"), out});
    EXPECT_EQ(outcome.status, 1);
    EXPECT_EQ(outcome.err, QStringLiteral("Impossible de lire la photo « corrupted.jpg ».\n"));

    // An ordered copy of it, composed then retouched.
    const QString copy = data.file(QStringLiteral("corrupted.jpg"));
    ASSERT_TRUE(QFile::copy(damaged, copy));
    outcome = cli(data, {QStringLiteral("compose"), copy, QStringLiteral("--look"), QStringLiteral(R"({"format": "a4", "cropValidated": true})")});
    EXPECT_EQ(outcome.status, 1);
    EXPECT_EQ(outcome.err, QStringLiteral("Impossible de lire la photo « corrupted.jpg ».\n"));
    outcome = cli(data, {QStringLiteral("retouch"), copy, QStringLiteral("--settings"), QStringLiteral(R"({"contrast": 20})")});
    EXPECT_EQ(outcome.status, 1);
    EXPECT_EQ(outcome.err, QStringLiteral("« corrupted.jpg » : Impossible de lire cette photo.\n"));

    // Broken metadata only: the thumbnail is made, without a word.
    QStringList noisy;
    for (const QString& name : QDir(samples + QStringLiteral("/invalid")).entryList({QStringLiteral("*.jpg")})) {
        outcome = cli(data, {QStringLiteral("thumbnail"), samples + QStringLiteral("/invalid/") + name, QStringLiteral("--size"),
                             QStringLiteral("128"), QStringLiteral("--out"), out});
        if (outcome.status != 0 || !outcome.err.isEmpty()) noisy.push_back(name + QStringLiteral(" : ") + outcome.err);
    }
    EXPECT_TRUE(noisy.isEmpty()) << noisy.join(u'\n').toStdString();
}
