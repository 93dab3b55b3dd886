#include "library/views/SpreadsheetPane.h"

#include "library/LibraryStore.h"
#include "library/views/MacSidebar.h"
#include "library/views/RowsTableModel.h"
#include "library/views/RowsTableView.h"
#include "ui/CapsuleButton.h"
#include "ui/Theme.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace tavrin {

SpreadsheetPane::SpreadsheetPane(LibraryStore& store, QWidget* parent)
    : QWidget(parent), m_store(store), m_model(new RowsTableModel(store, this)), m_table(new RowsTableView(m_model, this)),
      m_title(new QLabel(this)), m_subtitle(new QLabel(this)), m_above(new QVBoxLayout), m_below(new QVBoxLayout)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    auto* header = new QHBoxLayout;
    header->setContentsMargins(Theme::largeSpacing + 4, Theme::spacing + 4, Theme::largeSpacing, Theme::spacing + 4);
    auto* titles = new QVBoxLayout;
    titles->setSpacing(2);
    QFont titleFont = m_title->font();
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.3);
    titleFont.setWeight(QFont::DemiBold);
    m_title->setFont(titleFont);
    m_title->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_subtitle->setForegroundRole(QPalette::PlaceholderText);
    titles->addWidget(m_title);
    titles->addWidget(m_subtitle);
    header->addLayout(titles, 1);
    auto* addRow = new CapsuleButton(CapsuleKind::glass, this);
    addRow->setDefaultAction(m_table->addRowAction());
    header->addWidget(addRow, 0, Qt::AlignVCenter);
    layout->addLayout(header);

    m_above->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(m_above);
    auto* rule = new QFrame(this);
    rule->setFrameShape(QFrame::HLine);
    rule->setForegroundRole(QPalette::Midlight);
    layout->addWidget(rule);
    layout->addWidget(m_table, 1);
    m_below->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(m_below);

    connect(&m_store, &LibraryStore::snapshotChanged, this, [this](const QUuid& id) {
        if (id.isNull() || id == spreadsheetID()) updateHeader();
    });
}

void SpreadsheetPane::setSpreadsheet(const std::optional<QUuid>& spreadsheetID)
{
    if (spreadsheetID == m_model->spreadsheetID()) return;
    // A file opened meanwhile may change the spreadsheet shown while a cell is being typed.
    m_table->commitEditor();
    m_model->setSpreadsheet(spreadsheetID);
    updateHeader();
}

std::optional<QUuid> SpreadsheetPane::spreadsheetID() const { return m_model->spreadsheetID(); }

void SpreadsheetPane::updateHeader()
{
    const std::optional<QUuid> id = spreadsheetID();
    const std::optional<SpreadsheetRecord> sheet = id ? m_store.snapshot().spreadsheet(*id) : std::nullopt;
    if (!sheet) {
        m_title->clear();
        m_subtitle->clear();
        return;
    }
    m_title->setText(sheet->title);
    const std::optional<DayRecord> day = m_store.snapshot().day(sheet->dayID);
    const QString count = MacSidebar::rowCountText(sheet->filledRowCount());
    m_subtitle->setText(day ? day->name + QStringLiteral(" · ") + count : count);
}

} // namespace tavrin
