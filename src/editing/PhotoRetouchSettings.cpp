#include "editing/PhotoRetouchSettings.h"

#include "base/TavrinJSON.h"

#include <QStringList>

#include <cmath>
#include <cstdio>

namespace tavrin {

namespace {

constexpr QChar kNoBreakSpace(0x00A0);
constexpr QChar kMinus(0x2212);

// Fixed-point with a comma, the way the French texts show numbers.
QString fixed(double value, int decimals)
{
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.*f", decimals, value);
    return QString::fromLatin1(buffer).replace(QLatin1Char('.'), QLatin1Char(','));
}

QString signedFixed(double value, int decimals)
{
    const QString sign = value > 0 ? QStringLiteral("+") : QString(kMinus);
    return sign + fixed(std::abs(value), decimals);
}

QString percentPart(const char* title, double value)
{
    return QString::fromUtf8(title) + signedFixed(value, 0) + kNoBreakSpace + QLatin1Char('%');
}

} // namespace

// 1.001 − 1 is a hair below 0.001 in binary; a typed 1.001 must count as a change.
bool PhotoRetouchSettings::gammaIsNeutral() const { return std::abs(gamma - 1) < 0.001 - 1e-9; }

bool PhotoRetouchSettings::isNeutral() const
{
    return !optimizedSharpness && contrast == 0 && brightness == 0 && saturation == 0 && vibrance == 0 &&
           shadows == 0 && highlights == 0 && exposure == 0 && gammaIsNeutral() && !autoContrast;
}

QString PhotoRetouchSettings::summary() const
{
    QStringList parts;
    if (optimizedSharpness)
        parts << QStringLiteral("Netteté ") + fixed(sharpnessAmount, 0) + kNoBreakSpace + QLatin1Char('%');
    if (contrast != 0) parts << percentPart("Contraste ", contrast);
    if (autoContrast) parts << QStringLiteral("Contraste auto");
    if (brightness != 0) parts << percentPart("Luminosité ", brightness);
    if (vibrance != 0) parts << percentPart("Vibrance ", vibrance);
    if (saturation != 0) parts << percentPart("Saturation ", saturation);
    if (!gammaIsNeutral()) parts << QStringLiteral("Gamma ") + fixed(gamma, 2);
    if (shadows != 0) parts << percentPart("Tons foncés ", shadows);
    if (highlights != 0) parts << percentPart("Tons clairs ", highlights);
    if (exposure != 0) parts << QStringLiteral("Exp. ") + signedFixed(exposure, 2) + QStringLiteral(" IL");
    if (parts.isEmpty()) return QStringLiteral("Aucun réglage");
    return parts.join(QStringLiteral(" · "));
}

QJsonObject toJson(const PhotoRetouchSettings& s)
{
    return QJsonObject{
        {QLatin1String("optimizedSharpness"), s.optimizedSharpness},
        {QLatin1String("sharpnessAmount"), s.sharpnessAmount},
        {QLatin1String("sharpnessRadius"), s.sharpnessRadius},
        {QLatin1String("sharpnessNoiseReduction"), s.sharpnessNoiseReduction},
        {QLatin1String("removeLensBlur"), s.removeLensBlur},
        {QLatin1String("contrast"), s.contrast},
        {QLatin1String("brightness"), s.brightness},
        {QLatin1String("saturation"), s.saturation},
        {QLatin1String("vibrance"), s.vibrance},
        {QLatin1String("gamma"), s.gamma},
        {QLatin1String("shadows"), s.shadows},
        {QLatin1String("shadowTonalWidth"), s.shadowTonalWidth},
        {QLatin1String("shadowRadius"), s.shadowRadius},
        {QLatin1String("highlights"), s.highlights},
        {QLatin1String("highlightTonalWidth"), s.highlightTonalWidth},
        {QLatin1String("highlightRadius"), s.highlightRadius},
        {QLatin1String("exposure"), s.exposure},
        {QLatin1String("autoContrast"), s.autoContrast},
    };
}

PhotoRetouchSettings photoRetouchSettingsFromJson(const QJsonObject& o)
{
    using namespace TavrinJSON;
    PhotoRetouchSettings s;
    auto number = [&](const char* key, double& field) {
        if (auto v = optionalDouble(o, QLatin1StringView(key))) field = *v;
    };
    auto flag = [&](const char* key, bool& field) {
        if (auto v = optionalBool(o, QLatin1StringView(key))) field = *v;
    };
    // Files written before the amount and the switch were separate fields held one "sharpness".
    const std::optional<double> legacy = optionalDouble(o, QLatin1StringView("sharpness"));
    const bool legacyOn = legacy && *legacy > 0;
    s.optimizedSharpness = legacyOn;
    s.sharpnessAmount = legacyOn ? *legacy : 100;
    flag("optimizedSharpness", s.optimizedSharpness);
    number("sharpnessAmount", s.sharpnessAmount);
    number("sharpnessRadius", s.sharpnessRadius);
    number("sharpnessNoiseReduction", s.sharpnessNoiseReduction);
    flag("removeLensBlur", s.removeLensBlur);
    number("contrast", s.contrast);
    number("brightness", s.brightness);
    number("saturation", s.saturation);
    number("vibrance", s.vibrance);
    number("gamma", s.gamma);
    number("shadows", s.shadows);
    number("shadowTonalWidth", s.shadowTonalWidth);
    number("shadowRadius", s.shadowRadius);
    number("highlights", s.highlights);
    number("highlightTonalWidth", s.highlightTonalWidth);
    number("highlightRadius", s.highlightRadius);
    number("exposure", s.exposure);
    flag("autoContrast", s.autoContrast);
    return s;
}

} // namespace tavrin
