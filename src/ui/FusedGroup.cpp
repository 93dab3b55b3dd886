#include "ui/FusedGroup.h"

#include <QHBoxLayout>
#include <QStyleOption>
#include <QStylePainter>

namespace tavrin {

FusedGroup::FusedGroup(bool exclusive, QWidget* parent) : QWidget(parent), m_layout(new QHBoxLayout(this))
{
    m_group.setExclusive(exclusive);
    m_layout->setContentsMargins(2, 2, 2, 2);
    m_layout->setSpacing(1);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    connect(&m_group, &QButtonGroup::idClicked, this, &FusedGroup::idClicked);
    connect(&m_group, &QButtonGroup::idToggled, this, [this] { update(); });
}

CapsuleButton* FusedGroup::addButton(const QString& text, const QString& symbol, int id, bool iconOnly)
{
    auto* button = new CapsuleButton(iconOnly ? CapsuleKind::fusedIcon : CapsuleKind::fused, text, symbol, this);
    button->setCheckable(m_group.exclusive());
    m_group.addButton(button, id);
    m_layout->addWidget(button);
    return button;
}

CapsuleButton* FusedGroup::button(int id) const { return static_cast<CapsuleButton*>(m_group.button(id)); }

void FusedGroup::setChecked(int id)
{
    if (QAbstractButton* b = m_group.button(id)) b->setChecked(true);
}

void FusedGroup::paintEvent(QPaintEvent*)
{
    QStylePainter painter(this);
    QStyleOption option;
    option.initFrom(this);
    painter.drawPrimitive(TavrinStyle::PE_FusedGroupTrack, option);
    // A divider between two neighbours unless one of them is the checked one, whose own capsule
    // already separates it.
    const QList<QAbstractButton*> buttons = m_group.buttons();
    for (qsizetype i = 0; i + 1 < buttons.size(); ++i) {
        if (buttons[i]->isChecked() || buttons[i + 1]->isChecked()) continue;
        const QRect left = buttons[i]->geometry(), right = buttons[i + 1]->geometry();
        option.rect = QRect(QPoint(left.right(), left.top()), QPoint(right.left(), right.bottom()));
        painter.drawPrimitive(TavrinStyle::PE_FusedDivider, option);
    }
}

} // namespace tavrin
