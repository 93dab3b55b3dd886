#pragma once

#include <QProxyStyle>
#include <QStyleOptionButton>

namespace tavrin {

enum class CapsuleKind { glass, prominent, icon, tinyIcon, fused, fusedIcon };

// What TavrinStyle needs to draw one capsule button.
struct StyleOptionCapsule : QStyleOptionButton {
    enum StyleOptionType { Type = SO_CustomBase + 1 };
    enum StyleOptionVersion { Version = 1 };
    CapsuleKind kind = CapsuleKind::glass;
    bool showsMenuIndicator = false;

    StyleOptionCapsule()
    {
        type = Type;
        version = Version;
    }
};

// Fusion with Tavrin's shapes: capsule buttons and fused groups, flat headers, a hairline
// splitter, rounded sidebar selection and the fine-line slider. Colours come from the palette
// only, so light and dark both follow from Theme::apply.
class TavrinStyle : public QProxyStyle {
    Q_OBJECT

public:
    static constexpr ControlElement CE_Capsule = ControlElement(CE_CustomBase + 1);
    // The track behind the buttons of a fused group; the option's rect is the track.
    static constexpr PrimitiveElement PE_FusedGroupTrack = PrimitiveElement(PE_CustomBase + 1);
    // One thin divider between two fused buttons; the option's rect is the divider's column.
    static constexpr PrimitiveElement PE_FusedDivider = PrimitiveElement(PE_CustomBase + 2);

    TavrinStyle();

    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget = nullptr) const override;
    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget = nullptr) const override;
    void drawComplexControl(ComplexControl control, const QStyleOptionComplex* option, QPainter* painter,
                            const QWidget* widget = nullptr) const override;
    int pixelMetric(PixelMetric metric, const QStyleOption* option = nullptr, const QWidget* widget = nullptr) const override;
    int styleHint(StyleHint hint, const QStyleOption* option = nullptr, const QWidget* widget = nullptr,
                  QStyleHintReturn* returnData = nullptr) const override;
    void polish(QWidget* widget) override;
    using QProxyStyle::polish;

private:
    void drawCapsule(const StyleOptionCapsule& option, QPainter* painter) const;
    void drawCheckBox(const QStyleOption& option, QPainter* painter) const;
    void drawFineLineSlider(const QStyleOptionSlider& option, QPainter* painter, const QWidget* widget) const;
};

} // namespace tavrin
