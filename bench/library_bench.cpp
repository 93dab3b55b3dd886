// Library persistence: a committed cell rewrites library.json, or in the window appends its
// spreadsheet to the journal once the file is large, so the edit must stay well under a frame
// whatever the size of the library; merges of phone libraries must stay interactive too.
#include "BenchMain.h"
#include "base/AppSupport.h"
#include "base/JsonFile.h"
#include "base/TavrinJSON.h"
#include "library/LibraryStore.h"

#include <QTemporaryDir>

#include <benchmark/benchmark.h>

using namespace tavrin;

namespace {

// A library of `rows` filled rows spread over spreadsheets of `perSheet` rows, 10 spreadsheets a day.
LibrarySnapshot makeLibrary(int rows, int seed, int perSheet = 40)
{
    LibrarySnapshot lib = LibrarySnapshot::empty();
    const QDateTime t = TavrinJSON::now();
    int made = 0;
    for (int d = 0; made < rows; ++d) {
        DayRecord day{QUuid::createUuid(), QStringLiteral("Jour %1").arg(d), t, d};
        lib.days.push_back(day);
        for (int s = 0; s < 10 && made < rows; ++s) {
            SpreadsheetRecord sheet{QUuid::createUuid(), day.id, QStringLiteral("Épreuve %1").arg(s), t, t, true, {}};
            for (int r = 0; r < perSheet && made < rows; ++r, ++made)
                sheet.rows.push_back({QUuid::createUuid(), QString::number(1000 + made * 17 + seed), QString::number(made % 300)});
            sheet.rows.push_back(RowRecord::blank());
            lib.spreadsheets.push_back(sheet);
        }
    }
    return lib;
}

void BM_PersistLibrary(benchmark::State& state)
{
    QTemporaryDir dir;
    const LibrarySnapshot lib = makeLibrary(int(state.range(0)), 0);
    JsonFile file(dir.filePath("library.json"));
    for (auto _ : state) {
        const QByteArray data = encodeLibrary(lib);
        benchmark::DoNotOptimize(file.write(data));
    }
    state.SetLabel("encode + atomic fsynced write");
}

void BM_EncodeLibrary(benchmark::State& state)
{
    const LibrarySnapshot lib = makeLibrary(int(state.range(0)), 0);
    for (auto _ : state) benchmark::DoNotOptimize(encodeLibrary(lib));
}

void BM_LoadLibrary(benchmark::State& state)
{
    const QByteArray data = encodeLibrary(makeLibrary(int(state.range(0)), 0));
    for (auto _ : state) benchmark::DoNotOptimize(decodeLibrary(data));
    state.SetBytesProcessed(state.iterations() * data.size());
}

void BM_MergeLibraries(benchmark::State& state)
{
    // Two devices holding the same spreadsheets, each with its own edits.
    const LibrarySnapshot local = makeLibrary(int(state.range(0)), 0);
    LibrarySnapshot incoming = local;
    for (SpreadsheetRecord& s : incoming.spreadsheets)
        for (qsizetype i = 0; i < s.rows.size(); i += 3) s.rows[i].assignedNumber += u'1';
    for (auto _ : state) benchmark::DoNotOptimize(LibraryStore::merged(local, incoming));
}

// One cell typed then undone in a large library: two writes, plus the merge of the step back into
// the library that the undo does. Compare with two BM_PersistLibrary writes.
void BM_TypeThenUndoCell(benchmark::State& state)
{
    QTemporaryDir dir;
    AppSupport::setDataDirectoryOverride(dir.path());
    LibraryStore store;
    store.replaceFromRemote(makeLibrary(int(state.range(0)), 0));
    const SpreadsheetRecord sheet = store.snapshot().spreadsheets.first();
    int n = 0;
    for (auto _ : state) {
        store.updateRow(sheet.id, sheet.rows.first().id, QString::number(++n), std::nullopt);
        benchmark::DoNotOptimize(store.undo());
    }
    state.SetLabel("updateRow + undo, each written");
}

// The window's edit of a cell (typed, saved) in a library of N spreadsheets of 25 rows, on the
// main thread: with the journal (arg 1, a following store) and, as the baseline in the same run,
// the whole write every edit did before (arg 0). The background folding runs meanwhile.
void BM_WindowCellEdit(benchmark::State& state)
{
    QTemporaryDir dir;
    AppSupport::setDataDirectoryOverride(dir.path());
    const int sheets = int(state.range(0));
    {
        LibraryStore seed;
        seed.replaceFromRemote(makeLibrary(sheets * 25, 0, 25));
    }
    LibraryStore store;
    if (state.range(1)) store.followDiskChanges();
    const SpreadsheetRecord sheet = store.snapshot().spreadsheets[sheets / 2];
    int n = 0;
    for (auto _ : state) {
        store.updateRow(sheet.id, sheet.rows.first().id, QString::number(++n), std::nullopt);
        state.PauseTiming();
        QCoreApplication::processEvents();
        state.ResumeTiming();
    }
    state.SetLabel(state.range(1) ? "journal" : "whole write (before)");
}

} // namespace

BENCHMARK(BM_WindowCellEdit)
    ->Args({10, 1})
    ->Args({4000, 1})
    ->Args({10, 0})
    ->Args({4000, 0})
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2);
BENCHMARK(BM_TypeThenUndoCell)->Arg(50000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PersistLibrary)->Arg(2000)->Arg(50000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EncodeLibrary)->Arg(2000)->Arg(50000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadLibrary)->Arg(2000)->Arg(50000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MergeLibraries)->Arg(50000)->Unit(benchmark::kMillisecond);
int main(int argc, char** argv) { return tavrin::bench::runWithQt(argc, argv); }
