// Page text to days: the input is UTF-8 text whose form feeds separate pages, read by the
// federation layout and by the line machine.
#include "programme/PDFProgrammeParser.h"

#include <cstddef>
#include <cstdint>

using namespace tavrin;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    const QStringList pages = text.split(u'\f');
    PDFProgrammeParser::parsePageTexts(pages, QStringLiteral("fuzz.pdf"));
    for (const QString& page : pages) PDFProgrammeParser::assemble(PDFProgrammeParser::splitRunOn(page));
    return 0;
}
