#include "library/views/MacSidebar.h"

#include "library/LibraryStore.h"
#include "ui/CapsuleButton.h"
#include "ui/EmptyState.h"
#include "ui/Symbols.h"
#include "ui/Theme.h"

#include <QHBoxLayout>
#include <QHash>
#include <QHeaderView>
#include <QHelpEvent>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QStackedWidget>
#include <QStyledItemDelegate>
#include <QToolTip>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace tavrin {

namespace {

using enum MacSidebar::ItemRole;
using enum MacSidebar::ItemKind;

// A day of the list with its spreadsheets, newest first (equal times in library order): the
// library's own ordering, found in one pass, since a season holds thousands of spreadsheets.
struct ShownDay {
    const DayRecord* day;
    QList<const SpreadsheetRecord*> sheets;
};

QList<ShownDay> shownDays(const LibrarySnapshot& snapshot, const QList<DayRecord>& sortedDays)
{
    QHash<QUuid, QList<const SpreadsheetRecord*>> byDay;
    byDay.reserve(sortedDays.size());
    for (const SpreadsheetRecord& sheet : snapshot.spreadsheets) byDay[sheet.dayID].push_back(&sheet);
    QList<ShownDay> shown;
    shown.reserve(sortedDays.size());
    for (const DayRecord& day : sortedDays) {
        QList<const SpreadsheetRecord*> sheets = byDay.value(day.id);
        std::stable_sort(sheets.begin(), sheets.end(),
                         [](const SpreadsheetRecord* a, const SpreadsheetRecord* b) { return a->createdAt > b->createdAt; });
        shown.push_back({&day, std::move(sheets)});
    }
    return shown;
}

const QString kDoneHelp = QStringLiteral("Fait — cliquer pour marquer à faire");
const QString kNotDoneHelp = QStringLiteral("À faire — cliquer pour marquer comme fait");

int kindOf(const QModelIndex& index) { return index.data(KindRole).toInt(); }

// Rows of the sidebar: a day as a small heading, its spreadsheets indented under it with their
// count and done mark, and a rounded selection.
class SidebarDelegate : public QStyledItemDelegate {
public:
    SidebarDelegate(QTreeWidget* tree, std::function<void(const QUuid&)> toggleDone)
        : QStyledItemDelegate(tree), m_tree(tree), m_toggleDone(std::move(toggleDone))
    {
    }

    static QRect markRect(const QRect& row) { return QRect(row.right() - 14 - 16, row.center().y() - 8, 16, 16); }

    // The title as painted in a spreadsheet row of that width.
    static QString elidedTitle(const QFontMetrics& metrics, const QModelIndex& index, int width)
    {
        return metrics.elidedText(index.data().toString(), Qt::ElideMiddle, width);
    }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        if (kindOf(index) == EmptyDayKind) return QStyledItemDelegate::sizeHint(option, index);
        const int line = option.fontMetrics.height();
        return {120, kindOf(index) == DayKind ? line + 18 : line + 12};
    }

    void paint(QPainter* p, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        const int kind = kindOf(index);
        if (kind == EmptyDayKind) return;
        const QPalette& pal = option.palette;
        const bool selected = option.state & QStyle::State_Selected;
        const bool focused = m_tree->hasFocus();
        const QRect row = option.rect;
        p->save();
        p->setRenderHint(QPainter::Antialiasing);
        QColor text = pal.color(QPalette::WindowText);
        QColor secondary = Theme::secondaryText(pal);
        QIcon::Mode iconMode = QIcon::Normal;
        if (selected) {
            const QRectF pill = QRectF(row).adjusted(6, 1, -6, -1);
            p->setPen(Qt::NoPen);
            if (focused) {
                p->setBrush(pal.color(QPalette::Highlight));
                text = pal.color(QPalette::HighlightedText);
                secondary = text;
                secondary.setAlphaF(0.8);
                iconMode = QIcon::Selected;
            } else {
                QColor fill = Theme::capsuleFill(pal);
                fill.setAlphaF(fill.alphaF() * 1.8);
                p->setBrush(fill);
            }
            p->drawRoundedRect(pill, 6, 6);
        }

        QFont font = option.font;
        int x = row.left() + 16;
        if (kind == DayKind) {
            Symbols::icon(QStringLiteral("calendar")).paint(p, QRect(x, row.center().y() - 7, 14, 14), Qt::AlignCenter, iconMode);
            x += 22;
            font.setWeight(QFont::DemiBold);
            p->setFont(font);
            p->setPen(text);
            const QRect textRect(x, row.top(), row.right() - 14 - x, row.height());
            p->drawText(textRect, Qt::AlignVCenter | Qt::AlignLeft,
                        QFontMetrics(font).elidedText(index.data().toString(), Qt::ElideRight, textRect.width()));
            p->restore();
            return;
        }

        x += 22;
        const QRect mark = markRect(row);
        const bool done = index.data(DoneRole).toBool();
        const QColor markColour = selected && focused ? text : done ? pal.color(QPalette::Highlight) : secondary;
        Symbols::icon(done ? QStringLiteral("checkmark.circle.fill") : QStringLiteral("circle"), markColour).paint(p, mark);

        const QString count = index.data(CountRole).toString();
        const int countWidth = option.fontMetrics.horizontalAdvance(count);
        const QRect countRect(mark.left() - 10 - countWidth, row.top(), countWidth, row.height());
        p->setPen(secondary);
        p->drawText(countRect, Qt::AlignVCenter | Qt::AlignRight, count);

        p->setPen(text);
        // Titles of one competition often share their start ("Grand Prix 1m20 …"); their ends
        // tell them apart, so the middle gives way. The full title is the row's help.
        const QRect titleRect = MacSidebar::spreadsheetTitleRect(row, countWidth);
        p->drawText(titleRect, Qt::AlignVCenter | Qt::AlignLeft, elidedTitle(option.fontMetrics, index, titleRect.width()));
        p->restore();
    }

    bool editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                     const QModelIndex& index) override
    {
        if (kindOf(index) == SpreadsheetKind
            && (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonRelease
                || event->type() == QEvent::MouseButtonDblClick)) {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            if (markRect(option.rect).adjusted(-4, -4, 4, 4).contains(mouse->position().toPoint())) {
                if (event->type() == QEvent::MouseButtonRelease && mouse->button() == Qt::LeftButton)
                    m_toggleDone(index.data(IDRole).toUuid());
                return true;
            }
        }
        return QStyledItemDelegate::editorEvent(event, model, option, index);
    }

    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override
    {
        if (kindOf(index) == SpreadsheetKind && markRect(option.rect).contains(event->pos())) {
            QToolTip::showText(event->globalPos(), index.data(DoneRole).toBool() ? kDoneHelp : kNotDoneHelp, view);
            return true;
        }
        return QStyledItemDelegate::helpEvent(event, view, option, index);
    }

private:
    QTreeWidget* m_tree;
    std::function<void(const QUuid&)> m_toggleDone;
};

// A label that gives way to the button beside it: its text is elided rather than the button cut.
class ElidedLabel : public QLabel {
public:
    ElidedLabel(const QString& text, QWidget* parent) : QLabel(text, parent)
    {
        setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
        setToolTip(text);
    }
    QSize minimumSizeHint() const override { return {0, QLabel::minimumSizeHint().height()}; }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.setPen(palette().color(foregroundRole()));
        p.drawText(contentsRect(), Qt::AlignVCenter | Qt::AlignLeft,
                   fontMetrics().elidedText(text(), Qt::ElideRight, contentsRect().width()));
    }
};

} // namespace

MacSidebar::MacSidebar(LibraryStore& store, QWidget* parent)
    : QWidget(parent), m_store(store), m_stack(new QStackedWidget(this)), m_tree(new QTreeWidget(this)),
      m_plus(new CapsuleMenu(CapsuleKind::tinyIcon, QString(), QStringLiteral("plus"), this)), m_syncFooter(new QWidget(this))
{
    setMinimumWidth(210);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, Theme::spacing, 0, 0);
    layout->setSpacing(0);

    m_tree->setHeaderHidden(true);
    m_tree->setRootIsDecorated(false);
    m_tree->setIndentation(0);
    m_tree->setItemsExpandable(false);
    m_tree->setExpandsOnDoubleClick(false);
    m_tree->setFrameShape(QFrame::NoFrame);
    m_tree->setSelectionMode(QAbstractItemView::SingleSelection);
    m_tree->setContextMenuPolicy(Qt::CustomContextMenu);
    m_tree->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_tree->viewport()->setAutoFillBackground(false);
    m_tree->viewport()->setAttribute(Qt::WA_Hover);
    m_tree->setItemDelegate(new SidebarDelegate(m_tree, [this](const QUuid& id) { toggleDone(id); }));
    connect(m_tree, &QTreeWidget::currentItemChanged, this, &MacSidebar::noteSelection);
    connect(m_tree, &QTreeWidget::itemSelectionChanged, this, &MacSidebar::noteSelection);
    connect(m_tree, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        const QTreeWidgetItem* item = m_tree->itemAt(pos);
        if (!item || item->data(0, KindRole).toInt() == EmptyDayKind) return;
        QMenu* menu = contextMenu(item->data(0, IDRole).toUuid());
        menu->setAttribute(Qt::WA_DeleteOnClose);
        menu->popup(m_tree->viewport()->mapToGlobal(pos));
    });

    auto* noDay = new EmptyState(QStringLiteral("calendar"), QStringLiteral("Aucun jour"),
                                 QStringLiteral("Créez un jour, puis un tableur, ou synchronisez depuis iPhone ou Android (Wi‑Fi ou Wi‑Fi Direct)."),
                                 this);
    connect(noDay->addButton(QStringLiteral("Nouveau jour"), QStringLiteral("calendar.badge.plus")), &QAbstractButton::clicked,
            this, &MacSidebar::newDayRequested);
    m_stack->addWidget(m_tree);
    m_stack->addWidget(noDay);
    layout->addWidget(m_stack, 1);

    auto* foot = new QHBoxLayout;
    foot->setContentsMargins(Theme::spacing + 2, Theme::smallSpacing, Theme::spacing, Theme::smallSpacing);
    m_plus->setText(QStringLiteral("Ajouter un jour ou un tableur"));
    m_plus->setToolTip(m_plus->text());
    QAction* newDay = m_plus->menu()->addAction(Symbols::icon(QStringLiteral("calendar.badge.plus")), QStringLiteral("Nouveau jour"));
    QAction* newSheet = m_plus->menu()->addAction(Symbols::icon(QStringLiteral("tablecells")), QStringLiteral("Nouveau tableur"));
    connect(newDay, &QAction::triggered, this, &MacSidebar::newDayRequested);
    connect(newSheet, &QAction::triggered, this, [this] { Q_EMIT newSpreadsheetRequested(QUuid()); });
    foot->addWidget(m_plus);
    foot->addStretch(1);
    layout->addLayout(foot);

    auto* syncLayout = new QVBoxLayout(m_syncFooter);
    syncLayout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_syncFooter);

    connect(&m_store, &LibraryStore::snapshotChanged, this, &MacSidebar::reload);
    reload(QUuid());
}

QRect MacSidebar::spreadsheetTitleRect(const QRect& row, int countWidth)
{
    const int left = row.left() + 16 + 22;
    const int markLeft = row.right() - 14 - 16;
    return QRect(left, row.top(), markLeft - 10 - countWidth - 10 - left, row.height());
}

QString MacSidebar::shownTitle(const QUuid& spreadsheetID) const
{
    const QTreeWidgetItem* item = itemFor(spreadsheetID);
    if (!item || item->data(0, KindRole).toInt() != SpreadsheetKind) return {};
    const QModelIndex index = m_tree->indexFromItem(item);
    const QFontMetrics metrics = m_tree->fontMetrics();
    const int countWidth = metrics.horizontalAdvance(item->data(0, CountRole).toString());
    const QRect title = spreadsheetTitleRect(m_tree->visualRect(index), countWidth);
    return SidebarDelegate::elidedTitle(metrics, index, title.width());
}

QString MacSidebar::rowCountText(qsizetype filledRows)
{
    return QString::number(filledRows) + (filledRows >= 2 ? QStringLiteral(" lignes") : QStringLiteral(" ligne"));
}

void MacSidebar::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), Theme::sidebarBackground(palette()));
}

std::optional<QUuid> MacSidebar::selectedDayID() const
{
    const QTreeWidgetItem* item = m_tree->currentItem();
    if (!item || !item->isSelected()) return std::nullopt;
    if (item->data(0, KindRole).toInt() == DayKind) return item->data(0, IDRole).toUuid();
    if (const QTreeWidgetItem* day = item->parent()) return day->data(0, IDRole).toUuid();
    return std::nullopt;
}

std::optional<QUuid> MacSidebar::selectedSpreadsheetID() const
{
    const QTreeWidgetItem* item = m_tree->currentItem();
    if (!item || !item->isSelected() || item->data(0, KindRole).toInt() != SpreadsheetKind) return std::nullopt;
    return item->data(0, IDRole).toUuid();
}

QTreeWidgetItem* MacSidebar::itemFor(const QUuid& id) const
{
    for (int d = 0; d < m_tree->topLevelItemCount(); ++d) {
        QTreeWidgetItem* day = m_tree->topLevelItem(d);
        if (day->data(0, IDRole).toUuid() == id) return day;
        for (int s = 0; s < day->childCount(); ++s) {
            QTreeWidgetItem* sheet = day->child(s);
            if (sheet->data(0, KindRole).toInt() == SpreadsheetKind && sheet->data(0, IDRole).toUuid() == id) return sheet;
        }
    }
    return nullptr;
}

void MacSidebar::select(const std::optional<QUuid>& dayID, const std::optional<QUuid>& spreadsheetID)
{
    QTreeWidgetItem* target = spreadsheetID ? itemFor(*spreadsheetID) : nullptr;
    if (!target && dayID) target = itemFor(*dayID);
    if (target) {
        m_tree->setCurrentItem(target);
        m_tree->scrollToItem(target);
    } else {
        m_tree->setCurrentItem(nullptr);
        m_tree->clearSelection();
    }
}

void MacSidebar::setDoneMarks(SpreadsheetDoneMarks marks)
{
    m_marks = std::move(marks);
    refreshDoneMarks();
}

bool MacSidebar::isDone(const QUuid& spreadsheetID) const { return m_marks.isDone && m_marks.isDone(spreadsheetID); }

void MacSidebar::toggleDone(const QUuid& spreadsheetID)
{
    if (m_marks.setDone) m_marks.setDone(spreadsheetID, !isDone(spreadsheetID));
    refreshDoneMarks();
}

void MacSidebar::refreshDoneMarks()
{
    for (int d = 0; d < m_tree->topLevelItemCount(); ++d) {
        QTreeWidgetItem* day = m_tree->topLevelItem(d);
        for (int s = 0; s < day->childCount(); ++s) {
            QTreeWidgetItem* sheet = day->child(s);
            if (sheet->data(0, KindRole).toInt() == SpreadsheetKind)
                sheet->setData(0, DoneRole, isDone(sheet->data(0, IDRole).toUuid()));
        }
    }
}

QMenu* MacSidebar::contextMenu(const QUuid& id)
{
    auto* menu = new QMenu(this);
    const LibrarySnapshot& snapshot = m_store.snapshot();
    if (snapshot.day(id)) {
        connect(menu->addAction(Symbols::icon(QStringLiteral("plus")), QStringLiteral("Nouveau tableur")), &QAction::triggered,
                this, [this, id] { Q_EMIT newSpreadsheetRequested(id); });
        connect(menu->addAction(Symbols::icon(QStringLiteral("pencil")), QStringLiteral("Renommer le jour")), &QAction::triggered,
                this, [this, id] { Q_EMIT renameDayRequested(id); });
        menu->addSeparator();
        connect(menu->addAction(Symbols::icon(QStringLiteral("trash")), QStringLiteral("Supprimer le jour")), &QAction::triggered,
                this, [this, id] { Q_EMIT deleteDayRequested(id); });
    } else if (snapshot.spreadsheet(id)) {
        const bool done = isDone(id);
        QAction* mark = menu->addAction(done ? QStringLiteral("Marquer à faire") : QStringLiteral("Marquer comme fait"));
        mark->setEnabled(bool(m_marks.setDone));
        connect(mark, &QAction::triggered, this, [this, id] { toggleDone(id); });
        connect(menu->addAction(Symbols::icon(QStringLiteral("pencil")), QStringLiteral("Renommer")), &QAction::triggered, this,
                [this, id] { Q_EMIT renameSpreadsheetRequested(id); });
        menu->addSeparator();
        connect(menu->addAction(Symbols::icon(QStringLiteral("trash")), QStringLiteral("Supprimer")), &QAction::triggered, this,
                [this, id] { Q_EMIT deleteSpreadsheetRequested(id); });
    }
    return menu;
}

QWidget* MacSidebar::emptyDayRow(const QUuid& dayID, const QString& dayName)
{
    auto* row = new QWidget;
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(38, 2, 14, 6);
    auto* label = new ElidedLabel(QStringLiteral("Aucun tableur"), row);
    label->setForegroundRole(QPalette::PlaceholderText);
    auto* add = new CapsuleButton(CapsuleKind::glass, QStringLiteral("Nouveau tableur"), QString(), row);
    add->setToolTip(QStringLiteral("Nouveau tableur dans ") + dayName);
    connect(add, &QAbstractButton::clicked, this, [this, dayID] { Q_EMIT newSpreadsheetRequested(dayID); });
    layout->addWidget(label, 1);
    layout->addWidget(add);
    return row;
}

// The list is rebuilt only when days or spreadsheets come, go or move; an edit of a row only
// updates texts, so typing in the table never disturbs the sidebar.
void MacSidebar::reload(const QUuid& spreadsheetID)
{
    const LibrarySnapshot& snapshot = m_store.snapshot();
    // One spreadsheet changed and still under its day (rows typed, a rename, a phone's rows; its
    // creation time never changes): its row alone, whatever the size of the library.
    if (const auto shown = m_shown.find(spreadsheetID); !spreadsheetID.isNull() && shown != m_shown.end() && shown->item->parent())
        if (const std::optional<SpreadsheetRecord> sheet = snapshot.spreadsheet(spreadsheetID);
            sheet && shown->item->parent()->data(0, IDRole).toUuid() == sheet->dayID) {
            showSheet(*shown, *sheet);
            return;
        }
    const QList<DayRecord> days = snapshot.sortedDays();
    QList<QUuid> structure;
    structure.reserve(days.size() + snapshot.spreadsheets.size());
    for (const ShownDay& shown : shownDays(snapshot, days)) {
        structure.push_back(shown.day->id);
        for (const SpreadsheetRecord* sheet : shown.sheets) structure.push_back(sheet->id);
        if (shown.sheets.isEmpty()) structure.push_back(shown.day->id);
    }
    m_stack->setCurrentIndex(snapshot.days.isEmpty() ? 1 : 0);
    if (structure == m_structure) updateInPlace();
    else rebuild(structure);
}

void MacSidebar::showSheet(ShownSheet& shown, const SpreadsheetRecord& sheet)
{
    // The very title and rows shown last (held here, so any change to them made new ones): a
    // season's thousands of rows are not counted again for the few that changed.
    if (shown.title.constData() == sheet.title.constData() && shown.title.size() == sheet.title.size()
        && shown.rows.constData() == sheet.rows.constData() && shown.rows.size() == sheet.rows.size())
        return;
    shown.title = sheet.title;
    shown.rows = sheet.rows;
    shown.item->setText(0, sheet.title);
    shown.item->setToolTip(0, sheet.title);
    shown.item->setData(0, CountRole, rowCountText(sheet.filledRowCount()));
}

void MacSidebar::updateInPlace()
{
    const LibrarySnapshot& snapshot = m_store.snapshot();
    // Looked up by identifier, the first of each as the library's own lookups find it.
    QHash<QUuid, const DayRecord*> days;
    days.reserve(snapshot.days.size());
    for (const DayRecord& day : snapshot.days)
        if (!days.contains(day.id)) days.insert(day.id, &day);
    for (int d = 0; d < m_tree->topLevelItemCount(); ++d) {
        QTreeWidgetItem* dayItem = m_tree->topLevelItem(d);
        if (const DayRecord* day = days.value(dayItem->data(0, IDRole).toUuid())) {
            dayItem->setText(0, day->name);
            dayItem->setToolTip(0, day->name);
        }
    }
    // Each spreadsheet to its row, backwards: an identifier held twice shows its first record.
    for (qsizetype i = snapshot.spreadsheets.size() - 1; i >= 0; --i) {
        const SpreadsheetRecord& sheet = snapshot.spreadsheets[i];
        if (const auto shown = m_shown.find(sheet.id); shown != m_shown.end()) showSheet(*shown, sheet);
    }
}

void MacSidebar::rebuild(const QList<QUuid>& structure)
{
    const std::optional<QUuid> previousDay = selectedDayID(), previousSheet = selectedSpreadsheetID();
    // Where the selection stood, so that a deleted spreadsheet or day gives way to its neighbour.
    int sheetPlace = 0, dayPlace = 0;
    if (QTreeWidgetItem* item = previousSheet ? itemFor(*previousSheet) : nullptr; item && item->parent())
        sheetPlace = item->parent()->indexOfChild(item);
    if (QTreeWidgetItem* item = previousDay ? itemFor(*previousDay) : nullptr) dayPlace = m_tree->indexOfTopLevelItem(item);
    m_rebuilding = true;
    m_tree->clear();
    m_shown.clear();
    const LibrarySnapshot& snapshot = m_store.snapshot();
    const QList<DayRecord> days = snapshot.sortedDays();
    for (const ShownDay& shown : shownDays(snapshot, days)) {
        const DayRecord& day = *shown.day;
        auto* dayItem = new QTreeWidgetItem(m_tree, QStringList{day.name});
        dayItem->setToolTip(0, day.name);
        dayItem->setData(0, KindRole, DayKind);
        dayItem->setData(0, IDRole, day.id);
        for (const SpreadsheetRecord* sheet : shown.sheets) {
            auto* item = new QTreeWidgetItem(dayItem, QStringList{sheet->title});
            item->setData(0, KindRole, SpreadsheetKind);
            item->setData(0, IDRole, sheet->id);
            item->setToolTip(0, sheet->title);
            item->setData(0, CountRole, rowCountText(sheet->filledRowCount()));
            item->setData(0, DoneRole, isDone(sheet->id));
            m_shown.insert(sheet->id, {item, sheet->title, sheet->rows});
        }
        if (shown.sheets.isEmpty()) {
            auto* placeholder = new QTreeWidgetItem(dayItem);
            placeholder->setData(0, KindRole, EmptyDayKind);
            placeholder->setData(0, IDRole, day.id);
            placeholder->setFlags(Qt::ItemIsEnabled);
            QWidget* row = emptyDayRow(day.id, day.name);
            placeholder->setSizeHint(0, row->sizeHint());
            m_tree->setItemWidget(placeholder, 0, row);
        }
    }
    m_tree->expandAll();
    m_structure = structure;
    // A deleted spreadsheet gives way to the one now in its place in its day, a deleted day to
    // the first spreadsheet of the day now in its place: the pane keeps showing the notes.
    std::optional<QUuid> day = previousDay, sheet = previousSheet;
    const auto childAt = [](QTreeWidgetItem* parent, int place) -> QTreeWidgetItem* {
        const int count = parent->childCount();
        return count > 0 ? parent->child(std::clamp(place, 0, count - 1)) : nullptr;
    };
    if (previousDay && !itemFor(*previousDay) && m_tree->topLevelItemCount() > 0) {
        QTreeWidgetItem* neighbour = m_tree->topLevelItem(std::clamp(dayPlace, 0, m_tree->topLevelItemCount() - 1));
        day = neighbour->data(0, IDRole).toUuid();
        sheet = std::nullopt;
        sheetPlace = 0;
    }
    if ((!sheet || !itemFor(*sheet)) && (previousSheet || day != previousDay) && day)
        if (QTreeWidgetItem* dayItem = itemFor(*day))
            if (QTreeWidgetItem* neighbour = childAt(dayItem, sheetPlace); neighbour && neighbour->data(0, KindRole).toInt() == SpreadsheetKind)
                sheet = neighbour->data(0, IDRole).toUuid();
    select(day, sheet);
    m_rebuilding = false;
    noteSelection();
}

void MacSidebar::noteSelection()
{
    if (m_rebuilding) return;
    const std::optional<QUuid> day = selectedDayID(), sheet = selectedSpreadsheetID();
    if (day == m_notedDay && sheet == m_notedSpreadsheet) return;
    m_notedDay = day;
    m_notedSpreadsheet = sheet;
    Q_EMIT selectionChanged();
}

} // namespace tavrin
