#include "library/views/TableurView.h"

#include "library/LibraryStore.h"
#include "library/views/MacSidebar.h"
#include "library/views/NamingAlert.h"
#include "library/views/RowsTableModel.h"
#include "library/views/RowsTableView.h"
#include "library/views/SpreadsheetPane.h"
#include "ui/CapsuleButton.h"
#include "ui/EmptyState.h"
#include "ui/Theme.h"

#include <QAction>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
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
      m_detail(new QStackedWidget(this)), m_splitter(new QSplitter(Qt::Horizontal, this)),
      m_undo(new QAction(QStringLiteral("Annuler"), this)), m_redo(new QAction(QStringLiteral("Rétablir"), this)),
      m_banner(new QFrame(this)), m_bannerText(new QLabel(m_banner)),
      m_bannerUndo(new CapsuleButton(CapsuleKind::glass, QStringLiteral("Annuler"), QString(), m_banner))
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
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
    layout->addWidget(m_splitter, 1);

    // The banner that follows a deletion, along the foot of the section.
    m_banner->setObjectName(QStringLiteral("deletionBanner"));
    m_banner->setAutoFillBackground(true);
    m_banner->setBackgroundRole(QPalette::AlternateBase);
    m_banner->setFrameShape(QFrame::StyledPanel);
    auto* bannerLayout = new QHBoxLayout(m_banner);
    bannerLayout->setContentsMargins(Theme::largeSpacing, Theme::smallSpacing, Theme::spacing, Theme::smallSpacing);
    m_bannerText->setTextFormat(Qt::PlainText);
    m_bannerText->setMinimumWidth(0);
    m_bannerText->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    bannerLayout->addWidget(m_bannerText, 1);
    bannerLayout->addWidget(m_bannerUndo);
    m_banner->hide();
    layout->addWidget(m_banner);
    m_bannerTimer.setSingleShot(true);
    m_bannerTimer.setInterval(deletionBannerMilliseconds);
    connect(&m_bannerTimer, &QTimer::timeout, m_banner, &QWidget::hide);
    connect(m_bannerUndo, &QAbstractButton::clicked, this, [this] {
        m_bannerTimer.stop();
        m_banner->hide();
        reveal(m_store.undoStep(std::exchange(m_bannerStep, 0)));
    });

    // Shortcuts of the section alone: a cell being typed into keeps its own Ctrl+Z, and the
    // other sections' fields theirs.
    m_undo->setShortcut(QKeySequence::Undo);
    m_redo->setShortcuts({QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence(Qt::CTRL | Qt::Key_Y)});
    for (QAction* action : {m_undo, m_redo}) {
        action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        addAction(action);
    }
    connect(m_undo, &QAction::triggered, this, &TableurView::undo);
    connect(m_redo, &QAction::triggered, this, &TableurView::redo);
    auto updateHistory = [this] {
        m_undo->setEnabled(m_store.canUndo() || (m_priorityPending && m_priorityPending()));
        m_redo->setEnabled(m_store.canRedo());
        // Undone by Ctrl+Z meanwhile: nothing left for the banner to undo.
        if (m_banner->isVisible() && !m_store.canUndoStep(m_bannerStep)) {
            m_bannerTimer.stop();
            m_banner->hide();
        }
    };
    connect(&m_store, &LibraryStore::notesHistoryChanged, this, updateHistory);
    updateHistory();

    connect(m_sidebar, &MacSidebar::selectionChanged, this, &TableurView::selectionChanged);
    connect(m_sidebar, &MacSidebar::newDayRequested, this, &TableurView::newDay);
    connect(m_sidebar, &MacSidebar::newSpreadsheetRequested, this, &TableurView::newSpreadsheet);
    connect(m_sidebar, &MacSidebar::renameDayRequested, this, &TableurView::renameDay);
    connect(m_sidebar, &MacSidebar::renameSpreadsheetRequested, this, &TableurView::renameSpreadsheet);
    connect(m_sidebar, &MacSidebar::deleteDayRequested, this, &TableurView::deleteDay);
    connect(m_sidebar, &MacSidebar::deleteSpreadsheetRequested, this, &TableurView::deleteSpreadsheet);
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
    // A day made for the spreadsheet goes with it in one step.
    const LibraryStore::EditGroup step(m_store);
    if (target.isNull()) target = m_store.addDay().id;
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

QString TableurView::deleteDayQuestion(const QString& dayName, qsizetype spreadsheets)
{
    const QString start = QStringLiteral("Supprimer le jour « ") + dayName + QStringLiteral(" » et ");
    if (spreadsheets == 1) return start + QStringLiteral("son tableur ?");
    return start + QStringLiteral("ses ") + QString::number(spreadsheets) + QStringLiteral(" tableurs ?");
}

void TableurView::deleteSpreadsheet(const QUuid& spreadsheetID)
{
    const std::optional<SpreadsheetRecord> sheet = m_store.snapshot().spreadsheet(spreadsheetID);
    if (!sheet) return;
    m_store.deleteSpreadsheet(spreadsheetID);
    showDeletionBanner(QStringLiteral("Tableur « ") + sheet->title + QStringLiteral(" » supprimé."));
}

void TableurView::deleteDay(const QUuid& dayID)
{
    const std::optional<DayRecord> day = m_store.snapshot().day(dayID);
    if (!day) return;
    const QList<SpreadsheetRecord> sheets = m_store.snapshot().spreadsheetsIn(dayID);
    const bool holdsRows = std::any_of(sheets.begin(), sheets.end(), [](const SpreadsheetRecord& s) {
        return std::any_of(s.rows.begin(), s.rows.end(), [](const RowRecord& r) { return !r.isBlank(); });
    });
    const auto remove = [this, dayID, name = day->name] {
        m_store.deleteDay(dayID);
        showDeletionBanner(QStringLiteral("Jour « ") + name + QStringLiteral(" » supprimé."));
    };
    if (!holdsRows) return remove();
    auto* question = new QMessageBox(QMessageBox::Warning, QStringLiteral("Supprimer le jour"),
                                     deleteDayQuestion(day->name, sheets.size()), QMessageBox::NoButton, this);
    question->setObjectName(QStringLiteral("deleteDayQuestion"));
    question->setAttribute(Qt::WA_DeleteOnClose);
    QPushButton* confirm = question->addButton(QStringLiteral("Supprimer"), QMessageBox::DestructiveRole);
    QPushButton* cancel = question->addButton(QStringLiteral("Annuler"), QMessageBox::RejectRole);
    question->setDefaultButton(cancel);
    question->setEscapeButton(cancel);
    connect(confirm, &QAbstractButton::clicked, this, remove);
    question->open();
}

void TableurView::showDeletionBanner(const QString& text)
{
    m_bannerStep = m_store.lastStepID();
    m_bannerText->setText(text);
    m_bannerText->setToolTip(text);
    m_banner->show();
    m_bannerTimer.start();
}

QString TableurView::deletionBannerText() const { return m_banner->isVisible() ? m_bannerText->text() : QString(); }

void TableurView::undo()
{
    if (m_priorityPending && m_priorityPending() && m_priorityUndo) {
        m_priorityUndo();
        refreshUndo();
        return;
    }
    reveal(m_store.undo());
}

void TableurView::setPriorityUndo(std::function<bool()> pending, std::function<void()> undo)
{
    m_priorityPending = std::move(pending);
    m_priorityUndo = std::move(undo);
    refreshUndo();
}

void TableurView::refreshUndo() { m_undo->setEnabled(m_store.canUndo() || (m_priorityPending && m_priorityPending())); }

void TableurView::redo() { reveal(m_store.redo()); }

void TableurView::reveal(const std::optional<LibraryStore::NotesFocus>& focus)
{
    if (!focus || (!focus->dayID && !focus->spreadsheetID)) return;
    const bool tableFocused = m_pane->table()->hasFocus();
    m_sidebar->select(focus->dayID, focus->spreadsheetID);
    selectionChanged();
    if (focus->rowID && focus->spreadsheetID == m_pane->spreadsheetID()) {
        RowsTableView* table = m_pane->table();
        const int column = table->currentIndex().isValid() ? table->currentIndex().column() : RowsTableModel::photoNumberColumn;
        table->moveTo(m_pane->model()->rowOf(*focus->rowID), column);
    }
    if (tableFocused && m_pane->isVisible()) m_pane->table()->setFocus();
}

} // namespace tavrin
