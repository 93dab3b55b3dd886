#include "ui/LinkedLabelValue.h"

#include "ui/Theme.h"

#include <QHBoxLayout>
#include <QLabel>

namespace tavrin {

LinkedLabelValue::LinkedLabelValue(const QString& label, QWidget* parent)
    : QWidget(parent), m_label(new QLabel(label, this)), m_valueLabel(new QLabel(this))
{
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(Theme::smallSpacing);
    m_label->setForegroundRole(QPalette::PlaceholderText);
    m_valueLabel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    m_valueLabel->setMinimumWidth(40);
    layout->addWidget(m_label);
    layout->addWidget(m_valueLabel, 1);
}

void LinkedLabelValue::setValue(const QString& value)
{
    m_value = value;
    m_valueLabel->setToolTip(value);
    updateElision();
}

void LinkedLabelValue::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    updateElision();
}

void LinkedLabelValue::updateElision()
{
    m_valueLabel->setText(m_valueLabel->fontMetrics().elidedText(m_value, Qt::ElideMiddle, m_valueLabel->width()));
}

} // namespace tavrin
