#include "base/TavrinJSON.h"
#include "editing/CropEditState.h"
#include "editing/PhotoEditError.h"
#include "editing/PhotoEditJournal.h"

#include <gtest/gtest.h>

using namespace tavrin;

namespace {

CropEditState sampleLook()
{
    CropEditState s;
    s.format = PrintFormat::a4;
    s.includeWatermark = true;
    s.zoom = 1.75;
    s.offset = QSizeF(-120.5, 42);
    s.angle = -3.25;
    s.retouch.contrast = 12;
    s.cropValidated = true;
    return s;
}

} // namespace

TEST(EditRecords, FormatsHaveTheirTextsAndPaperAspects)
{
    EXPECT_EQ(rawValue(PrintFormat::a5), QStringLiteral("a5"));
    EXPECT_EQ(printFormatFromRaw(u"a4"), PrintFormat::a4);
    EXPECT_FALSE(printFormatFromRaw(u"A4"));
    EXPECT_DOUBLE_EQ(aspectRatio(PrintFormat::a4, 6000, 4000), 297.0 / 210);
    EXPECT_DOUBLE_EQ(aspectRatio(PrintFormat::a4, 4000, 6000), 210.0 / 297);
    EXPECT_DOUBLE_EQ(aspectRatio(PrintFormat::a5, 3000, 3000), 210.0 / 148);
    EXPECT_DOUBLE_EQ(aspectRatio(PrintFormat::a5, 2999, 3000), 148.0 / 210);
}

TEST(EditRecords, LookWritesEveryKeyAndReadsBackEqual)
{
    const CropEditState look = sampleLook();
    const QJsonObject json = toJson(look);
    EXPECT_EQ(json.keys(), (QStringList{"angle", "cropValidated", "format", "includeWatermark", "offset", "retouch", "zoom"}));
    EXPECT_EQ(json["format"].toString(), QStringLiteral("a4"));
    EXPECT_EQ(json["offset"].toArray(), (QJsonArray{-120.5, 42}));
    EXPECT_EQ(cropEditStateFromJson(TavrinJSON::decodeObject(TavrinJSON::encode(json))), look);
}

TEST(EditRecords, JournalLackingAnyKeyIsUnreadable)
{
    PhotoEditJournal journal{sampleLook(), {CropEditState{}, sampleLook()}};
    const QJsonObject json = toJson(journal);
    EXPECT_EQ(photoEditJournalFromJson(json), journal);

    for (const QString& key : json.keys()) {
        QJsonObject broken = json;
        broken.remove(key);
        EXPECT_THROW(photoEditJournalFromJson(broken), DecodingError) << key.toStdString();
    }
    for (const QString& key : json["current"].toObject().keys()) {
        QJsonObject current = json["current"].toObject();
        current.remove(key);
        QJsonObject broken = json;
        broken["current"] = current;
        EXPECT_THROW(photoEditJournalFromJson(broken), DecodingError) << key.toStdString();
    }
    QJsonObject look = toJson(CropEditState{});
    for (const QJsonValue& bad : {QJsonValue(QJsonArray{1}), QJsonValue(QJsonArray{1, "2"}), QJsonValue(3)}) {
        look["offset"] = bad;
        EXPECT_THROW(cropEditStateFromJson(look), DecodingError);
    }
    look = toJson(CropEditState{});
    look["format"] = "a3";
    EXPECT_THROW(cropEditStateFromJson(look), DecodingError);
}

TEST(EditRecords, ErrorsCarryTheirFrenchTexts)
{
    using K = PhotoEditError::Kind;
    EXPECT_EQ(PhotoEditError(K::unreadablePhoto).message(), QStringLiteral("Impossible de lire cette photo."));
    EXPECT_EQ(PhotoEditError(K::unreadableWatermark).message(), QStringLiteral("Impossible de lire le fichier filigrane."));
    EXPECT_EQ(PhotoEditError(K::composeFailed).message(), QStringLiteral("La composition de la photo a échoué."));
    EXPECT_EQ(PhotoEditError(K::missingWatermark).message(), QStringLiteral("Choisissez d’abord un fichier filigrane."));
    EXPECT_EQ(PhotoEditError(K::composeFailed).kind(), K::composeFailed);
}
