#include "ui/FineLineSlider.h"

#include <QEvent>
#include <QWheelEvent>

namespace tavrin {

namespace {

// One filter for every guarded widget: an unfocused widget's wheel event is refused, and Qt hands
// a refused wheel event on to the parent, the scroll area.
class WheelOnlyWhenFocused : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::Wheel) return false;
        auto* widget = qobject_cast<QWidget*>(watched);
        if (!widget || widget->hasFocus()) return false;
        event->ignore();
        return true;
    }
};

} // namespace

FineLineSlider::FineLineSlider(QWidget* parent) : QSlider(Qt::Horizontal, parent)
{
    // Strong, not wheel focus: turning the wheel over the slider must not give it the focus.
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_Hover);
}

void FineLineSlider::setNeutralValue(int value)
{
    m_neutral = value;
    update();
}

void FineLineSlider::wheelEvent(QWheelEvent* event)
{
    if (!hasFocus()) {
        event->ignore();
        return;
    }
    QSlider::wheelEvent(event);
}

void takeWheelOnlyWhenFocused(QWidget* widget)
{
    widget->setFocusPolicy(Qt::StrongFocus);
    widget->installEventFilter(new WheelOnlyWhenFocused(widget));
}

} // namespace tavrin
