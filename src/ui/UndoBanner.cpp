#include "ui/UndoBanner.h"

#include "ui/CapsuleButton.h"
#include "ui/Theme.h"

#include <QHBoxLayout>
#include <QLabel>

namespace tavrin {

UndoBanner::UndoBanner(QWidget* parent)
    : QFrame(parent), m_text(new QLabel(this)), m_undo(new CapsuleButton(CapsuleKind::glass, QStringLiteral("Annuler"), QString(), this))
{
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::AlternateBase);
    setFrameShape(QFrame::StyledPanel);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(Theme::largeSpacing, Theme::smallSpacing, Theme::spacing, Theme::smallSpacing);
    m_text->setTextFormat(Qt::PlainText);
    m_text->setMinimumWidth(0);
    m_text->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    layout->addWidget(m_text, 1);
    layout->addWidget(m_undo);
    connect(m_undo, &QAbstractButton::clicked, this, &UndoBanner::undoRequested);
    hide();
}

void UndoBanner::showText(const std::optional<QString>& text)
{
    m_text->setText(text.value_or(QString()));
    m_text->setToolTip(text.value_or(QString()));
    setVisible(text.has_value());
}

QString UndoBanner::text() const { return isHidden() ? QString() : m_text->text(); }

} // namespace tavrin
