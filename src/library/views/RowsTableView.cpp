#include "library/views/RowsTableView.h"

#include "library/views/RowsTableModel.h"
#include "ui/Symbols.h"
#include "ui/Theme.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QPersistentModelIndex>
#include <QStyledItemDelegate>

#include <algorithm>

namespace tavrin {

namespace {

// Cells drawn for typing: a faint selection that keeps the text readable and a clear outline on
// the current cell. The editor commits on Enter at once (the stock delegate defers it, which lets
// fast typing land in the cell being closed).
class CellDelegate : public QStyledItemDelegate {
public:
    explicit CellDelegate(QAbstractItemView* view) : QStyledItemDelegate(view), m_view(view) {}

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem&, const QModelIndex&) const override
    {
        auto* editor = new QLineEdit(parent);
        editor->setFrame(false);
        // Typed text starts where the cell's text is painted.
        editor->setTextMargins(4, 0, 0, 0);
        return editor;
    }

    // What the user typed stays in the cell: a value arriving while the editor is open (a new
    // plan, a row merged from a phone or another program) never replaces it.
    void setEditorData(QWidget* editor, const QModelIndex& index) const override
    {
        if (const auto* line = qobject_cast<QLineEdit*>(editor); line && line->isModified()) return;
        QStyledItemDelegate::setEditorData(editor, index);
    }

    // An editor left as it opened writes nothing, so that it cannot bring back a value changed
    // elsewhere meanwhile.
    void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override
    {
        if (const auto* line = qobject_cast<QLineEdit*>(editor); line && !line->isModified()) return;
        QStyledItemDelegate::setModelData(editor, model, index);
    }

    void updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option, const QModelIndex&) const override
    {
        editor->setGeometry(option.rect.adjusted(1, 1, -1, -1));
    }

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QStyleOptionViewItem opt = option;
        const bool selected = opt.state & QStyle::State_Selected;
        opt.state &= ~(QStyle::State_Selected | QStyle::State_HasFocus);
        if (selected) {
            QColor fill = opt.palette.color(QPalette::Highlight);
            fill.setAlphaF(m_view->hasFocus() || m_view->isAncestorOf(QApplication::focusWidget()) ? 0.16 : 0.08);
            painter->fillRect(opt.rect, fill);
        }
        QStyledItemDelegate::paint(painter, opt, index);
        if (index == m_view->currentIndex()) {
            painter->save();
            painter->setRenderHint(QPainter::Antialiasing);
            QColor outline = opt.palette.color(QPalette::Highlight);
            if (!m_view->hasFocus()) outline.setAlphaF(0.5);
            painter->setPen(QPen(outline, 2));
            painter->setBrush(Qt::NoBrush);
            painter->drawRoundedRect(QRectF(opt.rect).adjusted(1, 1, -1, -1), 2, 2);
            painter->restore();
        }
    }

protected:
    bool eventFilter(QObject* object, QEvent* event) override
    {
        auto* editor = qobject_cast<QWidget*>(object);
        if (editor && event->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent*>(event)->key();
            if (key == Qt::Key_Return || key == Qt::Key_Enter) {
                Q_EMIT commitData(editor);
                Q_EMIT closeEditor(editor, QAbstractItemDelegate::SubmitModelCache);
                return true;
            }
        }
        return QStyledItemDelegate::eventFilter(object, event);
    }

private:
    QAbstractItemView* m_view;
};

} // namespace

RowsTableView::RowsTableView(RowsTableModel* model, QWidget* parent)
    : QTableView(parent), m_model(model),
      m_insertAbove(new QAction(QStringLiteral("Insérer une ligne au-dessus"), this)),
      m_insertBelow(new QAction(QStringLiteral("Insérer une ligne en dessous"), this)),
      m_deleteRow(new QAction(Symbols::icon(QStringLiteral("trash")), QStringLiteral("Supprimer la ligne"), this)),
      m_addRow(new QAction(Symbols::icon(QStringLiteral("plus")), QStringLiteral("Ajouter une ligne"), this)),
      m_copy(new QAction(QStringLiteral("Copier"), this)),
      m_paste(new QAction(QStringLiteral("Coller"), this))
{
    setModel(model);
    setItemDelegate(new CellDelegate(this));
    setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setTabKeyNavigation(true);
    setWordWrap(false);
    setCornerButtonEnabled(false);
    setFrameShape(QFrame::NoFrame);
    horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setStretchLastSection(true);
    verticalHeader()->setDefaultAlignment(Qt::AlignCenter);
    verticalHeader()->setMinimumWidth(fontMetrics().horizontalAdvance(QStringLiteral("0000")) + 12);
    verticalHeader()->setHighlightSections(false);
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 10);
    verticalHeader()->setForegroundRole(QPalette::PlaceholderText);
    auto applyWidths = [this] {
        for (int c = 0; c < m_model->columnCount(); ++c) setColumnWidth(c, m_model->column(c).preferredWidth);
    };
    applyWidths();
    connect(m_model, &QAbstractItemModel::columnsInserted, this, applyWidths);

    connect(m_insertAbove, &QAction::triggered, this, [this] {
        moveTo(m_model->insertBlankRow(currentIndex().row(), true), RowsTableModel::photoNumberColumn);
    });
    connect(m_insertBelow, &QAction::triggered, this, [this] {
        moveTo(m_model->insertBlankRow(currentIndex().row(), false), RowsTableModel::photoNumberColumn);
    });
    connect(m_deleteRow, &QAction::triggered, this, [this] { m_model->deleteRowAt(currentIndex().row()); });
    connect(m_addRow, &QAction::triggered, this, [this] {
        moveTo(m_model->addBlankRow(), RowsTableModel::photoNumberColumn);
        setFocus();
    });
    // Shown in the row menu; the keys themselves are read by keyPressEvent while the table has focus.
    m_copy->setShortcut(QKeySequence::Copy);
    m_copy->setShortcutContext(Qt::WidgetShortcut);
    m_paste->setShortcut(QKeySequence::Paste);
    m_paste->setShortcutContext(Qt::WidgetShortcut);
    connect(m_copy, &QAction::triggered, this, &RowsTableView::copySelectedCells);
    connect(m_paste, &QAction::triggered, this, &RowsTableView::pasteClipboard);
    for (auto signal : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved})
        connect(m_model, signal, this, &RowsTableView::updateActions);
    // Rows arriving above the cell being typed (a phone's, another program's) push it down: it
    // stays in sight, once the table has laid the new rows out.
    const auto keepInSight = [this] {
        if (!hasFocus() && !isAncestorOf(QApplication::focusWidget())) return;
        QMetaObject::invokeMethod(this, [this] { if (currentIndex().isValid()) scrollTo(currentIndex()); }, Qt::QueuedConnection);
    };
    connect(m_model, &QAbstractItemModel::rowsInserted, this, keepInSight);
    connect(m_model, &QAbstractItemModel::layoutChanged, this, keepInSight);
    connect(m_model, &QAbstractItemModel::dataChanged, this, &RowsTableView::updateActions);
    connect(m_model, &QAbstractItemModel::modelReset, this, [this] {
        if (m_model->rowCount() > 0) moveTo(0, RowsTableModel::photoNumberColumn);
        updateActions();
    });
    updateActions();
}

void RowsTableView::moveTo(int row, int column)
{
    const QModelIndex target = m_model->index(row, column);
    if (!target.isValid()) return;
    m_moving = true;
    selectionModel()->setCurrentIndex(target, QItemSelectionModel::ClearAndSelect);
    m_moving = false;
    scrollTo(target);
}

void RowsTableView::commitEditor()
{
    if (state() != QAbstractItemView::EditingState) return;
    if (QWidget* editor = indexWidget(currentIndex())) {
        commitData(editor);
        closeEditor(editor, QAbstractItemDelegate::NoHint);
    }
}

void RowsTableView::moveDown(int step)
{
    const QModelIndex current = currentIndex();
    if (!current.isValid()) return;
    const int column = m_tabAnchor >= 0 ? m_tabAnchor : current.column();
    m_tabAnchor = -1;
    moveTo(step > 0 ? rowBelow(current.row()) + step - 1 : current.row() + step, column);
}

int RowsTableView::rowBelow(int row) const
{
    const int last = m_model->rowCount() - 1;
    if (m_entryRow.isValid() && m_entryRow.row() == row && last > row && m_model->rowAt(last).isBlank()) return last;
    return row + 1;
}

void RowsTableView::moveAcross(int direction)
{
    const QModelIndex current = currentIndex();
    if (!current.isValid()) return;
    const int anchor = m_tabAnchor >= 0 ? m_tabAnchor : current.column();
    int row = current.row(), column = current.column();
    const int columns = m_model->columnCount();
    do {
        column += direction;
        if (column < 0 || column >= columns) {
            row = direction > 0 ? rowBelow(row) : row - 1;
            column = direction > 0 ? 0 : columns - 1;
        }
        if (row < 0 || row >= m_model->rowCount()) return;
    } while (!m_model->isEditable(column));
    moveTo(row, column);
    m_tabAnchor = row == current.row() ? anchor : -1;
}

void RowsTableView::keyPressEvent(QKeyEvent* event)
{
    const QModelIndex current = currentIndex();
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
    if (event->matches(QKeySequence::Copy)) {
        copySelectedCells();
        return;
    }
    if (event->matches(QKeySequence::Cut)) {
        copySelectedCells();
        clearSelectedCells();
        return;
    }
    if (event->matches(QKeySequence::Paste)) {
        pasteClipboard();
        return;
    }
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        moveDown(modifiers & Qt::ShiftModifier ? -1 : 1);
        return;
    case Qt::Key_Tab:
        moveAcross(1);
        return;
    case Qt::Key_Backtab:
        moveAcross(-1);
        return;
    case Qt::Key_Delete:
    case Qt::Key_Backspace:
        clearSelectedCells();
        return;
    default:
        break;
    }
    const QString text = event->text();
    if (!text.isEmpty() && text.front().isPrint() && !(modifiers & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))
        && current.isValid() && m_model->isEditable(current.column())) {
        startTyping(text);
        return;
    }
    QTableView::keyPressEvent(event);
}

void RowsTableView::startTyping(const QString& text)
{
    const QModelIndex index = currentIndex();
    edit(index);
    if (auto* editor = qobject_cast<QLineEdit*>(indexWidget(index))) {
        editor->setText(text);
        // Typed, as the keys that follow are.
        editor->setModified(true);
    }
}

void RowsTableView::closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint)
{
    QTableView::closeEditor(editor, QAbstractItemDelegate::NoHint);
    switch (hint) {
    case QAbstractItemDelegate::EditNextItem:
        moveAcross(1);
        break;
    case QAbstractItemDelegate::EditPreviousItem:
        moveAcross(-1);
        break;
    case QAbstractItemDelegate::SubmitModelCache:
        moveDown(1);
        break;
    default:
        break;
    }
}

void RowsTableView::clearSelectedCells()
{
    QModelIndexList indexes = selectedIndexes();
    if (indexes.isEmpty() && currentIndex().isValid()) indexes.push_back(currentIndex());
    QList<QPersistentModelIndex> cells;
    for (const QModelIndex& index : indexes)
        if (m_model->isEditable(index.column()) && !index.data(Qt::EditRole).toString().isEmpty()) cells.push_back(index);
    // A cleared block comes back whole with one undo.
    const LibraryStore::EditGroup step(m_model->store());
    for (const QPersistentModelIndex& cell : cells)
        if (cell.isValid()) m_model->setData(cell, QString());
}

void RowsTableView::copySelectedCells()
{
    QModelIndexList cells = selectedIndexes();
    if (cells.isEmpty() && currentIndex().isValid()) cells.push_back(currentIndex());
    if (cells.isEmpty()) return;
    QApplication::clipboard()->setText(m_model->textOf(cells));
}

void RowsTableView::pasteClipboard()
{
    const QModelIndex current = currentIndex();
    if (!current.isValid()) return;
    QString text = QApplication::clipboard()->text();
    text.remove(u'\r');
    // Spreadsheets end a copied block with a line feed; it is not one more row.
    if (text.endsWith(u'\n')) text.chop(1);
    if (text.isEmpty()) return;
    QList<QStringList> block;
    for (const QStringView line : QStringView(text).split(u'\n')) {
        QStringList cells;
        for (const QStringView cell : line.split(u'\t')) cells.push_back(cell.trimmed().toString());
        block.push_back(cells);
    }
    const int row = current.row(), column = current.column();
    const int rows = m_model->paste(row, column, block);
    if (rows <= 0) return;
    int columns = 0;
    for (const QStringList& cells : block) columns = std::max(columns, int(cells.size()));
    // The pasted block stays selected, the current cell at its top-left.
    moveTo(row, column);
    const QModelIndex bottomRight = m_model->index(std::min(row + rows, m_model->rowCount()) - 1,
                                                   std::min(column + columns, m_model->columnCount()) - 1);
    selectionModel()->select(QItemSelection(m_model->index(row, column), bottomRight), QItemSelectionModel::Select);
}

void RowsTableView::contextMenuEvent(QContextMenuEvent* event)
{
    const QModelIndex index = indexAt(event->pos());
    if (index.isValid() && !selectionModel()->isSelected(index)) moveTo(index.row(), index.column());
    updateActions();
    QMenu menu(this);
    if (currentIndex().isValid()) {
        menu.addAction(m_insertAbove);
        menu.addAction(m_insertBelow);
        if (m_deleteRow->isEnabled()) menu.addAction(m_deleteRow);
        menu.addSeparator();
        menu.addAction(m_copy);
        menu.addAction(m_paste);
        menu.addSeparator();
    }
    menu.addAction(m_addRow);
    menu.exec(event->globalPos());
}

void RowsTableView::currentChanged(const QModelIndex& current, const QModelIndex& previous)
{
    QTableView::currentChanged(current, previous);
    if (!m_moving) m_tabAnchor = -1;
    if (current.row() != previous.row()) {
        const bool entry = current.isValid() && current.row() == m_model->rowCount() - 1 && m_model->rowAt(current.row()).isBlank();
        m_entryRow = entry ? QPersistentModelIndex(current) : QPersistentModelIndex();
    }
    updateActions();
}

void RowsTableView::updateActions()
{
    const bool hasSheet = m_model->spreadsheetID().has_value();
    const bool hasRow = hasSheet && currentIndex().isValid();
    m_insertAbove->setEnabled(hasRow);
    m_insertBelow->setEnabled(hasRow);
    m_deleteRow->setEnabled(hasRow && m_model->canDelete(currentIndex().row()));
    m_addRow->setEnabled(hasSheet);
    m_copy->setEnabled(hasRow);
    m_paste->setEnabled(hasRow && m_model->isEditable(currentIndex().column()));
}

} // namespace tavrin
