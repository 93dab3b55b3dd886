// Reading timing providers' pages: a 2 MB competition page (target: 50 ms at most), a 2 MB start
// list, and 10 MB hostile pages (nested tags, a million table headings, weekday headings without
// events), each analysed whole as the browser does after a page load. The pages are built here in the providers' layouts, with the scripts, styles and
// navigation that make real pages large.
#include "programme/WebProgrammeParser.h"

#include <benchmark/benchmark.h>

using namespace tavrin;

namespace {

QString filler()
{
    return QStringLiteral(
        "<script>window.dataLayer=window.dataLayer||[];function gtag(){dataLayer.push(arguments);}gtag('js',new Date());"
        "var menu='<li><a href=\"/events\">Concours</a></li>';</script>"
        "<style>.card{display:flex;gap:8px}.card .title{font-weight:600}</style>"
        "<nav class=\"menu\"><ul><li><a href=\"/\">Accueil</a></li><li><a href=\"/events\">Concours</a></li>"
        "<li><a href=\"/contact\">Contact</a></li></ul></nav>");
}

QString padded(QString html, qsizetype bytes)
{
    while (html.size() < bytes) html += QStringLiteral("<div class=\"ad\"><!-- annonce --><p>Résultats en direct, "
                                                       "classements et listes de départ.&nbsp;</p></div>\n");
    return html + QStringLiteral("</body></html>");
}

// Card layout, four days; each card carries the extra markup of a real page.
QString contestPage(qsizetype bytes)
{
    QString html = QStringLiteral("<!DOCTYPE html><html><head><title>CSo Timing - Grand National</title>") + filler() +
                   QStringLiteral("</head><body>");
    const char* days[] = {"Jeudi", "Vendredi", "Samedi", "Dimanche"};
    int event = 0;
    for (const char* day : days) {
        html += QStringLiteral("<table><tr><th colspan=\"4\">%1 12 avril</th></tr></table>").arg(QLatin1StringView(day));
        for (int i = 0; i < 100; ++i, ++event)
            html += QStringLiteral("<div class=\"card\"><span class=\"id-value\">%1</span><div class=\"info\">"
                                   "<span class=\"title\">Épreuve %1 – Grand Prix <span class=\"no_mobile\">1,%2 m</span></span>"
                                   "<span class=\"hour\">08:%3</span></div>%4<a href=\"/events/77/startlist/%1\">Liste</a>"
                                   "<a href=\"/events/77/results/%1\">Résultats</a></div>\n")
                        .arg(event)
                        .arg(10 + i % 50)
                        .arg(i % 60, 2, 10, QLatin1Char('0'))
                        .arg(filler());
    }
    return padded(html, bytes);
}

QString startListPage(qsizetype bytes)
{
    QString html = QStringLiteral("<!DOCTYPE html><html><head><title>Horse Timing - Grand Prix</title>") + filler() +
                   QStringLiteral("</head><body><a href=\"/concours/77\">Concours</a><table><tbody>");
    for (int i = 0; html.size() < bytes - 200; ++i)
        html += QStringLiteral("<tr class=\"text-center\"><td>%1</td><td><span class=\"id-value\">%2</span></td>"
                               "<td><span class=\"title no_mobile\">Marie Claire DUPONT%1</span></td>"
                               "<td><span class=\"horse\">VITAL DU BOIS</span>&nbsp;<small>SF</small></td></tr>\n")
                    .arg(i + 1)
                    .arg(100 + i);
    return html + QStringLiteral("</tbody></table></body></html>");
}

void analyse(benchmark::State& state, const QString& html, const QUrl& url)
{
    qsizetype found = 0;
    for (auto _ : state) {
        const WebProgrammeSnapshot s = WebProgrammeParser::snapshot(html, url);
        found = s.events.size() + s.people.size();
        benchmark::DoNotOptimize(found);
    }
    state.counters["found"] = double(found);
    state.counters["MB"] = double(html.size()) / (1024 * 1024);
    state.SetBytesProcessed(state.iterations() * html.size());
}

void BM_Competition2MB(benchmark::State& state)
{
    static const QString html = contestPage(2 * 1024 * 1024);
    analyse(state, html, QUrl(QStringLiteral("https://cso.example.test/events/77")));
}

void BM_StartList2MB(benchmark::State& state)
{
    static const QString html = startListPage(2 * 1024 * 1024);
    analyse(state, html, QUrl(QStringLiteral("https://ht.example.test/concours/77/startlist/3")));
}

void BM_NestedTags10MB(benchmark::State& state)
{
    static const QString html = QStringLiteral("<tr><th><span class=\"title\">").repeated(10 * 1024 * 1024 / 31);
    analyse(state, html, QUrl(QStringLiteral("https://x.example.test/")));
}

void BM_DayHeadings10MB(benchmark::State& state)
{
    static const QString html = QStringLiteral("<th>Samedi</th><td>x</td>").repeated(10 * 1024 * 1024 / 26);
    analyse(state, html, QUrl(QStringLiteral("https://x.example.test/")));
}

void BM_Headings10MB(benchmark::State& state)
{
    static const QString html = QStringLiteral("<th>N°</th>").repeated(10 * 1024 * 1024 / 11);
    analyse(state, html, QUrl(QStringLiteral("https://x.example.test/")));
}

} // namespace

BENCHMARK(BM_Competition2MB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StartList2MB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_NestedTags10MB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DayHeadings10MB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Headings10MB)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
