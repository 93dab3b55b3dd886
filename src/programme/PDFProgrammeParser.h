#pragma once

// Reads a PDF start list into a programme. Each page's text is taken with its physical layout,
// so that table columns stay apart by runs of spaces. The federation's start-list layout (a
// "Nom du cavalier" column and licence blocks) has a reader of its own, tried first; any other
// layout goes through a line machine in which weekday lines set the day, event headings the
// event, and lines beginning with a start order and/or a number are riders.

#include "programme/ImportParser.h"
#include "programme/ProgrammeDocument.h"

namespace tavrin::PDFProgrammeParser {

// "Impossible de lire ce type de fichier." when the file does not open as a PDF document (damaged,
// empty, protected by a password).
ProgrammeDocument parse(const QString& path);

// The text of each page, columns kept apart by runs of spaces.
QStringList pageTexts(const QString& path);

// The reading of pages already turned into text: the federation layout, else the line machine.
ProgrammeDocument parsePageTexts(const QStringList& pages, const QString& sourceName);

// The federation layout; none when the pages do not look like it or hold no rider. Riders are
// numbered by their position in their event.
std::optional<ProgrammeDocument> parseFFEListing(const QStringList& pages, const QString& sourceName);

// A page's lines, trimmed, empty ones dropped; a page that came out as one run-on text is cut
// into lines first.
QStringList pageLines(QStringView pageText);

// Cuts a run-on text before each rider start, weekday, event heading, time and page number.
QStringList splitRunOn(QStringView text);

// The line machine.
QList<ProgrammeDay> assemble(const QStringList& lines);

// Page numbers, times, "Liste de départ" and lone column headings.
bool isSkippable(QStringView line);

using ImportParser::dayName;
using ImportParser::uniquePeople;

// An event heading, cleaned of its "Epreuve n°3 -" label; rider lines are never headings.
std::optional<QString> eventTitle(QStringView line);
QString cleanEventTitle(QStringView text);

// A rider line: a start order and a number, or a number alone, then the rider's name.
std::optional<ImportedPerson> rider(QStringView line, qint64 sourceLine = 0);

// The name in the text after a rider's number: after a federation licence number when there is
// one, else the first column of the text; none when no candidate looks like a name.
std::optional<QString> riderName(QStringView body);

// Two to six words of letters (apostrophes, hyphens and "*" allowed), 3 to 80 characters.
bool looksLikeListingName(QStringView text);

} // namespace tavrin::PDFProgrammeParser
