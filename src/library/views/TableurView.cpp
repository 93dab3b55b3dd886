#include "library/views/TableurView.h"

#include "library/LibraryStore.h"
#include "library/views/MacSidebar.h"
#include "library/views/NamingAlert.h"
#include "library/views/RowsTableModel.h"
#include "library/views/RowsTableView.h"
#include "library/views/SpreadsheetPane.h"
#include "ui/CapsuleButton.h"
#include "ui/EmptyState.h"

#include <QHBoxLayout>
#include <QSplitter>
#include <QStackedWidget>

namespace tavrin {

TableurView::TableurView(LibraryStore& store, QWidget* parent)
    : QWidget(parent), m_store(store), m_sidebar(new MacSidebar(store, this)), m_pane(new SpreadsheetPane(store, this)),
      m_emptyDetail(new EmptyState(
          QStringLiteral("tablecells.badge.plus"), QStringLiteral("Créez un tableur"),
          QStringLiteral("Ajoutez un jour et un tableur ici, ou récupérez-les depuis iPhone ou Android (même Wi‑Fi, Wi‑Fi "
                         "Direct Android, ou fichier .tavrin). Vous pourrez ensuite saisir les n° photo et n° attribués."),
          this)),
      m_detail(new QStackedWidget(this)), m_splitter(new QSplitter(Qt::Horizontal, this))
{
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    connect(m_emptyDetail->addButton(QStringLiteral("Nouveau jour"), QStringLiteral("calendar.badge.plus")),
            &QAbstractButton::clicked, this, &TableurView::newDay);
    connect(m_emptyDetail->addButton(QStringLiteral("Nouveau tableur"), QStringLiteral("plus"), true),
            &QAbstractButton::clicked, this, [this] { newSpreadsheet(); });
    m_detail->addWidget(m_emptyDetail);
    m_detail->addWidget(m_pane);

    m_splitter->addWidget(m_sidebar);
    m_splitter->addWidget(m_detail);
    m_splitter->setCollapsible(0, false);
    m_splitter->setCollapsible(1, false);
    m_splitter->setStretchFactor(1, 1);
    m_splitter->setSizes({270, 900});
    layout->addWidget(m_splitter);

    connect(m_sidebar, &MacSidebar::selectionChanged, this, &TableurView::selectionChanged);
    connect(m_sidebar, &MacSidebar::newDayRequested, this, &TableurView::newDay);
    connect(m_sidebar, &MacSidebar::newSpreadsheetRequested, this, &TableurView::newSpreadsheet);
    connect(m_sidebar, &MacSidebar::renameDayRequested, this, &TableurView::renameDay);
    connect(m_sidebar, &MacSidebar::renameSpreadsheetRequested, this, &TableurView::renameSpreadsheet);
    selectionChanged();
}

QVBoxLayout* TableurView::syncBadgeSlot() const { return m_emptyDetail->accessorySlot(); }

void TableurView::newDay()
{
    NamingAlert::ask(this, QStringLiteral("Nom du jour"), QString(), [this](const QString& name) { createDay(name); });
}

void TableurView::newSpreadsheet(const QUuid& dayID)
{
    NamingAlert::ask(this, QStringLiteral("Nom du tableur"), QString(),
                     [this, dayID](const QString& title) { createSpreadsheet(title, dayID); });
}

void TableurView::renameDay(const QUuid& dayID)
{
    const std::optional<DayRecord> day = m_store.snapshot().day(dayID);
    if (!day) return;
    NamingAlert::ask(this, QStringLiteral("Renommer le jour"), day->name,
                     [this, dayID](const QString& name) { m_store.renameDay(dayID, name); });
}

void TableurView::renameSpreadsheet(const QUuid& spreadsheetID)
{
    const std::optional<SpreadsheetRecord> sheet = m_store.snapshot().spreadsheet(spreadsheetID);
    if (!sheet) return;
    NamingAlert::ask(this, QStringLiteral("Renommer le tableur"), sheet->title,
                     [this, spreadsheetID](const QString& title) { m_store.renameSpreadsheet(spreadsheetID, title); });
}

void TableurView::createDay(const QString& name)
{
    const QString trimmed = name.trimmed();
    const DayRecord day = m_store.addDay(trimmed.isEmpty() ? std::nullopt : std::optional<QString>(trimmed));
    m_sidebar->select(day.id, std::nullopt);
}

void TableurView::createSpreadsheet(const QString& title, const QUuid& dayID)
{
    const QString trimmed = title.trimmed();
    if (trimmed.isEmpty()) return;
    const LibrarySnapshot& snapshot = m_store.snapshot();
    QUuid target;
    if (!dayID.isNull() && snapshot.day(dayID)) target = dayID;
    else if (const std::optional<QUuid> selected = m_sidebar->selectedDayID()) target = *selected;
    else if (!snapshot.days.isEmpty()) target = snapshot.sortedDays().first().id;
    else target = m_store.addDay().id;
    const SpreadsheetRecord sheet = m_store.addSpreadsheet(target, trimmed);
    m_sidebar->select(target, sheet.id);
    // Ready to type the first photo number.
    m_pane->table()->moveTo(0, RowsTableModel::photoNumberColumn);
    m_pane->table()->setFocus();
}

void TableurView::restoreSelection()
{
    const PersistedUIState& state = m_store.uiState();
    const LibrarySnapshot& snapshot = m_store.snapshot();
    std::optional<QUuid> day, sheet;
    if (state.selectedSpreadsheetID) {
        if (const std::optional<SpreadsheetRecord> s = snapshot.spreadsheet(*state.selectedSpreadsheetID)) {
            sheet = s->id;
            day = s->dayID;
        }
    }
    if (!sheet && state.selectedDayID && snapshot.day(*state.selectedDayID)) day = state.selectedDayID;
    m_restored = true;
    m_sidebar->select(day, sheet);
    selectionChanged();
    if (sheet) m_pane->table()->setFocus();
}

void TableurView::selectionChanged()
{
    const std::optional<QUuid> sheet = m_sidebar->selectedSpreadsheetID();
    m_pane->setSpreadsheet(sheet);
    m_detail->setCurrentWidget(sheet ? static_cast<QWidget*>(m_pane) : m_emptyDetail);
    if (m_restored) m_store.updateUIState(m_sidebar->selectedDayID(), sheet);
}

} // namespace tavrin
