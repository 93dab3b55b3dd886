// The record files read and written through their field tables: files written by earlier
// versions (tests/fixtures/records, made by `tavrin-cli demo`, `organize` and `history`) come out
// byte for byte, and bad files are refused naming the key.
#include "base/Error.h"
#include "base/JsonWriter.h"
#include "base/TavrinJSON.h"
#include "library/LibrarySnapshot.h"
#include "organizer/OrganizerHistory.h"
#include "programme/ProgrammeDocument.h"

#include "TestSupport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <functional>

#include <gtest/gtest.h>

using namespace tavrin;

namespace {

QString refusal(const std::function<void()>& read)
{
    try {
        read();
    } catch (const DecodingError& error) {
        return error.message();
    }
    return QStringLiteral("(accepté)");
}

} // namespace

TEST(RecordFiles, filesOfEarlierVersionsAreWrittenAgainByteForByte)
{
    const QByteArray library = test::readFile(test::fixture("records/library.json"));
    const LibrarySnapshot snapshot = decodeLibrary(library);
    ASSERT_EQ(snapshot.spreadsheets.size(), 2);
    EXPECT_FALSE(snapshot.spreadsheets[0].rows.isEmpty());
    EXPECT_EQ(encodeLibrary(snapshot), library);

    const QByteArray programme = test::readFile(test::fixture("records/programme.json"));
    const ProgrammeDocument document = decodeProgramme(programme);
    ASSERT_FALSE(document.days.isEmpty());
    EXPECT_FALSE(document.days[0].events.isEmpty());
    EXPECT_EQ(encodeProgramme(document), programme);

    // The history as `tavrin-cli history` printed it: sections of entries.
    const QByteArray history = test::readFile(test::fixture("records/history.json"));
    JsonWriter w;
    w.beginArray();
    for (const QJsonValue& value : QJsonDocument::fromJson(history).array()) {
        const QJsonObject o = value.toObject();
        OrganizerHistorySection section{TavrinJSON::requireUUID(o, QLatin1StringView("id")),
                                        TavrinJSON::requireString(o, QLatin1StringView("title")), {}};
        for (const QJsonValue& entry : o.value(QLatin1StringView("entries")).toArray())
            section.entries.push_back(organizerHistoryEntryFromJson(entry.toObject()));
        ASSERT_FALSE(section.entries.isEmpty());
        EXPECT_FALSE(section.entries[0].messages.isEmpty());
        writeJson(w, section);
    }
    w.endArray();
    EXPECT_EQ(w.take(), history);
}

TEST(RecordFiles, aMissingKeyOrAWrongTypeIsRefusedByName)
{
    QJsonObject row = TavrinJSON::decodeObject(JsonWriter::document(RowRecord::blank()));
    row.remove(QLatin1StringView("photoNumber"));
    EXPECT_EQ(refusal([&] { rowRecordFromJson(row); }), QStringLiteral("Clé manquante : photoNumber"));

    QJsonObject day{{"createdAt", "2026-12-12T08:00:00.000Z"}, {"id", QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper()},
                    {"name", "Samedi"}, {"sortIndex", "premier"}};
    EXPECT_EQ(refusal([&] { dayRecordFromJson(day); }), QStringLiteral("Type inattendu : sortIndex"));

    const QJsonObject person{{"canonicalNumber", "12"}, {"firstName", "Zoé"}, {"lastName", "Noël"}};
    EXPECT_EQ(refusal([&] { importedPersonFromJson(person); }), QStringLiteral("Clé manquante : sourceLine"));

    QJsonObject entry{{"date", "2026-12-12T08:00:00.000Z"}, {"headline", "1 dossier"},
                      {"id", QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper()}, {"messages", QJsonArray{"un", 2}},
                      {"spreadsheetID", QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper()}, {"spreadsheetTitle", "Vitesse"}};
    EXPECT_EQ(refusal([&] { organizerHistoryEntryFromJson(entry); }), QStringLiteral("Type inattendu : messages"));
    entry.insert(QLatin1StringView("messages"), QJsonArray{"un", "deux"});
    EXPECT_EQ(organizerHistoryEntryFromJson(entry).messages, (QStringList{"un", "deux"}));
}
