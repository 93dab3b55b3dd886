#include "organizer/views/OrganizerHistoryView.h"

#include "base/UserDefaults.h"
#include "organizer/OrganizerHistoryPanel.h"
#include "ui/CapsuleButton.h"
#include "ui/Symbols.h"
#include "ui/Theme.h"

#include <QEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollArea>
#include <QTransform>
#include <QVBoxLayout>

namespace tavrin {

namespace {

QLabel* line(const QString& text, QWidget* parent, bool strong = false, bool secondary = false, bool wrap = true)
{
    auto* label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(wrap);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    if (strong) {
        QFont font = label->font();
        font.setWeight(QFont::DemiBold);
        label->setFont(font);
    }
    if (secondary) label->setForegroundRole(QPalette::PlaceholderText);
    return label;
}

// The chevron turned a quarter down when the panel is open, in the text colour of the appearance
// of the moment (a fixed dark chevron disappears on the dark background).
QIcon chevron(bool expanded, const QColor& colour)
{
    const QPixmap base = Symbols::icon(QStringLiteral("chevron.right"), colour).pixmap(16, 16);
    return QIcon(expanded ? base.transformed(QTransform().rotate(90), Qt::SmoothTransformation) : base);
}

const QString heightKey = QStringLiteral("tavrin.historyPanelHeight");

// The strip above the history: a short bar in its middle says it can be pulled.
class ResizeGrip : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        QColor colour = Theme::secondaryText(palette());
        colour.setAlphaF(0.6f);
        painter.setBrush(colour);
        const QRectF bar(width() / 2.0 - 18, height() / 2.0 - 1.5, 36, 3);
        painter.drawRoundedRect(bar, 1.5, 1.5);
    }
};

} // namespace

OrganizerHistoryView::OrganizerHistoryView(OrganizerHistoryPanel* panel, QWidget* parent)
    : QWidget(parent), m_panel(panel), m_header(new CapsuleButton(CapsuleKind::glass, QStringLiteral("Historique"), QString(), this)),
      m_grip(new ResizeGrip(this)), m_scroll(new QScrollArea(this)), m_content(new QWidget), m_lines(new QVBoxLayout(m_content))
{
    setObjectName(QStringLiteral("organizerHistory"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(Theme::largeSpacing, Theme::smallSpacing, Theme::largeSpacing, Theme::smallSpacing);
    layout->setSpacing(Theme::smallSpacing);
    // The panel sits under the table: dragging this strip up gives the history more room.
    m_grip->setObjectName(QStringLiteral("historyResizeGrip"));
    m_grip->setFixedHeight(Theme::smallSpacing + 2);
    m_grip->setCursor(Qt::SizeVerCursor);
    m_grip->setToolTip(QStringLiteral("Faire glisser pour agrandir ou réduire l’historique"));
    m_grip->installEventFilter(this);
    layout->addWidget(m_grip);
    m_header->setObjectName(QStringLiteral("historyHeader"));
    m_header->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    layout->addWidget(m_header, 0, Qt::AlignLeft);
    m_scroll->setWidgetResizable(true);
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setWidget(m_content);
    if (const auto stored = UserDefaults::standard().string(heightKey)) {
        bool ok = false;
        const int height = stored->toInt(&ok);
        if (ok) m_chosenHeight = std::clamp(height, minimumChosenHeight, maximumChosenHeight);
    }
    applyHeight();
    m_lines->setContentsMargins(Theme::spacing, 0, Theme::spacing, 0);
    m_lines->setSpacing(2);
    layout->addWidget(m_scroll);
    connect(m_header, &QAbstractButton::clicked, m_panel, &OrganizerHistoryPanel::toggle);
    connect(m_panel, &OrganizerHistoryPanel::changed, this, &OrganizerHistoryView::reload);
    reload();
}

void OrganizerHistoryView::reload()
{
    const bool expanded = m_panel->expanded();
    m_header->setIcon(chevron(expanded, palette().color(QPalette::ButtonText)));
    m_header->setToolTip(m_panel->toggleHelp());
    m_scroll->setVisible(expanded);
    m_grip->setVisible(expanded);
    while (QLayoutItem* item = m_lines->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    if (!expanded) return;
    const QList<OrganizerHistorySection> sections = m_panel->sections();
    if (sections.isEmpty()) m_lines->addWidget(line(QStringLiteral("Aucune organisation pour l’instant."), m_content, false, true));
    for (const OrganizerHistorySection& section : sections) {
        m_lines->addSpacing(Theme::smallSpacing);
        m_lines->addWidget(line(section.title, m_content, true));
        for (const OrganizerHistoryEntry& entry : section.entries) {
            auto* head = new QWidget(m_content);
            auto* row = new QHBoxLayout(head);
            row->setContentsMargins(Theme::spacing, 0, 0, 0);
            row->addWidget(line(entry.headline, head, false, false, false));
            row->addWidget(line(OrganizerHistoryPanel::dateText(entry.date), head, false, true, false));
            row->addStretch(1);
            m_lines->addWidget(head);
            for (const QString& message : entry.messages.first(std::min(entry.messages.size(), OrganizerHistoryPanel::maxMessagesShown))) {
                QLabel* text = line(message, m_content, false, true);
                text->setContentsMargins(Theme::largeSpacing + Theme::spacing, 0, 0, 0);
                m_lines->addWidget(text);
            }
        }
    }
    m_lines->addStretch(1);
}

void OrganizerHistoryView::applyHeight()
{
    if (m_chosenHeight) {
        m_scroll->setFixedHeight(*m_chosenHeight);
    } else {
        m_scroll->setMinimumHeight(0);
        m_scroll->setMaximumHeight(defaultMaximumHeight);
    }
}

void OrganizerHistoryView::setChosenHeight(int height)
{
    m_chosenHeight = std::clamp(height, minimumChosenHeight, maximumChosenHeight);
    applyHeight();
}

bool OrganizerHistoryView::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != m_grip) return QWidget::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() != Qt::LeftButton) break;
        m_dragStart = std::pair(int(mouse->globalPosition().y()),
                                m_scroll->isVisible() ? m_scroll->height() : m_chosenHeight.value_or(defaultMaximumHeight));
        return true;
    }
    case QEvent::MouseMove:
        if (m_dragStart) {
            const int dy = int(static_cast<QMouseEvent*>(event)->globalPosition().y()) - m_dragStart->first;
            setChosenHeight(m_dragStart->second - dy);
            return true;
        }
        break;
    case QEvent::MouseButtonRelease:
        if (m_dragStart) {
            m_dragStart.reset();
            // Kept for the next start.
            UserDefaults::standard().setString(heightKey, QString::number(*m_chosenHeight));
            return true;
        }
        break;
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}

void OrganizerHistoryView::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::ApplicationPaletteChange)
        m_header->setIcon(chevron(m_panel->expanded(), palette().color(QPalette::ButtonText)));
}

QStringList OrganizerHistoryView::shownLines() const
{
    QStringList lines;
    if (!m_scroll->isVisibleTo(this)) return lines;
    for (const QLabel* label : m_content->findChildren<QLabel*>()) lines.push_back(label->text());
    return lines;
}

} // namespace tavrin
