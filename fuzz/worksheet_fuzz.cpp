// Worksheet XML to rows, and rows to days: the input is read both as a shared-string table and as
// a worksheet using it, and decoded whole as cell text, whose decoding must stay UTF-8.
#include "programme/ExcelProgrammeParser.h"
#include "programme/XmlPatterns.h"

#include <cstdlib>

#include <cstddef>
#include <cstdint>

using namespace tavrin;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArrayView xml(reinterpret_cast<const char*>(data), qsizetype(size));
    if (XmlPatterns::isValidUtf8(xml) && !XmlPatterns::isValidUtf8(XmlPatterns::extractT(xml))) std::abort();
    try {
        const QStringList strings = ImportParser::sharedStrings(xml);
        qint64 budget = ImportParser::kMaxCells;
        const QList<QStringList> rows = ImportParser::worksheetRows(xml, strings, budget);
        QList<ProgrammeDay> days = ExcelProgrammeParser::parseSheet(strings.value(0, QStringLiteral("Feuil1")), rows);
        ExcelProgrammeParser::merge(ExcelProgrammeParser::parseSheet(QStringLiteral("Samedi"), rows), days);
        ImportParser::flatPeople({{QStringLiteral("Feuille 1"), rows}});
    } catch (const ZipError&) {
    }
    return 0;
}
