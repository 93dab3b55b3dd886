// The web start-list parser on any page: bytes read as UTF-8, as Latin-1 or as raw UTF-16 (lone
// surrogates included), analysed at a start-list and at a competition address.
#include "programme/WebHtml.h"
#include "programme/WebProgrammeParser.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

using namespace tavrin;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0) return 0;
    const char* bytes = reinterpret_cast<const char*>(data + 1);
    const qsizetype n = qsizetype(size - 1);
    QString html;
    switch (data[0] % 3) {
    case 0:
        html = QString::fromUtf8(bytes, n);
        break;
    case 1:
        html = QString::fromLatin1(bytes, n);
        break;
    default:
        html = QString(n / 2, Qt::Uninitialized);
        std::memcpy(html.data(), bytes, size_t(n / 2) * sizeof(QChar));
        break;
    }
    static const QUrl startlist(QStringLiteral("https://x.test/events/1/startlist/2"));
    static const QUrl contest(QStringLiteral("https://x.test/concours/1"));
    for (const QUrl& url : {startlist, contest}) {
        const WebProgrammeSnapshot s = WebProgrammeParser::snapshot(html, url);
        s.statusLine();
        for (const WebProgrammeEventLink& e : s.events) WebProgrammeParser::displayTitle(e.eventNumber, e.title);
    }
    WebProgrammeParser::tbody(html);
    WebHtml::cleaned(html);
    return 0;
}
