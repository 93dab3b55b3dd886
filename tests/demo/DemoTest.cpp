// The demonstration competition as a newcomer gets it: made by tavrin-cli (or tavrin --demo) in
// a folder of its own, then read back through the same commands and stores as real data.
#include "TestSupport.h"

#include "base/AppSupport.h"
#include "base/TavrinJSON.h"
#include "base/UserDefaults.h"
#include "editing/RetouchBridges.h"
#include "organizer/RiderFoldersStore.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <vips/vips8>

#include <memory>
#include <unistd.h>

// Readable failures for Qt strings.
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }
inline void PrintTo(const QStringList& l, std::ostream* os) { *os << '[' << l.join(u'|').toStdString() << ']'; }

using namespace tavrin;

namespace {

struct Outcome {
    int status = -1;
    QString out;
    QString err;
};

Outcome run(const QString& program, const QStringList& arguments, const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment())
{
    QProcess process;
    process.setProcessEnvironment(env);
    process.start(test::binDir() + u'/' + program, arguments);
    if (!process.waitForStarted(30000) || !process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit)
        return {};
    return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()), QString::fromUtf8(process.readAllStandardError())};
}

Outcome cli(const QStringList& arguments) { return run(QStringLiteral("tavrin-cli"), arguments); }

QJsonObject object(const Outcome& outcome) { return QJsonDocument::fromJson(outcome.out.toUtf8()).object(); }

// Every file below `folder` with its size and modification time: what a second run must not change.
QStringList listing(const QString& folder)
{
    QStringList lines;
    QDirIterator it(folder, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo info(it.next());
        lines << QDir(folder).relativeFilePath(info.filePath()) + u' ' + QString::number(info.size()) + u' '
                + QString::number(info.lastModified().toMSecsSinceEpoch());
    }
    lines.sort();
    return lines;
}

std::vector<double> meanColour(const vips::VImage& image, int left, int top, int size)
{
    const vips::VImage region = image.crop(left, top, size, size);
    std::vector<double> mean;
    for (int band = 0; band < 3; ++band) mean.push_back(region[band].avg());
    return mean;
}

bool near(const std::vector<double>& a, const std::vector<double>& b, double tolerance)
{
    for (size_t i = 0; i < 3; ++i)
        if (std::abs(a[i] - b[i]) > tolerance) return false;
    return true;
}

class Demo : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        holder = std::make_unique<QTemporaryDir>();
        folder = holder->filePath(QStringLiteral("démo"));
        made = cli({QStringLiteral("demo"), folder});
    }
    static void TearDownTestSuite() { holder.reset(); }

    static Outcome withData(QStringList arguments)
    {
        return cli(QStringList{QStringLiteral("--data-dir"), folder + QStringLiteral("/TAVRIN")} + arguments);
    }

    static inline std::unique_ptr<QTemporaryDir> holder;
    static inline QString folder;
    static inline Outcome made;
};

} // namespace

TEST_F(Demo, MakesLibraryProgrammeAndWorkspaceThatTheCommandsReadBack)
{
    ASSERT_EQ(made.status, 0) << made.err.toStdString();
    EXPECT_EQ(made.out, folder + QStringLiteral("/TAVRIN\n"));
    EXPECT_TRUE(made.err.contains(QStringLiteral("Pour l’ouvrir : tavrin --data-dir '") + folder + QStringLiteral("/TAVRIN'")))
        << made.err.toStdString();

    const QJsonObject library = object(withData({QStringLiteral("library"), QStringLiteral("show")}));
    ASSERT_EQ(library[u"days"].toArray().size(), 1);
    const QJsonArray sheets = library[u"spreadsheets"].toArray();
    ASSERT_EQ(sheets.size(), 2);
    QStringList titles;
    for (const QJsonValue& sheet : sheets) {
        titles << sheet[u"title"].toString();
        int filled = 0;
        for (const QJsonValue& row : sheet[u"rows"].toArray()) filled += !row[u"photoNumber"].toString().isEmpty();
        EXPECT_EQ(filled, 5) << sheet[u"title"].toString().toStdString();
    }
    titles.sort();
    EXPECT_EQ(titles, QStringList({"Épreuve 1 – Préparatoire", "Épreuve 2 – Grand Prix"}));

    const QJsonObject programme =
        object(cli({QStringLiteral("programme"), QStringLiteral("read"), folder + QStringLiteral("/Programme/CSO de démonstration.xlsx")}));
    QStringList outline;
    for (const QJsonValue& day : programme[u"days"].toArray())
        for (const QJsonValue& event : day[u"events"].toArray())
            outline << event[u"id"].toString() + u' ' + QString::number(event[u"people"].toArray().size());
    EXPECT_EQ(outline, QStringList({"Samedi|Épreuve 1 – Préparatoire (1,00 m) 6", "Samedi|Épreuve 2 – Grand Prix (1,20 m) 6",
                                    "Dimanche|Épreuve 3 – Grand Prix (1,30 m) 4"}));

    // Each spreadsheet is ready to run: photos found, event chosen, every row matched with a rider.
    const QJsonObject plan = object(withData({QStringLiteral("plan"), QStringLiteral("--spreadsheet"), QStringLiteral("Épreuve 1 – Préparatoire")}));
    EXPECT_TRUE(plan[u"canRun"].toBool());
    QStringList groups;
    for (const QJsonValue& group : plan[u"groups"].toArray())
        groups << group[u"folderName"].toString() + u':' + QString::number(group[u"files"].toArray().size());
    EXPECT_EQ(groups, QStringList({"BERTIN CAMILLE:4", "LEROY HUGO:4", "FONTAINE LÉA:4", "DE LA TOUR MARIE:4", "MOREAU JULES:4"}));
    // The late entry is named by hand; "112 HC" still finds its rider.
    const QJsonObject grandPrix = object(withData({QStringLiteral("plan"), QStringLiteral("--spreadsheet"), QStringLiteral("Épreuve 2 – Grand Prix")}));
    QStringList names;
    for (const QJsonValue& row : grandPrix[u"rows"].toArray())
        if (!row[u"isBlank"].toBool()) names << row[u"lastName"].toString();
    EXPECT_EQ(names, QStringList({"CARON", "LAMBERT", "ROUSSEL", "GIRARD", "NOËL"}));

    // The rider-folders workspace has the programme too, and a destination inside the demonstration.
    AppSupport::setDataDirectoryOverride(folder + QStringLiteral("/TAVRIN"));
    UserDefaults::resetStandard();
    {
        RiderFoldersStore riders;
        EXPECT_EQ(riders.people().size(), 13);
        EXPECT_EQ(riders.resolveDestination(), std::optional<QString>(folder + QStringLiteral("/Paniers")));
    }
    AppSupport::setDataDirectoryOverride(QString());
    UserDefaults::resetStandard();
}

TEST_F(Demo, OrdersAndWatermarkOpenInTheOrdersWorkspace)
{
    ASSERT_EQ(made.status, 0);
    const QJsonObject first = object(withData({QStringLiteral("orders"), QStringLiteral("show")}));
    EXPECT_EQ(first[u"folders"].toArray(), QJsonArray({"Commande 01 – BERTIN Camille", "Commande 02 – CARON Théo"}));
    EXPECT_EQ(first[u"summaryLine"].toString(), QStringLiteral("2 types · 4 fichiers"));

    const QJsonObject second =
        object(withData({QStringLiteral("orders"), QStringLiteral("show"), QStringLiteral("--folder"), QStringLiteral("Commande 02 – CARON Théo")}));
    QStringList items;
    for (const QJsonValue& section : second[u"sections"].toArray())
        for (const QJsonValue& item : section[u"items"].toArray())
            items << section[u"name"].toString() + u'/' + item[u"file"].toString() + (item[u"delivered"].toBool() ? u"*" : u"");
    EXPECT_EQ(items, QStringList({"FICHIERS/DSC_0121.JPG*", "FICHIERS/DSC_0123.JPG*", "FICHIERS/DSC_0124.JPG*", "IMPRESSION A5/DSC_0122.JPG"}));

    // The selected watermark points at the demonstration's PNG, which has a real alpha channel.
    const QJsonObject settings = QJsonDocument::fromJson(test::readFile(folder + QStringLiteral("/TAVRIN/Orders/settings.json"))).object();
    const QJsonArray watermarks = settings[u"watermarks"].toArray();
    ASSERT_EQ(watermarks.size(), 1);
    EXPECT_EQ(settings[u"selectedWatermarkID"], watermarks[0][u"id"]);
    const QString watermark = QString::fromUtf8(QByteArray::fromBase64(watermarks[0][u"bookmark"].toString().toLatin1()));
    EXPECT_EQ(watermark, folder + QStringLiteral("/Filigrane.png"));
    RetouchBridges::ensureVips();
    const vips::VImage png = vips::VImage::new_from_file(QFile::encodeName(watermark).constData());
    ASSERT_EQ(png.bands(), 4);
    EXPECT_EQ(png[3].min(), 0);
    EXPECT_GT(png[3].max(), 200);
}

TEST_F(Demo, PhotosCarryTheirNumbersAndShowUprightWithTheirOrientation)
{
    ASSERT_EQ(made.status, 0);
    RetouchBridges::ensureVips();
    QStringList names;
    for (const QString& event : {QStringLiteral("Épreuve 1"), QStringLiteral("Épreuve 2")})
        for (const QString& name : QDir(folder + QStringLiteral("/Photos/") + event).entryList(QDir::Files, QDir::Name))
            names << event + u'/' + name;
    ASSERT_EQ(names.size(), 40);
    EXPECT_EQ(names[0], QStringLiteral("Épreuve 1/DSC_0101.JPG"));
    EXPECT_EQ(names[19], QStringLiteral("Épreuve 1/DSC_0120.JPG"));
    EXPECT_EQ(names[39], QStringLiteral("Épreuve 2/DSC_0140.JPG"));
    const QMap<QString, int> turned{
        {"Épreuve 1/DSC_0103.JPG", 6}, {"Épreuve 1/DSC_0110.JPG", 8}, {"Épreuve 2/DSC_0124.JPG", 3}, {"Épreuve 2/DSC_0131.JPG", 6}};
    for (const QString& name : names) {
        SCOPED_TRACE(name.toStdString());
        const QByteArray path = QFile::encodeName(folder + QStringLiteral("/Photos/") + name);
        const vips::VImage stored = vips::VImage::new_from_file(path.constData());
        const int orientation = turned.value(name, 1);
        ASSERT_EQ(stored.get_int("orientation"), orientation);
        const bool sideways = orientation == 6 || orientation == 8;
        EXPECT_EQ(stored.width(), sideways ? 1067 : 1600);
        // Shown as the tag says, every photo is upright: the red mark sits in the top-left corner.
        const vips::VImage shown = stored.autorot();
        ASSERT_EQ(shown.width(), 1600);
        ASSERT_EQ(shown.height(), 1067);
        EXPECT_TRUE(near(meanColour(shown, 10, 10, 100), {220, 35, 35}, 12));
        EXPECT_FALSE(near(meanColour(shown, 1490, 10, 100), {220, 35, 35}, 40));
        EXPECT_FALSE(near(meanColour(shown, 10, 957, 100), {220, 35, 35}, 40));
    }
}

// The photos carry their capture times, one burst per round and a round every 70 to 100 s, so
// that « Proposer les lignes » finds the first class's rows once told who did not start.
TEST_F(Demo, ProposingOnTheFirstClassPhotosFindsItsRows)
{
    ASSERT_EQ(made.status, 0) << made.err.toStdString();
    const QJsonObject library = object(withData({"library", "show"}));
    const QString day = library["days"].toArray().first()["id"].toString();
    const Outcome sheet = withData({"library", "add-spreadsheet", "--day", day, "Essai"});
    ASSERT_EQ(sheet.status, 0) << sheet.err.toStdString();
    const QString id = sheet.out.trimmed();
    ASSERT_EQ(withData({"workspace", "set", "--spreadsheet", id, "--source", folder + "/Photos/Épreuve 1", "--day", "Samedi", "--event",
                        "Samedi|Épreuve 1 – Préparatoire (1,00 m)"}).status, 0);

    // GARNIER Inès (38), last in the start order, did not start.
    const Outcome proposed = withData({"propose", "--spreadsheet", id, "--absent", "38"});
    ASSERT_EQ(proposed.status, 0) << proposed.err.toStdString();
    QStringList rows;
    QList<QDateTime> starts;
    for (const QJsonValue& row : object(proposed)["rows"].toArray()) {
        rows << row["photoNumber"].toString() + u'=' + row["assignedNumber"].toString() + (row["doubtful"].toBool() ? "?" : "");
        const QDateTime first = TavrinJSON::date(row["firstCapture"].toString()).value_or(QDateTime());
        const QDateTime last = TavrinJSON::date(row["lastCapture"].toString()).value_or(QDateTime());
        EXPECT_EQ(row["photoCount"].toInt(), 4);
        EXPECT_LT(first.msecsTo(last), 1000); // one burst
        starts << first;
    }
    EXPECT_EQ(rows, QStringList({"0101=12", "0105=15", "0109=21", "0113=27", "0117=33"}));
    for (qsizetype i = 1; i < starts.size(); ++i) {
        EXPECT_GE(starts[i - 1].secsTo(starts[i]), 60);
        EXPECT_LE(starts[i - 1].secsTo(starts[i]), 110);
    }
}

TEST_F(Demo, SecondRunReusesItAndOtherFoldersAreLeftAlone)
{
    ASSERT_EQ(made.status, 0);
    const QStringList before = listing(folder);
    const Outcome again = cli({QStringLiteral("demo"), folder});
    EXPECT_EQ(again.status, 0);
    EXPECT_EQ(again.out, made.out);
    EXPECT_TRUE(again.err.contains(QStringLiteral("existe déjà"))) << again.err.toStdString();
    EXPECT_EQ(listing(folder), before);

    // A folder holding anything else is refused untouched, and --data-dir's folder is never written.
    const QTemporaryDir other;
    test::writeFile(other.filePath(QStringLiteral("notes.txt")), "mes notes");
    const QString userData = other.filePath(QStringLiteral("données"));
    const Outcome refused = cli({QStringLiteral("--data-dir"), userData, QStringLiteral("demo"), other.path()});
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(refused.out, QString());
    EXPECT_EQ(refused.err, QStringLiteral("Le dossier « ") + other.path()
                               + QStringLiteral(" » n’est pas vide : choisissez un dossier vide ou nouveau pour la démonstration.\n"));
    EXPECT_EQ(QDir(other.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), QStringList({"notes.txt"}));
    EXPECT_EQ(test::readFile(other.filePath(QStringLiteral("notes.txt"))), QByteArray("mes notes"));

    const QString fresh = other.filePath(QStringLiteral("nouvelle"));
    EXPECT_EQ(cli({QStringLiteral("--data-dir"), userData, QStringLiteral("demo"), fresh}).status, 0);
    EXPECT_FALSE(QFileInfo::exists(userData));
    // The same demonstration every time, to the byte.
    for (const char* file : {"Programme/CSO de démonstration.xlsx", "Photos/Épreuve 2/DSC_0124.JPG", "Filigrane.png"})
        EXPECT_EQ(test::readFile(fresh + u'/' + QString::fromUtf8(file)), test::readFile(folder + u'/' + QString::fromUtf8(file))) << file;
}

TEST(DemoWindow, OpensOnItsOwnFolderAndComesBackToIt)
{
    const QTemporaryDir scratch;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TMPDIR"), scratch.path());
    env.insert(QStringLiteral("XDG_DATA_HOME"), scratch.filePath(QStringLiteral("user-data")));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), scratch.filePath(QStringLiteral("user-config")));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), scratch.path());
    env.remove(QStringLiteral("TAVRIN_DATA_DIR"));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("TAVRIN_QUIT_WHEN_SHOWN"), QStringLiteral("1"));

    // A folder of that name already holding something else is passed over.
    const QString taken = scratch.filePath(QStringLiteral("tavrin-demo-") + QString::number(::getuid()));
    test::writeFile(taken + QStringLiteral("/autre.txt"), "autre chose");
    const QString expected = taken + QStringLiteral("-2");

    ASSERT_EQ(run(QStringLiteral("tavrin"), {QStringLiteral("--demo")}, env).status, 0);
    ASSERT_TRUE(QFileInfo::exists(expected + QStringLiteral("/LISEZ-MOI.txt")));
    const QStringList before = listing(expected + QStringLiteral("/Photos"));
    ASSERT_EQ(before.size(), 42);
    EXPECT_EQ(run(QStringLiteral("tavrin"), {QStringLiteral("--demo")}, env).status, 0);
    EXPECT_EQ(listing(expected + QStringLiteral("/Photos")), before);
    EXPECT_FALSE(QFileInfo::exists(taken + QStringLiteral("-3")));
    EXPECT_EQ(QDir(taken).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList({"autre.txt"}));
    // The user's own data and settings folders were never made.
    EXPECT_FALSE(QFileInfo::exists(scratch.filePath(QStringLiteral("user-data/TAVRIN"))));
    EXPECT_FALSE(QFileInfo::exists(scratch.filePath(QStringLiteral("user-config/TAVRIN"))));

    EXPECT_EQ(run(QStringLiteral("tavrin"), {QStringLiteral("--demo"), QStringLiteral("--data-dir"), scratch.path()}, env).status, 2);
}
