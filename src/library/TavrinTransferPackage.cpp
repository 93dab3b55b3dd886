#include "library/TavrinTransferPackage.h"

#include "base/TavrinJSON.h"

namespace tavrin {

using namespace TavrinJSON;

QJsonObject toJson(const TavrinTransferPackage& p)
{
    QJsonArray sheets;
    for (const SpreadsheetRecord& s : p.spreadsheets) sheets.append(toJson(s));
    return QJsonObject{{QLatin1StringView("day"), toJson(p.day)},
                       {QLatin1StringView("formatVersion"), p.formatVersion},
                       {QLatin1StringView("kind"), p.kind == TavrinTransferPackage::Kind::day ? "day" : "spreadsheet"},
                       {QLatin1StringView("spreadsheets"), sheets}};
}

TavrinTransferPackage transferPackageFromJson(const QJsonObject& o)
{
    TavrinTransferPackage p;
    p.formatVersion = requireInt(o, QLatin1StringView("formatVersion"));
    const QString kind = requireString(o, QLatin1StringView("kind"));
    if (kind == u"day") p.kind = TavrinTransferPackage::Kind::day;
    else if (kind == u"spreadsheet") p.kind = TavrinTransferPackage::Kind::spreadsheet;
    else throw DecodingError(QStringLiteral("Type de fichier inconnu : ") + kind);
    p.day = dayRecordFromJson(requireObject(o, QLatin1StringView("day")));
    p.spreadsheets = requireList<SpreadsheetRecord>(o, QLatin1StringView("spreadsheets"), spreadsheetRecordFromJson);
    return p;
}

} // namespace tavrin
