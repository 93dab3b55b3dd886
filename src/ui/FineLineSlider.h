#pragma once

#include <QSlider>

namespace tavrin {

// The retouch slider: a thin track whose coloured part runs from the neutral value (0 for most
// settings, 1.0 × scale for gamma) to the current value.
class FineLineSlider : public QSlider {
    Q_OBJECT
    Q_PROPERTY(int neutralValue READ neutralValue WRITE setNeutralValue)

public:
    explicit FineLineSlider(QWidget* parent = nullptr);

    int neutralValue() const { return m_neutral; }
    void setNeutralValue(int value);

private:
    int m_neutral = 0;
};

} // namespace tavrin
