#pragma once

// A programme file to its reader, by extension: pdf to the PDF reader, xlsx and xlsm to the
// workbook reader; any other file is refused with "Impossible de lire ce type de fichier.".

#include "programme/ProgrammeDocument.h"

namespace tavrin::ProgrammeFileParser {

// Throws ImportError, ZipError (both tavrin::Error) with the message the user reads.
ProgrammeDocument parse(const QString& path);

} // namespace tavrin::ProgrammeFileParser
