#include "organizer/views/RoundProposalView.h"

#include "library/views/RowsTableModel.h"
#include "library/views/SpreadsheetPane.h"
#include "organizer/WorkspaceStore.h"
#include "rounds/RoundProposalModel.h"
#include "ui/CapsuleButton.h"
#include "ui/Theme.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QTableWidget>
#include <QVBoxLayout>

namespace tavrin {
namespace {

QTableWidgetItem* cell(const QString& text, bool editable = false)
{
    auto* item = new QTableWidgetItem(text);
    item->setFlags(editable ? Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable : Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    // Proposals are not rows yet: they read apart from the typed ones.
    QFont font = item->font();
    font.setItalic(true);
    item->setFont(font);
    return item;
}

QString photosText(const ProposedRow& row)
{
    return QString::number(row.photoCount) + (row.photoCount > 1 ? QStringLiteral(" photos · ") : QStringLiteral(" photo · ")) +
           row.firstCapture.toLocalTime().toString(QStringLiteral("HH:mm:ss"));
}

} // namespace

RoundProposalView::RoundProposalView(LibraryStore& library, WorkspaceStore& workspace, SpreadsheetPane* pane)
    : QWidget(pane), m_pane(pane), m_model(new RoundProposalModel(library, workspace, this)),
      m_proposeButton(new CapsuleButton(CapsuleKind::glass, QStringLiteral("Proposer les lignes"), QString(), this)),
      m_summary(new QLabel(this)), m_panel(new QWidget(this)), m_table(new QTableWidget(0, columnCount, m_panel)),
      m_acceptButton(new CapsuleButton(CapsuleKind::prominent, QStringLiteral("Accepter les propositions"), QString(), m_panel)),
      m_ignoreButton(new CapsuleButton(CapsuleKind::glass, QStringLiteral("Ignorer"), QString(), m_panel))
{
    setObjectName(QStringLiteral("roundProposals"));
    m_proposeButton->setObjectName(QStringLiteral("proposeButton"));
    m_acceptButton->setObjectName(QStringLiteral("acceptProposalsButton"));
    m_summary->setTextFormat(Qt::PlainText);
    m_summary->setForegroundRole(QPalette::PlaceholderText);
    m_table->setHorizontalHeaderLabels({QStringLiteral("N° photo"), QStringLiteral("N° attribué"), QStringLiteral("Cavalier"),
                                        QStringLiteral("Photos"), QStringLiteral("État")});
    m_table->verticalHeader()->hide();
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_table->setColumnWidth(riderColumn, 220);
    m_table->setColumnWidth(photosColumn, 150);
    // Room for a few rows without pushing the typed rows off a laptop screen.
    m_table->setMaximumHeight(230);
    m_table->setEditTriggers(QAbstractItemView::AllEditTriggers);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(Theme::largeSpacing + 4, 0, Theme::largeSpacing, 0);
    layout->setSpacing(Theme::smallSpacing);
    auto* top = new QHBoxLayout;
    top->addWidget(m_proposeButton);
    top->addWidget(m_summary, 1);
    layout->addLayout(top);
    auto* panel = new QVBoxLayout(m_panel);
    panel->setContentsMargins(0, 0, 0, 0);
    panel->addWidget(m_table);
    auto* actions = new QHBoxLayout;
    actions->addStretch(1);
    actions->addWidget(m_ignoreButton);
    actions->addWidget(m_acceptButton);
    panel->addLayout(actions);
    layout->addWidget(m_panel);
    m_panel->hide();

    connect(m_proposeButton, &QAbstractButton::clicked, m_model, &RoundProposalModel::propose);
    connect(m_acceptButton, &QAbstractButton::clicked, m_model, &RoundProposalModel::accept);
    connect(m_ignoreButton, &QAbstractButton::clicked, m_model, &RoundProposalModel::ignore);
    // Queued: an answer ticked in the table rebuilds the table that holds its box.
    connect(m_model, &RoundProposalModel::changed, this, &RoundProposalView::rebuild, Qt::QueuedConnection);
    connect(m_table->itemDelegate(), &QAbstractItemDelegate::closeEditor, this, [this] {
        if (m_rebuildPending) rebuild();
    }, Qt::QueuedConnection);
    connect(m_table, &QTableWidget::itemChanged, this, [this](QTableWidgetItem* item) {
        if (m_filling || item->column() != numberColumn) return;
        m_model->setNumber(item->data(Qt::UserRole).toLongLong(), item->text());
    });
    connect(&workspace, &WorkspaceStore::settingsChanged, this, &RoundProposalView::updateEnabled);
    connect(&workspace, &StoredProgramme::programmeChanged, this, &RoundProposalView::updateEnabled);
    connect(pane->model(), &QAbstractItemModel::modelReset, this, [this] {
        m_model->setSpreadsheet(m_pane->spreadsheetID());
        updateEnabled();
    });
    m_model->setSpreadsheet(pane->spreadsheetID());
    updateEnabled();
}

void RoundProposalView::updateEnabled()
{
    m_proposeButton->setEnabled(m_model->canPropose());
}

QWidget* RoundProposalView::absenceQuestion(int questionIndex)
{
    const RoundProposal::Result& result = m_model->result();
    const RoundProposal::Question& question = result.questions[questionIndex];
    auto* box = new QWidget;
    auto* layout = new QVBoxLayout(box);
    layout->setContentsMargins(Theme::spacing, Theme::smallSpacing, Theme::spacing, Theme::smallSpacing);
    const qsizetype first = question.rows.first(), last = question.rows.last();
    auto* ask = new QLabel((question.jumpOff ? QStringLiteral("Lequel de ces cavaliers n’a pas couru le barrage entre les photos ")
                                             : QStringLiteral("Lequel de ces cavaliers n’a pas couru entre les photos ")) +
                           result.rows[first].photoNumber + QStringLiteral(" et ") + result.rows[last].photoNumber + QStringLiteral(" ?"));
    ask->setTextFormat(Qt::PlainText);
    layout->addWidget(ask);
    for (const QString& number : question.riders) {
        auto* line = new QHBoxLayout;
        auto* name = new QLabel(number + QStringLiteral(" · ") + m_model->riderName(number));
        name->setTextFormat(Qt::PlainText);
        auto* tick = new QCheckBox(QStringLiteral("N’a pas couru"));
        tick->setObjectName(QStringLiteral("absent-") + number);
        const bool jumpOff = question.jumpOff;
        tick->setChecked(m_model->isAbsent(number, jumpOff));
        connect(tick, &QCheckBox::toggled, this, [this, number, jumpOff](bool on) { m_model->setAbsent(number, on, jumpOff); });
        line->addWidget(name, 1);
        line->addWidget(tick);
        layout->addLayout(line);
    }
    return box;
}

void RoundProposalView::rebuild()
{
    // A number being typed on a doubtful row keeps its editor: the table is rebuilt once it closes.
    const QList<QLineEdit*> editors = m_table->viewport()->findChildren<QLineEdit*>(Qt::FindDirectChildrenOnly);
    if (std::any_of(editors.begin(), editors.end(), [](const QLineEdit* editor) { return !editor->isHidden(); })) {
        m_rebuildPending = true;
        return;
    }
    m_rebuildPending = false;
    m_filling = true;
    m_table->clearSpans();
    m_table->setRowCount(0);
    const RoundProposal::Result& result = m_model->result();
    m_panel->setVisible(m_model->hasProposal() && !result.rows.isEmpty());
    if (m_model->message()) m_summary->setText(*m_model->message());
    else if (m_model->hasProposal()) m_summary->setText(RoundProposal::summaryLine(result));
    else m_summary->clear();

    // Stretch questions go right under the stretch's last row.
    QHash<qsizetype, int> questionAfter;
    for (int q = 0; q < result.questions.size(); ++q)
        if (!result.questions[q].moreRoundsThanRiders && !result.questions[q].rows.isEmpty()) questionAfter.insert(result.questions[q].rows.last(), q);
    for (qsizetype i = 0; i < result.rows.size(); ++i) {
        const ProposedRow& row = result.rows[i];
        const int at = m_table->rowCount();
        m_table->insertRow(at);
        m_table->setItem(at, photoColumn, cell(row.photoNumber));
        QTableWidgetItem* number = cell(row.doubtful ? QString() : row.assignedNumber, row.doubtful);
        number->setData(Qt::UserRole, qlonglong(i));
        if (row.doubtful) number->setToolTip(QStringLiteral("Tapez le n° attribué de ce passage"));
        m_table->setItem(at, numberColumn, number);
        m_table->setItem(at, riderColumn, cell(row.assignedNumber.isEmpty() ? QString() : m_model->riderName(row.assignedNumber)));
        m_table->setItem(at, photosColumn, cell(photosText(row)));
        m_table->setItem(at, statusColumn,
                         cell(row.doubtful ? QStringLiteral("Douteuse · ") + QString::number(qRound(row.confidence * 100)) + QStringLiteral(" %")
                                           : QStringLiteral("Proposée")));
        if (row.doubtful) m_table->item(at, riderColumn)->setForeground(palette().brush(QPalette::PlaceholderText));
        if (questionAfter.contains(i)) {
            const int q = m_table->rowCount();
            m_table->insertRow(q);
            m_table->setSpan(q, 0, 1, columnCount);
            QWidget* question = absenceQuestion(questionAfter.value(i));
            m_table->setCellWidget(q, 0, question);
            m_table->setRowHeight(q, question->sizeHint().height());
        }
    }
    const qsizetype acceptable = m_model->acceptableCount();
    m_acceptButton->setEnabled(acceptable > 0);
    m_filling = false;
}

} // namespace tavrin
