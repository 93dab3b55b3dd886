// Person-name splitting, table cells and numbers of any text.
#include "numbers/AssignedNumber.h"
#include "numbers/PhotoNumber.h"
#include "programme/ImportParser.h"
#include "programme/PersonName.h"

#include <cstddef>
#include <cstdint>

using namespace tavrin;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    PersonName::splitFamilyAndGiven(text);
    PersonName::splitListingRider(text);
    PersonName::splitWebsiteRider(text);
    AssignedNumber::canonical(text);
    if (const auto n = PhotoNumber::parse(text)) n->formatted();
    QList<QStringList> rows;
    for (const QString& line : text.split(u'\n')) rows.push_back(PersonName::columnCells(line).value_or(QStringList{line}));
    const ImportParser::IdentityColumns columns = ImportParser::identityColumns(rows);
    for (const QStringList& row : rows) PersonName::person(row, columns.number, columns.last, columns.first, columns.full, 1);
    return 0;
}
