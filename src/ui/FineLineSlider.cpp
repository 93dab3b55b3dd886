#include "ui/FineLineSlider.h"

namespace tavrin {

FineLineSlider::FineLineSlider(QWidget* parent) : QSlider(Qt::Horizontal, parent)
{
    setFocusPolicy(Qt::TabFocus);
    setAttribute(Qt::WA_Hover);
}

void FineLineSlider::setNeutralValue(int value)
{
    m_neutral = value;
    update();
}

} // namespace tavrin
