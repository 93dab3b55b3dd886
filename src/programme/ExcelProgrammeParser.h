#pragma once

// Reads a workbook (xlsx, xlsm) into a programme. Each sheet is walked row by row: weekday rows
// set the day, event-title rows set the event, and every other usable row is a rider. A sheet
// named after a weekday gives that day; a sheet named after an event gives that event.

#include "programme/ImportParser.h"
#include "programme/ProgrammeDocument.h"

namespace tavrin::ExcelProgrammeParser {

// Zip and worksheet failures pass through with their French message.
ProgrammeDocument parse(const QString& path);
ProgrammeDocument parse(QByteArrayView bytes, const QString& sourceName);

// The days of one sheet: days in name order, events in title order (Epreuve 2 before Epreuve 10).
QList<ProgrammeDay> parseSheet(const QString& name, const QList<QStringList>& rows);

// Adds the days of a sheet to those read so far: same day and event names are merged, a rider
// already in the event (same number) keeps the values read first.
void merge(const QList<ProgrammeDay>& newDays, QList<ProgrammeDay>& days);

using ImportParser::dayName;
using ImportParser::uniquePeople;

// Feuil1, Sheet 2, Onglet: names that say nothing about the event.
bool isGenericSheetName(QStringView text);

// The trimmed text when it reads as an event heading: it mentions an "épreuve", a "préparatoire"
// or a "grand prix", or holds a height in brackets such as (1,10 m).
std::optional<QString> eventTitle(QStringView text);

// Files larger than this are not read ("Ce fichier Excel est trop volumineux."): beyond it a
// workbook needs the 64-bit zip format.
constexpr qint64 kMaxZipSize = 0xFFFFFFFFLL;
// A file that cannot be mapped into memory is read whole, up to this size.
constexpr qint64 kMaxReadSize = 256 * 1024 * 1024;

} // namespace tavrin::ExcelProgrammeParser
