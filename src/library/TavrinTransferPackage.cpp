#include "library/TavrinTransferPackage.h"

#include "base/TavrinJSON.h"

namespace tavrin {

using namespace TavrinJSON;

void writeJson(JsonWriter& w, const TavrinTransferPackage& p)
{
    w.beginObject();
    w.key(QLatin1StringView("day"));
    writeJson(w, p.day);
    w.field(QLatin1StringView("formatVersion"), p.formatVersion);
    w.field(QLatin1StringView("kind"), QLatin1StringView(p.kind == TavrinTransferPackage::Kind::day ? "day" : "spreadsheet"));
    w.array(QLatin1StringView("spreadsheets"), p.spreadsheets);
    w.endObject();
}

QByteArray encodeTransferPackage(const TavrinTransferPackage& package) { return JsonWriter::document(package); }

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
