#include "base/TavrinJSON.h"
#include "editing/PhotoRetouchSettings.h"

#include <gtest/gtest.h>

using namespace tavrin;

namespace {
PhotoRetouchSettings decoded(const char* json)
{
    return photoRetouchSettingsFromJson(TavrinJSON::decodeObject(QByteArray(json)));
}
} // namespace

TEST(RetouchSettings, JsonRoundTripWritesAllKeysAndNeverClamps)
{
    PhotoRetouchSettings s;
    s.optimizedSharpness = true;
    s.sharpnessAmount = 800;
    s.contrast = -250;
    s.gamma = 7;
    s.highlightRadius = 999;
    s.autoContrast = true;
    const QJsonObject json = toJson(s);
    EXPECT_EQ(json.size(), 18);
    EXPECT_EQ(photoRetouchSettingsFromJson(json), s);
    EXPECT_EQ(decoded("{}"), PhotoRetouchSettings{});
    EXPECT_EQ(decoded(R"({"contrast": 12.5})").contrast, 12.5);
    EXPECT_THROW(decoded(R"({"gamma": "1"})"), DecodingError);
}

TEST(RetouchSettings, LegacySharpnessKey)
{
    const PhotoRetouchSettings on = decoded(R"({"sharpness": 150})");
    EXPECT_TRUE(on.optimizedSharpness);
    EXPECT_EQ(on.sharpnessAmount, 150);
    const PhotoRetouchSettings off = decoded(R"({"sharpness": 0})");
    EXPECT_FALSE(off.optimizedSharpness);
    EXPECT_EQ(off.sharpnessAmount, 100);
    EXPECT_EQ(decoded(R"({"sharpness": 150, "sharpnessAmount": 80})").sharpnessAmount, 80);
    EXPECT_FALSE(decoded(R"({"sharpness": 150, "optimizedSharpness": false})").optimizedSharpness);
}

TEST(RetouchSettings, Neutrality)
{
    PhotoRetouchSettings s;
    EXPECT_TRUE(s.isNeutral());
    s.sharpnessRadius = 4;
    s.removeLensBlur = true;
    s.shadowTonalWidth = 10;
    s.sharpnessNoiseReduction = 70;
    EXPECT_TRUE(s.isNeutral());
    s.gamma = 1.0005;
    EXPECT_TRUE(s.isNeutral());
    s.gamma = 1.001;
    EXPECT_FALSE(s.isNeutral());
    s.gamma = 1;
    s.exposure = -0.01;
    EXPECT_FALSE(s.isNeutral());
    s.exposure = 0;
    s.autoContrast = true;
    EXPECT_FALSE(s.isNeutral());
}

TEST(RetouchSettings, SummaryTexts)
{
    PhotoRetouchSettings s;
    EXPECT_EQ(s.summary(), QStringLiteral("Aucun réglage"));
    s.contrast = -12.4;
    EXPECT_EQ(s.summary(), QStringLiteral("Contraste \u221212\u00A0%"));
    s = {};
    s.exposure = 0.5;
    EXPECT_EQ(s.summary(), QStringLiteral("Exp. +0,50 IL"));
    s = {};
    s.optimizedSharpness = true;
    s.sharpnessAmount = 120;
    s.autoContrast = true;
    s.contrast = 8;
    s.brightness = 5;
    s.vibrance = -20;
    s.saturation = 3;
    s.gamma = 0.8;
    s.shadows = 40;
    s.highlights = -35.6;
    s.exposure = -1.25;
    EXPECT_EQ(s.summary(), QStringLiteral("Netteté 120\u00A0% · Contraste +8\u00A0% · Contraste auto · "
                                          "Luminosité +5\u00A0% · Vibrance \u221220\u00A0% · Saturation +3\u00A0% · "
                                          "Gamma 0,80 · Tons foncés +40\u00A0% · Tons clairs \u221236\u00A0% · "
                                          "Exp. \u22121,25 IL"));
}
