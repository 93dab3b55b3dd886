#pragma once

#include <QSlider>

namespace tavrin {

// The retouch slider: a thin track whose coloured part runs from the neutral value (0 for most
// settings, 1.0 × scale for gamma) to the current value. It takes the mouse wheel only once it has
// the focus (a click or Tab): a wheel turned over it while scrolling a panel scrolls the panel and
// never changes a value by accident.
class FineLineSlider : public QSlider {
    Q_OBJECT
    Q_PROPERTY(int neutralValue READ neutralValue WRITE setNeutralValue)

public:
    explicit FineLineSlider(QWidget* parent = nullptr);

    int neutralValue() const { return m_neutral; }
    void setNeutralValue(int value);

protected:
    void wheelEvent(QWheelEvent* event) override;

private:
    int m_neutral = 0;
};

// Lets `widget` (a slider, a spin box, a combo box) take the wheel only while it has the focus;
// otherwise the wheel goes on to the scrolling panel under it. The widget gets a click-or-Tab focus.
void takeWheelOnlyWhenFocused(QWidget* widget);

} // namespace tavrin
