#pragma once

// The controls that edit one retouch settings value: the sharpening, contrast, colour, gamma and
// exposure rows and the two tone groups. Used by the orders screen's popover and the crop editor;
// every change is emitted at once.

#include "editing/PhotoRetouchSettings.h"

#include <QWidget>

#include <functional>
#include <optional>
#include <vector>

class QCheckBox;
class QLineEdit;

namespace tavrin {

class FineLineSlider;
class RetouchSliderRow;

class RetouchPanel : public QWidget {
    Q_OBJECT

public:
    explicit RetouchPanel(QWidget* parent = nullptr);

    const PhotoRetouchSettings& settings() const { return m_settings; }
    // Shows `settings` without emitting settingsChanged.
    void setSettings(const PhotoRetouchSettings& settings);

    // Typed text to a value: comma or point, the unit and spaces ignored; none when it is not a
    // number. Values outside the row's range are brought back into it by the row.
    static std::optional<double> parseValue(const QString& text);

Q_SIGNALS:
    void settingsChanged(const PhotoRetouchSettings& settings);

private:
    struct Binding {
        RetouchSliderRow* row;
        double PhotoRetouchSettings::*field;
    };
    struct Switch {
        QCheckBox* box;
        bool PhotoRetouchSettings::*field;
    };
    void refresh();
    void refreshEnabled();

    PhotoRetouchSettings m_settings;
    // Disabled while "Netteté optimisée" is off.
    std::vector<QWidget*> m_sharpening;
    std::vector<Binding> m_rows;
    std::vector<Switch> m_switches;
    bool m_updating = false;
};

// One slider row: title, slider, value field and unit; the help text is the row's tooltip.
class RetouchSliderRow : public QWidget {
    Q_OBJECT

public:
    struct Setup {
        QString title;
        double minimum, maximum, step;
        int decimals;
        QString unit;
        QString help;
        bool drawnFromNeutral = false; // gamma: drawn from 1.0, the others from their start
    };
    RetouchSliderRow(const Setup& setup, QWidget* parent = nullptr);

    double value() const { return m_value; }
    void setValue(double value); // no signal
    const Setup& setup() const { return m_setup; }

Q_SIGNALS:
    void valueEdited(double value);

private:
    void showValue();
    Setup m_setup;
    double m_value = 0;
    FineLineSlider* m_slider;
    QLineEdit* m_field;
};

} // namespace tavrin
