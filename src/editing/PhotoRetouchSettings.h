#pragma once

// One set of retouch parameters: kept with the orders workspace, in each photo's edit state and in
// editor presets. Values are stored as typed; the pipeline clamps where it needs to.

#include <QJsonObject>
#include <QString>

namespace tavrin {

struct PhotoRetouchSettings {
    bool optimizedSharpness = false;
    double sharpnessAmount = 100;
    double sharpnessRadius = 1;
    double sharpnessNoiseReduction = 10;
    bool removeLensBlur = false;
    double contrast = 0;
    double brightness = 0;
    double saturation = 0;
    double vibrance = 0;
    double gamma = 1;
    double shadows = 0;
    double shadowTonalWidth = 50;
    double shadowRadius = 30;
    double highlights = 0;
    double highlightTonalWidth = 50;
    double highlightRadius = 30;
    double exposure = 0;
    bool autoContrast = false;

    bool operator==(const PhotoRetouchSettings&) const = default;

    // Radii, tonal widths, noise reduction and the lens-blur model change nothing on their own.
    bool isNeutral() const;
    bool gammaIsNeutral() const;
    // One line describing the settings, e.g. "Netteté 100 % · Contraste −12 %".
    QString summary() const;
};

enum class RetouchQuality { preview, full };

QJsonObject toJson(const PhotoRetouchSettings& settings);
// Accepts any subset of the keys (and the old "sharpness" key); throws DecodingError only when a
// present key has the wrong type.
PhotoRetouchSettings photoRetouchSettingsFromJson(const QJsonObject& object);

} // namespace tavrin
