// The organizer's work on the main thread: planning a competition's folder and building the
// preview rows of the spreadsheet screen. Targets: plan of 20,000 photos with 400 rows ≤ 60 ms,
// preview rows of 400 rows ≤ 2 ms, measured after one edit (each keystroke) and for a spreadsheet
// shown for the first time. A run of 2,000 photos into empty rider folders, beside the same run
// again over the photos already copied (remembered by the last run, then unknown to it).
#include "BenchMain.h"
#include "base/AppSupport.h"
#include "library/LibraryStore.h"
#include "organizer/PhotoOrganizer.h"
#include "organizer/SpreadsheetWorkspaceModel.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <memory>

#include <benchmark/benchmark.h>

using namespace tavrin;

namespace {

constexpr int kPhotos = 20000;
constexpr int kRows = 400;

// A day's card: 20,000 photos from two bodies (DSC_ and _MG_), numbered as cameras do.
struct Competition {
    QTemporaryDir data;
    QString photos = data.filePath(QStringLiteral("Carte"));
    SpreadsheetRecord sheet;
    ProgrammeEvent event{QStringLiteral("Samedi|GP"), QStringLiteral("GP"), {}};

    Competition()
    {
        QDir().mkpath(photos);
        for (int i = 1; i <= kPhotos; ++i) {
            const QString name = QStringLiteral("%1%2.%3")
                                     .arg(i % 2 ? QStringLiteral("DSC_") : QStringLiteral("_MG_"))
                                     .arg(i, 5, 10, QLatin1Char('0'))
                                     .arg(i % 10 ? QStringLiteral("JPG") : QStringLiteral("CR3"));
            QFile(photos + u'/' + name).open(QIODevice::WriteOnly);
        }
        sheet.id = QUuid::createUuid();
        sheet.title = QStringLiteral("Grand Prix");
        for (int r = 0; r < kRows; ++r) {
            const QString assigned = QString::number(100 + r);
            sheet.rows.push_back(RowRecord{QUuid::createUuid(), QString::number(1 + r * (kPhotos / kRows)), assigned});
            event.people.push_back(ImportedPerson{assigned, QStringLiteral("Jean"), QStringLiteral("Dupont %1").arg(r), r + 1});
        }
    }
};

Competition& competition()
{
    static Competition c;
    return c;
}

void BM_Plan20000Photos400Rows(benchmark::State& state)
{
    Competition& c = competition();
    for (auto _ : state) {
        const QList<PhotoGroup> groups = PhotoOrganizer::plan(c.sheet, c.event.people, c.photos);
        benchmark::DoNotOptimize(groups.size());
    }
}
BENCHMARK(BM_Plan20000Photos400Rows)->Unit(benchmark::kMillisecond);

// The library, the workspace and the screen of Competition's spreadsheet, planned.
struct Screen {
    LibraryStore library;
    WorkspaceStore workspace;
    SpreadsheetRecord sheet;
    std::unique_ptr<SpreadsheetWorkspaceModel> model;

    explicit Screen(Competition& c)
    {
        AppSupport::setDataDirectoryOverride(c.data.filePath(QStringLiteral("TAVRIN")));
        LibrarySnapshot snapshot = LibrarySnapshot::empty();
        const DayRecord day{QUuid::createUuid(), QStringLiteral("Samedi"), QDateTime::currentDateTimeUtc(), 0};
        snapshot.days.push_back(day);
        sheet = c.sheet;
        sheet.dayID = day.id;
        sheet.createdAt = sheet.updatedAt = QDateTime::currentDateTimeUtc();
        // Two typing slips: a doubled number and a rider typed by hand.
        sheet.rows[7].assignedNumber = sheet.rows[8].assignedNumber;
        sheet.rows[9].assignedNumber = QStringLiteral("999");
        snapshot.spreadsheets.push_back(sheet);
        library.replaceFromRemote(snapshot);
        workspace.adoptProgramme(ProgrammeDocument{QStringLiteral("programme.xlsx"), {{QStringLiteral("Samedi"), {c.event}}}});
        workspace.selectDay(QStringLiteral("Samedi"), sheet.id);
        workspace.selectEvent(c.event.id, sheet.id);
        workspace.storeFolder(c.photos, WorkspaceStore::FolderKind::source, sheet.id);
        workspace.setManualRider(sheet.id, QStringLiteral("999"), QStringLiteral("Blanc"), QStringLiteral("Eva"));
        model = std::make_unique<SpreadsheetWorkspaceModel>(library, workspace);
        model->setSpreadsheet(sheet.id);
    }
};

// Every keystroke: the previews again after one row changed.
void BM_PreviewRows400AfterOneEdit(benchmark::State& state)
{
    Screen screen(competition());
    if (screen.model->groups().size() != kRows) state.SkipWithError("the plan did not give one group per row");
    int n = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const RowRecord& row = screen.sheet.rows[(n * 37) % kRows];
        screen.library.updateRow(screen.sheet.id, row.id, std::nullopt, QString::number(5000 + n++));
        state.ResumeTiming();
        const QList<PreviewRow> rows = screen.model->rowsForTable();
        benchmark::DoNotOptimize(rows.size());
    }
}
BENCHMARK(BM_PreviewRows400AfterOneEdit)->Unit(benchmark::kMicrosecond);

// A spreadsheet shown for the first time: nothing known of its rows yet.
void BM_PreviewRows400FirstShown(benchmark::State& state)
{
    Competition& c = competition();
    Screen screen(c);
    for (auto _ : state) {
        state.PauseTiming();
        SpreadsheetWorkspaceModel fresh(screen.library, screen.workspace);
        fresh.setSpreadsheet(screen.sheet.id);
        state.ResumeTiming();
        const QList<PreviewRow> rows = fresh.rowsForTable();
        benchmark::DoNotOptimize(rows.size());
    }
}
BENCHMARK(BM_PreviewRows400FirstShown)->Unit(benchmark::kMicrosecond)->Iterations(20);

// 2,000 photos of 200 KB for 40 riders, copied once into `copied` by a first run.
struct Copied {
    QTemporaryDir dir;
    QString photos = dir.filePath(QStringLiteral("Carte"));
    QString copied = dir.filePath(QStringLiteral("Clients"));
    QList<PhotoGroup> groups;
    PhotoOrganizer::RunControl first;
    CopyMemory memory;

    Copied()
    {
        QDir().mkpath(photos);
        SpreadsheetRecord sheet;
        const QByteArray bytes(200 * 1024, 'x');
        for (int i = 1; i <= 2000; ++i) {
            QFile file(photos + QStringLiteral("/DSC_%1.JPG").arg(i, 5, 10, QLatin1Char('0')));
            if (file.open(QIODevice::WriteOnly)) file.write(bytes + QByteArray::number(i));
            if (i % 50 == 1) sheet.rows.push_back(RowRecord{QUuid::createUuid(), QString::number(i), QString::number(i)});
        }
        groups = PhotoOrganizer::plan(sheet, {}, photos);
        PhotoOrganizer::execute(groups, copied, &first);
        for (const QList<CopiedPhoto>& row : first.placed)
            for (const CopiedPhoto& copy : row) memory.insert(copy.source, copy);
    }
};

Copied& copied()
{
    static Copied c;
    return c;
}

void BM_Run2000PhotosFirst(benchmark::State& state)
{
    Copied& c = copied();
    int n = 0;
    for (auto _ : state) {
        const QString destination = c.dir.filePath(QStringLiteral("Premier%1").arg(n++));
        PhotoOrganizer::RunControl control;
        benchmark::DoNotOptimize(PhotoOrganizer::execute(c.groups, destination, &control).copied);
        state.PauseTiming();
        QDir(destination).removeRecursively();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_Run2000PhotosFirst)->Unit(benchmark::kMillisecond)->Iterations(3);

// Again over the same folders: `remembered` trusts the last run's memory, otherwise the photos
// are compared byte for byte.
void BM_Rerun2000PhotosAlreadyCopied(benchmark::State& state)
{
    Copied& c = copied();
    const bool remembered = state.range(0) != 0;
    for (auto _ : state) {
        PhotoOrganizer::RunControl control;
        control.memory = remembered ? &c.memory : nullptr;
        const OrganizerReport report = PhotoOrganizer::execute(c.groups, c.copied, &control);
        if (report.copied != 0 || (remembered && control.counters.bytesRead != 0)) state.SkipWithError("photos read or copied again");
    }
}
BENCHMARK(BM_Rerun2000PhotosAlreadyCopied)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->Iterations(5);

} // namespace

int main(int argc, char** argv) { return tavrin::bench::runWithQt(argc, argv); }
