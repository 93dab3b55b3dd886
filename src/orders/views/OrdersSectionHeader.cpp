#include "orders/views/OrdersSectionHeader.h"

#include "ui/CapsuleButton.h"
#include "ui/Symbols.h"
#include "ui/Theme.h"

#include <QHBoxLayout>
#include <QLabel>

#include <algorithm>

namespace tavrin {

using ActionKind = OrdersScreen::Action::Kind;

namespace {

// The short label of a header button; the full sentence is its help.
QString shortLabel(ActionKind kind)
{
    switch (kind) {
    case ActionKind::retouch: return QStringLiteral("Retoucher");
    case ActionKind::watermark: return QStringLiteral("Filigrane");
    case ActionKind::print: return QStringLiteral("Imprimer…");
    default: return {};
    }
}

// The symbol a header button shows alone when the header is too narrow for the labels.
QString shortSymbol(ActionKind kind)
{
    switch (kind) {
    case ActionKind::retouch: return QStringLiteral("slider.horizontal.3");
    case ActionKind::watermark: return QStringLiteral("rectangle.bottomthird.inset.filled");
    case ActionKind::print: return QStringLiteral("printer");
    default: return QStringLiteral("circle");
    }
}

} // namespace

OrdersSectionHeader::OrdersSectionHeader(const QString& title, const QString& detail, QWidget* parent)
    : QWidget(parent), m_title(new QLabel(title, this))
{
    setObjectName(QStringLiteral("ordersSectionHeader"));
    m_title->setTextFormat(Qt::PlainText);
    QFont font = m_title->font();
    font.setPointSizeF(font.pointSizeF() * 1.15);
    font.setWeight(QFont::DemiBold);
    m_title->setFont(font);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(Theme::spacing, Theme::smallSpacing, Theme::spacing, Theme::smallSpacing);
    layout->setSpacing(Theme::spacing);
    layout->addWidget(m_title);
    if (!detail.isEmpty()) {
        m_count = new QLabel(detail, this);
        m_count->setForegroundRole(QPalette::PlaceholderText);
        layout->addWidget(m_count);
    }
    layout->addStretch(1);
}

// Labels while they fit; narrower (the crop editor open beside the gallery), the buttons show
// their symbol alone and say what they do in their help, then the file count goes.
void OrdersSectionHeader::fitToWidth()
{
    const QMargins margins = layout()->contentsMargins();
    const int spacing = layout()->spacing();
    int fixed = margins.left() + margins.right() + m_title->sizeHint().width();
    int labelled = 0, icons = 0;
    for (const auto& [kind, button] : m_buttons) {
        labelled += spacing + 2 * 14 + 2 + button->fontMetrics().horizontalAdvance(button->text());
        icons += spacing + Theme::controlHeight;
    }
    const int count = m_count ? spacing + m_count->sizeHint().width() : 0;
    const bool compact = fixed + count + labelled > width();
    for (const auto& [kind, button] : m_buttons) {
        if (compact == (button->kind() == CapsuleKind::icon)) continue;
        button->setIcon(compact ? Symbols::icon(shortSymbol(kind)) : QIcon());
        button->setKind(compact ? CapsuleKind::icon : CapsuleKind::glass);
    }
    if (m_count) m_count->setVisible(fixed + (compact ? icons : labelled) + count <= width());
}

bool OrdersSectionHeader::isCompact() const
{
    return std::any_of(m_buttons.begin(), m_buttons.end(), [](const auto& b) { return b.second->kind() == CapsuleKind::icon; });
}

void OrdersSectionHeader::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    fitToWidth();
}

QString OrdersSectionHeader::title() const { return m_title->text(); }

void OrdersSectionHeader::setActions(const QList<OrdersScreen::Action>& actions)
{
    for (const OrdersScreen::Action& action : actions) {
        CapsuleButton* target = button(action.kind);
        if (!target) {
            target = new CapsuleButton(CapsuleKind::glass, shortLabel(action.kind), QString(), this);
            connect(target, &QAbstractButton::clicked, this, [this, kind = action.kind, target] { Q_EMIT actionTriggered(kind, target); });
            static_cast<QHBoxLayout*>(layout())->addWidget(target);
            m_buttons.push_back({action.kind, target});
        }
        target->setAccessibleName(action.text);
        target->setEnabled(action.enabled);
        target->setToolTip(action.enabled || action.help.isEmpty() ? action.text : action.help);
    }
    // Actions no longer offered (printing unplugged) go away.
    for (qsizetype i = m_buttons.size() - 1; i >= 0; --i) {
        const bool offered = std::any_of(actions.begin(), actions.end(), [&](const auto& a) { return a.kind == m_buttons[i].first; });
        if (!offered) delete m_buttons.takeAt(i).second;
    }
    fitToWidth();
}

CapsuleButton* OrdersSectionHeader::button(ActionKind kind) const
{
    for (const auto& [k, b] : m_buttons)
        if (k == kind) return b;
    return nullptr;
}

} // namespace tavrin
