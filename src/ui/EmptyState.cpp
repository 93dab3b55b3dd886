#include "ui/EmptyState.h"

#include "ui/CapsuleButton.h"
#include "ui/Symbols.h"
#include "ui/Theme.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

namespace tavrin {

namespace {

// Painted on every paint so that it takes the current palette's colour.
class LargeSymbol : public QWidget {
public:
    LargeSymbol(const QString& symbol, QWidget* parent) : QWidget(parent), m_icon(Symbols::icon(symbol))
    {
        setFixedSize(44, 44);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        m_icon.paint(&painter, rect(), Qt::AlignCenter, QIcon::Disabled);
    }

private:
    QIcon m_icon;
};

} // namespace

EmptyState::EmptyState(const QString& symbol, const QString& title, const QString& text, QWidget* parent)
    : QWidget(parent), m_title(new QLabel(title, this)), m_text(new QLabel(text, this)),
      m_buttons(new QHBoxLayout), m_accessories(new QVBoxLayout)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(Theme::largeSpacing, Theme::largeSpacing, Theme::largeSpacing, Theme::largeSpacing);
    layout->setSpacing(Theme::spacing);
    layout->addStretch(1);

    layout->addWidget(new LargeSymbol(symbol, this), 0, Qt::AlignHCenter);

    QFont titleFont = m_title->font();
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.25);
    titleFont.setWeight(QFont::DemiBold);
    m_title->setFont(titleFont);
    m_title->setAlignment(Qt::AlignCenter);
    layout->addWidget(m_title);

    m_text->setForegroundRole(QPalette::PlaceholderText);
    m_text->setAlignment(Qt::AlignCenter);
    m_text->setWordWrap(true);
    m_text->setMaximumWidth(440);
    m_text->setVisible(!text.isEmpty());
    // Centred between stretches rather than by alignment, so the wrapped text gets its height.
    auto* textRow = new QHBoxLayout;
    textRow->addStretch(0);
    textRow->addWidget(m_text, 1);
    textRow->addStretch(0);
    layout->addLayout(textRow);

    m_buttons->setSpacing(Theme::spacing);
    m_buttons->addStretch(1);
    m_buttons->addStretch(1);
    layout->addSpacing(Theme::smallSpacing);
    layout->addLayout(m_buttons);
    m_accessories->setAlignment(Qt::AlignHCenter);
    layout->addLayout(m_accessories);
    layout->addStretch(1);
}

CapsuleButton* EmptyState::addButton(const QString& text, const QString& symbol, bool prominent)
{
    auto* button = new CapsuleButton(prominent ? CapsuleKind::prominent : CapsuleKind::glass, text, symbol, this);
    m_buttons->insertWidget(m_buttons->count() - 1, button);
    return button;
}

QString EmptyState::title() const { return m_title->text(); }
QString EmptyState::text() const { return m_text->text(); }

} // namespace tavrin
