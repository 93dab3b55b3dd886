#include "programme/ProgrammeFileParser.h"

#include "numbers/PathText.h"
#include "programme/ExcelProgrammeParser.h"
#include "programme/ImportError.h"
#include "programme/PDFProgrammeParser.h"

namespace tavrin::ProgrammeFileParser {

ProgrammeDocument parse(const QString& path)
{
    const QString extension = PathText::pathExtension(path).toString().toLower();
    if (extension == u"pdf") return PDFProgrammeParser::parse(path);
    if (extension == u"xlsx" || extension == u"xlsm") return ExcelProgrammeParser::parse(path);
    throw ImportError::unreadable();
}

} // namespace tavrin::ProgrammeFileParser
