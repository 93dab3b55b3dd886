#include "base/TavrinJSON.h"
#include "sync/SyncFrameBuffer.h"

#include <QtEndian>

#include <gtest/gtest.h>

using namespace tavrin;

namespace {

QByteArray header(quint32 length)
{
    QByteArray h(4, Qt::Uninitialized);
    qToBigEndian(length, h.data());
    return h;
}
QByteArray rawFrame(const QByteArray& json) { return header(quint32(json.size())) + json; }

SyncEnvelope hello(const QString& name) { return {SyncEnvelopeKind::hello, QStringLiteral("ios"), std::nullopt, name}; }

LibrarySnapshot sampleLibrary()
{
    LibrarySnapshot lib;
    lib.updatedAt = QDateTime(QDate(2026, 12, 4), QTime(10, 0), Qt::UTC);
    const QUuid day = QUuid::createUuid();
    lib.days.push_back({day, QStringLiteral("Samedi"), lib.updatedAt, 0});
    lib.spreadsheets.push_back({QUuid::createUuid(), day, QStringLiteral("Épreuve 1"), lib.updatedAt, lib.updatedAt, true,
                                {{QUuid::createUuid(), QStringLiteral("120"), QStringLiteral("15")}}});
    return lib;
}

// Feeds `bytes` in pieces of the given sizes (the rest in one piece) and collects what comes out.
struct Collector {
    SyncFrameBuffer buffer;
    QList<SyncEnvelope> received;
    SyncFrameBuffer::Result feed(const QByteArray& bytes)
    {
        return buffer.append(bytes, [this](SyncEnvelope&& e) {
            received.push_back(std::move(e));
            return true;
        });
    }
};

} // namespace

TEST(SyncEnvelopeJson, WritesSortedKeysOmitsAbsentValuesAndReadsBack)
{
    const SyncEnvelope request{SyncEnvelopeKind::requestLibrary, QStringLiteral("mac"), std::nullopt, std::nullopt};
    const QJsonObject o = TavrinJSON::decodeObject(encodeEnvelope(request));
    EXPECT_EQ(o.keys(), (QStringList{"kind", "platform"}));
    EXPECT_EQ(o.value("kind").toString(), "requestLibrary");

    const SyncEnvelope library{SyncEnvelopeKind::library, QStringLiteral("android"), sampleLibrary(), QStringLiteral("TAVRIN Android 1A2B")};
    const QByteArray json = encodeEnvelope(library);
    EXPECT_LT(json.indexOf("\"kind\""), json.indexOf("\"peerName\""));
    EXPECT_LT(json.indexOf("\"platform\""), json.indexOf("\"snapshot\""));
    EXPECT_EQ(decodeEnvelope(json), library);

    // Phones may write dates without fractional seconds.
    const SyncEnvelope decoded = decodeEnvelope(
        R"({"kind":"library","platform":"ios","snapshot":{"version":1,"updatedAt":"2026-12-04T23:18:00Z","days":[],"spreadsheets":[]}})");
    EXPECT_EQ(decoded.snapshot->updatedAt, QDateTime(QDate(2026, 12, 4), QTime(23, 18), Qt::UTC));
    EXPECT_EQ(decodeEnvelope(R"({"kind":"hello","platform":"ios","peerName":""})").peerName, QString());
}

TEST(SyncEnvelopeJson, RejectsUnknownKindsMissingFieldsAndBadSnapshots)
{
    for (const char* bad : {R"({"kind":"bye","platform":"ios"})", R"({"platform":"ios"})", R"({"kind":"hello"})",
                            R"({"kind":"library","platform":"ios","snapshot":{"version":1}})",
                            R"({"kind":"library","platform":"ios","snapshot":{"version":1,"updatedAt":"2026-12-04 23:18:00","days":[],"spreadsheets":[]}})",
                            "[]", "", "{\"kind\":"})
        EXPECT_THROW(decodeEnvelope(bad), DecodingError) << bad;
}

TEST(SyncEnvelopeJson, DirectReadingAgreesWithTheGeneralPath)
{
    const QByteArray ordinary =
        encodeEnvelope({SyncEnvelopeKind::library, QStringLiteral("ios"), sampleLibrary(), QStringLiteral("TAVRIN iOS 1A2B")});
    ASSERT_TRUE(SyncEnvelopeDecoding::direct(ordinary).has_value()) << "what phones send is read directly";
    const char* texts[] = {
        R"({"kind":"hello","platform":"ios","peerName":"Anne \u003d \u00e9\n\"x\"\\ é 😀"})",
        R"({"kind":"hello","platform":"ios","peerName":"\ud83d\ude00"})",
        R"({"kind" : "hello" , "platform":"ios","peerName":null,"snapshot":null})",
        R"({"k\u0069nd":"hello","platform":"ios"})",
        R"({"kind":"hello","platform":"ios","extra":[1.5e3,{"a":null}]})",
        R"({"kind":"library","platform":"ios","snapshot":{"version":1.0,"updatedAt":"2026-12-04T10:00:00+01:00","days":[],"spreadsheets":[]}})",
        R"({"kind":"library","platform":"ios","snapshot":{"version":1,"updatedAt":"2026-12-04T10:00:00Z","days":[{"id":"7f0c3d2e-1b4a-4c5d-8e9f-0a1b2c3d4e5f","name":"S","createdAt":"2026-12-04T10:00:00.5Z","sortIndex":-3}],"spreadsheets":[]}})",
        R"({"kind":"library","platform":"ios","snapshot":{"version":1,"updatedAt":"2026-12-04T10:00:00Z","days":[{"id":"7f0c3d2e-1b4a-4c5d-8e9f-0a1b2c3d4e5","name":"S","createdAt":"2026-12-04T10:00:00Z","sortIndex":0}],"spreadsheets":[]}})",
        "{\"kind\":\"hello\",\"platform\":\"i\x01os\"}",
        R"({"kind":"hello","platform":"ios"} x)",
    };
    for (const char* text : texts) {
        const auto direct = SyncEnvelopeDecoding::direct(text);
        try {
            const SyncEnvelope general = SyncEnvelopeDecoding::general(text);
            if (direct) {
                EXPECT_EQ(*direct, general) << text;
            }
            EXPECT_EQ(decodeEnvelope(text), general) << text;
        } catch (const DecodingError&) {
            EXPECT_FALSE(direct.has_value()) << text;
            EXPECT_THROW(decodeEnvelope(text), DecodingError) << text;
        }
    }
}

TEST(SyncFrameBuffer, DeliversFramesAcrossAndWithinReadsInOrder)
{
    const QByteArray a = *SyncFraming::frame(hello(QStringLiteral("A")));
    const QString longName(150, u'B');
    const QByteArray b = *SyncFraming::frame(hello(longName));
    ASSERT_EQ(quint32(qFromBigEndian<quint32>(a.constData())), quint32(a.size() - 4));

    Collector merged;
    EXPECT_EQ(merged.feed(a + b), SyncFrameBuffer::Result::waiting);
    ASSERT_EQ(merged.received.size(), 2);
    EXPECT_EQ(merged.received[0].peerName, "A");
    EXPECT_EQ(merged.received[1].peerName, longName);

    Collector split;
    split.feed(b.left(2));
    split.feed(b.mid(2, 100));
    EXPECT_TRUE(split.received.isEmpty());
    EXPECT_EQ(split.buffer.size(), 102);
    split.feed(b.mid(102) + a.left(3));
    ASSERT_EQ(split.received.size(), 1);
    EXPECT_EQ(split.received[0].peerName, longName);
    EXPECT_EQ(split.buffer.size(), 3);
    split.feed(a.mid(3));
    ASSERT_EQ(split.received.size(), 2);
    EXPECT_EQ(split.buffer.size(), 0);

    // One byte at a time, as the slowest sender would.
    Collector trickle;
    for (char c : QByteArray(a + b)) trickle.feed(QByteArray(1, c));
    EXPECT_EQ(trickle.received.size(), 2);
}

TEST(SyncFrameBuffer, DropsUndecodableFramesAndGoesOn)
{
    Collector c;
    c.feed(rawFrame(R"({"kind":"bye","platform":"ios"})") + header(0) + rawFrame("\xff\xfe garbage") +
           *SyncFraming::frame(hello(QStringLiteral("after"))));
    ASSERT_EQ(c.received.size(), 1);
    EXPECT_EQ(c.received[0].peerName, "after");
    EXPECT_EQ(c.buffer.size(), 0);
}

TEST(SyncFrameBuffer, StopsWhenTheHandlerSaysSo)
{
    SyncFrameBuffer buffer;
    int delivered = 0;
    const QByteArray two = *SyncFraming::frame(hello(QStringLiteral("A"))) + *SyncFraming::frame(hello(QStringLiteral("B")));
    EXPECT_EQ(buffer.append(two, [&](SyncEnvelope&&) { return ++delivered < 1; }), SyncFrameBuffer::Result::stopped);
    EXPECT_EQ(delivered, 1);
}

TEST(SyncFrameBuffer, AcceptsJustUnderTheLimitAndRefusesTheLimitBeforeBufferingItsBody)
{
    Collector under;
    EXPECT_EQ(under.feed(header(7'999'999) + QByteArray(1000, '{')), SyncFrameBuffer::Result::waiting);
    EXPECT_EQ(under.buffer.size(), 1004);

    Collector over;
    const QByteArray body(SyncFraming::kReadChunk - 4, 'x');
    EXPECT_EQ(over.feed(header(8'000'000) + body), SyncFrameBuffer::Result::refused);
    EXPECT_LE(over.buffer.highWater(), 4) << "no byte of the refused body is kept";
    EXPECT_EQ(over.feed(body), SyncFrameBuffer::Result::refused);
    EXPECT_EQ(over.buffer.size(), 0);
    EXPECT_TRUE(over.received.isEmpty());

    EXPECT_FALSE(SyncFraming::frame(QByteArray(8'000'000, ' ')).has_value());
    EXPECT_TRUE(SyncFraming::frame(QByteArray(7'999'999, ' ')).has_value());
}
