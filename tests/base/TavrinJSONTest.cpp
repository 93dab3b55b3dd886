#include "base/JsonWriter.h"
#include "base/TavrinJSON.h"

#include <QJsonDocument>
#include <QJsonParseError>

#include <gtest/gtest.h>

using namespace tavrin;

TEST(TavrinJSONDates, EncodesUtcWithThreeFractionalDigits)
{
    const QDateTime whole(QDate(2026, 12, 4), QTime(23, 18, 0), Qt::UTC);
    EXPECT_EQ(TavrinJSON::encodeDate(whole), "2026-12-04T23:18:00.000Z");
    const QDateTime paris(QDate(2026, 12, 5), QTime(0, 18, 0, 123), Qt::OffsetFromUTC, 3600);
    EXPECT_EQ(TavrinJSON::encodeDate(paris), "2026-12-04T23:18:00.123Z");
}

TEST(TavrinJSONDates, DecodesWithOrWithoutFractionsAndRejectsOtherForms)
{
    const QDateTime expected(QDate(2026, 12, 4), QTime(23, 18, 0), Qt::UTC);
    EXPECT_EQ(TavrinJSON::date(u"2026-12-04T23:18:00Z"), expected);
    EXPECT_EQ(TavrinJSON::date(u"2026-12-04T23:18:00.5Z"), expected.addMSecs(500));
    EXPECT_EQ(TavrinJSON::date(u"2026-12-04T23:18:00.123456Z"), expected.addMSecs(123));
    EXPECT_EQ(TavrinJSON::date(u"2026-12-05T00:18:00+01:00"), expected);
    for (const char16_t* bad : {u"2026-12-04 23:18:00", u"2026-12-04T23:18:00", u"2026-12-04", u"2026-13-04T23:18:00Z",
                                u"2026-12-04T23:18:00.Z", u"2026-12-04T23:18:00Zjunk", u""})
        EXPECT_FALSE(TavrinJSON::date(bad).has_value()) << QString::fromUtf16(bad).toStdString();

    QJsonObject o{{"d", "2026-12-04 23:18:00"}};
    try {
        TavrinJSON::requireDate(o, QLatin1StringView("d"));
        FAIL() << "accepted a date without T and zone";
    } catch (const DecodingError& e) {
        EXPECT_EQ(e.message(), QStringLiteral("Date invalide : 2026-12-04 23:18:00"));
    }
}

TEST(TavrinJSONEncoding, SortedIndentedSlashEscapedAndStable)
{
    QJsonObject o{{"zeta", 1}, {"alpha", "a/b"}, {"mid", QJsonArray{true, false}}};
    const QByteArray once = TavrinJSON::encode(o);
    EXPECT_LT(once.indexOf("alpha"), once.indexOf("mid"));
    EXPECT_LT(once.indexOf("mid"), once.indexOf("zeta"));
    EXPECT_TRUE(once.contains("\"a\\/b\"")) << once.constData();
    EXPECT_TRUE(once.contains("\n    ")) << "indented";
    EXPECT_EQ(TavrinJSON::decodeObject(once).value("alpha").toString(), "a/b");
    EXPECT_EQ(TavrinJSON::encode(TavrinJSON::decodeObject(once)), once);
}

TEST(TavrinJSONFields, StrictReadersRejectMissingKeysAndWrongTypes)
{
    const QJsonObject o{{"n", 3}, {"f", 2.5}, {"s", "x"}, {"b", true},
                        {"u", "0F3E62A0-5F0B-4F5E-9B8A-0D8C2F6C1A11"}, {"lower", "0f3e62a0-5f0b-4f5e-9b8a-0d8c2f6c1a11"}};
    EXPECT_EQ(TavrinJSON::requireInt(o, QLatin1StringView("n")), 3);
    EXPECT_THROW(TavrinJSON::requireInt(o, QLatin1StringView("f")), DecodingError);
    EXPECT_THROW(TavrinJSON::requireString(o, QLatin1StringView("n")), DecodingError);
    EXPECT_THROW(TavrinJSON::requireBool(o, QLatin1StringView("missing")), DecodingError);
    EXPECT_FALSE(TavrinJSON::optionalString(o, QLatin1StringView("missing")).has_value());
    EXPECT_THROW(TavrinJSON::optionalString(o, QLatin1StringView("b")), DecodingError);
    const QUuid id = TavrinJSON::requireUUID(o, QLatin1StringView("u"));
    EXPECT_EQ(TavrinJSON::uuidString(id), "0F3E62A0-5F0B-4F5E-9B8A-0D8C2F6C1A11");
    EXPECT_EQ(TavrinJSON::requireUUID(o, QLatin1StringView("lower")), id);
    EXPECT_FALSE(TavrinJSON::uuid(u"{0F3E62A0-5F0B-4F5E-9B8A-0D8C2F6C1A11}").has_value());
    EXPECT_THROW(TavrinJSON::decode("{not json"), DecodingError);
}

TEST(TavrinJSONEncoding, WriterEscapesAndFormatsScalarsLikeTheDecoderExpects)
{
    JsonWriter w;
    w.beginObject();
    w.field(QLatin1StringView("a"), QStringLiteral("quote \" back \\ tab \t nl \n bell \x07 é 🐎"));
    w.field(QLatin1StringView("b"), QDateTime(QDate(1969, 12, 31), QTime(23, 59, 59, 5), Qt::UTC));
    w.field(QLatin1StringView("c"), QUuid("{0f3e62a0-5f0b-4f5e-9b8a-0d8c2f6c1a11}"));
    w.key(QLatin1StringView("d"));
    w.data(QByteArray("\xff\xfe\xfd", 3));
    w.field(QLatin1StringView("e"), 0.1);
    w.field(QLatin1StringView("f"), 3.0);
    w.key(QLatin1StringView("g"));
    w.beginArray();
    w.endArray();
    w.endObject();
    const QByteArray json = w.take();
    const QJsonObject back = TavrinJSON::decodeObject(json);
    EXPECT_EQ(back["a"].toString(), QStringLiteral("quote \" back \\ tab \t nl \n bell \x07 é 🐎"));
    EXPECT_EQ(back["b"].toString(), "1969-12-31T23:59:59.005Z");
    EXPECT_EQ(back["c"].toString(), "0F3E62A0-5F0B-4F5E-9B8A-0D8C2F6C1A11");
    EXPECT_EQ(TavrinJSON::optionalData(back, QLatin1StringView("d")), QByteArray("\xff\xfe\xfd", 3));
    EXPECT_TRUE(json.contains("\"\\/\\/79\"")) << json.constData();
    EXPECT_EQ(back["e"].toDouble(), 0.1);
    EXPECT_TRUE(json.contains("\"f\" : 3,")) << json.constData();
    EXPECT_TRUE(back["g"].toArray().isEmpty());

    // A lone surrogate escape from a damaged file reads back the same after a write, at each write.
    const QJsonObject damaged = TavrinJSON::decodeObject(R"({"n": "0016\ud83d", "m": "\udc00🐎\ud83d"})");
    const QByteArray written = TavrinJSON::encode(damaged);
    EXPECT_EQ(TavrinJSON::decodeObject(written), damaged) << written.constData();
    EXPECT_EQ(TavrinJSON::encode(TavrinJSON::decodeObject(written)), written);
}

TEST(TavrinJSONDecoding, SyntaxErrorsAreExplainedInFrench)
{
    struct Case {
        QByteArray text;
        QString expected;
    };
    const QList<Case> cases{
        {"{\"a\": nope}", "valeur non valide"},
        {"{\"a\": 1", "document terminé au milieu d’un nombre"},
        {"{\"a\" 1}", "deux-points manquant après un nom"},
        {"{\"a\": \"b", "chaîne non terminée"},
        {"{} trailing", "données après la fin du document"},
    };
    for (const Case& c : cases) {
        QJsonParseError qt{};
        QJsonDocument::fromJson(c.text, &qt);
        try {
            TavrinJSON::decode(c.text);
            ADD_FAILURE() << "accepted " << c.text.constData();
        } catch (const DecodingError& e) {
            EXPECT_TRUE(e.message().startsWith("JSON invalide : " + c.expected + " (octet ")) << e.what();
            EXPECT_FALSE(e.message().contains(qt.errorString())) << "Qt's English text leaked: " << e.what();
        }
    }
}
