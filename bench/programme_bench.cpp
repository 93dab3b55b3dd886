// Programme import: a 1,000-rider workbook and a 40-page start-list PDF, read whole as the
// workspace does when a file is chosen. The inputs are made by tools/fixtures/make-bench-inputs.sh
// in TAVRIN_BENCH_INPUTS, or in a temporary folder when it is not set.
#include "programme/ExcelProgrammeParser.h"
#include "programme/PDFProgrammeParser.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdlib>

using namespace tavrin;

namespace {

QString inputs()
{
    static QTemporaryDir made;
    static const QString dir = [] {
        if (const QString given = qEnvironmentVariable("TAVRIN_BENCH_INPUTS"); !given.isEmpty()) return given;
        const QString script = QStringLiteral("tools/fixtures/make-bench-inputs.sh");
        if (!QFileInfo::exists(script) || !made.isValid()) return QString();
        const QByteArray command = (script + u' ' + made.path() + QStringLiteral(" >/dev/null")).toLocal8Bit();
        return std::system(command.constData()) == 0 ? made.path() : QString();
    }();
    return dir;
}

bool input(benchmark::State& state, const char* name, QString& path)
{
    path = inputs() + u'/' + QLatin1StringView(name);
    if (QFileInfo::exists(path)) return true;
    state.SkipWithError("no benchmark inputs: set TAVRIN_BENCH_INPUTS or run from the source folder");
    return false;
}

qsizetype riders(const ProgrammeDocument& d)
{
    qsizetype n = 0;
    for (const ProgrammeDay& day : d.days)
        for (const ProgrammeEvent& e : day.events) n += e.people.size();
    return n;
}

void BM_ReadWorkbook1000Riders(benchmark::State& state)
{
    QString path;
    if (!input(state, "bench-1000.xlsx", path)) return;
    qsizetype count = 0;
    for (auto _ : state) count = riders(ExcelProgrammeParser::parse(path));
    state.counters["riders"] = double(count);
}
BENCHMARK(BM_ReadWorkbook1000Riders)->Unit(benchmark::kMillisecond);

void BM_ReadPdf40Pages(benchmark::State& state)
{
    QString path;
    if (!input(state, "bench-40-pages.pdf", path)) return;
    qsizetype count = 0;
    for (auto _ : state) count = riders(PDFProgrammeParser::parse(path));
    state.counters["riders"] = double(count);
}
BENCHMARK(BM_ReadPdf40Pages)->Unit(benchmark::kMillisecond);

// The reading of the PDF's text alone, without poppler's extraction.
void BM_AssemblePdf40PagesText(benchmark::State& state)
{
    QString path;
    if (!input(state, "bench-40-pages.pdf", path)) return;
    const QStringList pages = PDFProgrammeParser::pageTexts(path);
    for (auto _ : state) benchmark::DoNotOptimize(PDFProgrammeParser::parsePageTexts(pages, QStringLiteral("x.pdf")));
}
BENCHMARK(BM_AssemblePdf40PagesText)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
