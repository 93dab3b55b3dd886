#pragma once

// Table-level reading shared by the programme readers: the identity columns of a table, the
// cells of a workbook's sheets, weekday headings and the de-duplication of riders.

#include "programme/PersonName.h"
#include "programme/ZipArchive.h"

#include <QList>
#include <QStringList>

#include <optional>

namespace tavrin::ImportParser {

struct IdentityColumns {
    qsizetype number = 0;
    PersonName::ColumnIndex last;
    PersonName::ColumnIndex first;
    PersonName::ColumnIndex full;
    // The row in which the headers were found; none when the table has no header row.
    std::optional<qsizetype> headerRow;
    // A « Cheval » column of the header row.
    std::optional<qsizetype> horse = {};

    bool operator==(const IdentityColumns&) const = default;
};

// The column of a header row that names the horse.
std::optional<qsizetype> horseColumn(const QStringList& headers);
// Sets the rider's horse from the row when the table has a horse column.
void readHorse(ImportedPerson& person, const QStringList& row, const IdentityColumns& columns);

// Looks for a header row ("N°", "Nom", "Prénom", "Cavalier"…) among the first 12 rows. Without
// one, the number is taken from the first column and the names from the cells after it.
IdentityColumns identityColumns(const QList<QStringList>& rows);

// A header cell as compared with the known headers: lower case, no diacritics, no " _-.".
QString normalizedHeader(QStringView cell);

// A row of column headers wherever it stands (repeated before each event, or below the first 12
// rows): one of its cells is a known header, and neither the number cell nor the one after it
// holds a digit.
bool isHeaderRow(const QStringList& row, qsizetype numberIndex);

// Riders read from a table: every row but header rows through PersonName::person, with the
// row's 1-based position as source line.
QList<ImportedPerson> tablePeople(const QList<QStringList>& rows);

// A sheet's cells by row, column A at index 0; missing cells are empty strings.
struct SheetTable {
    QString name;
    QList<QStringList> rows;
};

// All the workbook's sheets read into cells; zip failures pass through.
QList<SheetTable> excelSheets(QByteArrayView bytes);
QList<SheetTable> excelSheets(ZipArchive::Reader& archive);

// The shared-string table of a workbook (xl/sharedStrings.xml), indexed from 0.
QStringList sharedStrings(QByteArrayView xml);

// No workbook may hold more cells than this once its rows are padded to their last column: the
// bound of memory for hostile files ("Ce fichier Excel est trop volumineux." beyond it).
constexpr qint64 kMaxCells = 4'000'000;
// Cells beyond the last column a spreadsheet can have (XFD) are not read.
constexpr int kMaxColumns = 16384;

// The rows of one worksheet's XML; none when it is not UTF-8. `cellBudget` is decreased by the
// cells made.
QList<QStringList> worksheetRows(QByteArrayView xml, const QStringList& sharedStrings, qint64& cellBudget);

// The flat reading of a workbook: every rider of every sheet, the first of each number kept, in
// number order.
QList<ImportedPerson> parseXLSX(QByteArrayView bytes);
QList<ImportedPerson> flatPeople(const QList<SheetTable>& sheets);

// The weekday a heading names as a whole word, capitalised: "SAMEDI 12 juillet" → "Samedi".
std::optional<QString> dayName(QStringView text);
// The same for a text already folded (TextFolding::folded).
std::optional<QString> dayNameInFolded(QStringView folded);

// The first rider of each canonical number, ordered by number (non-integers count as 0).
QList<ImportedPerson> uniquePeople(const QList<ImportedPerson>& people);

} // namespace tavrin::ImportParser
