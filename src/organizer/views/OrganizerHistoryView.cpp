#include "organizer/views/OrganizerHistoryView.h"

#include "organizer/OrganizerHistoryPanel.h"
#include "ui/CapsuleButton.h"
#include "ui/Symbols.h"
#include "ui/Theme.h"

#include <QLabel>
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

// The chevron turned a quarter down when the panel is open.
QIcon chevron(bool expanded)
{
    const QPixmap base = Symbols::icon(QStringLiteral("chevron.right")).pixmap(16, 16);
    return QIcon(expanded ? base.transformed(QTransform().rotate(90), Qt::SmoothTransformation) : base);
}

} // namespace

OrganizerHistoryView::OrganizerHistoryView(OrganizerHistoryPanel* panel, QWidget* parent)
    : QWidget(parent), m_panel(panel), m_header(new CapsuleButton(CapsuleKind::glass, QStringLiteral("Historique"), QString(), this)),
      m_scroll(new QScrollArea(this)), m_content(new QWidget), m_lines(new QVBoxLayout(m_content))
{
    setObjectName(QStringLiteral("organizerHistory"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(Theme::largeSpacing, Theme::smallSpacing, Theme::largeSpacing, Theme::smallSpacing);
    layout->setSpacing(Theme::smallSpacing);
    m_header->setObjectName(QStringLiteral("historyHeader"));
    m_header->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    layout->addWidget(m_header, 0, Qt::AlignLeft);
    m_scroll->setWidgetResizable(true);
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setWidget(m_content);
    m_scroll->setMaximumHeight(190);
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
    m_header->setIcon(chevron(expanded));
    m_header->setToolTip(m_panel->toggleHelp());
    m_scroll->setVisible(expanded);
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

QStringList OrganizerHistoryView::shownLines() const
{
    QStringList lines;
    if (!m_scroll->isVisibleTo(this)) return lines;
    for (const QLabel* label : m_content->findChildren<QLabel*>()) lines.push_back(label->text());
    return lines;
}

} // namespace tavrin
