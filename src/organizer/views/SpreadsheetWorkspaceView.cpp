#include "organizer/views/SpreadsheetWorkspaceView.h"
#include "organizer/views/RoundProposalView.h"

#include "library/views/RowsTableModel.h"
#include "library/views/SpreadsheetPane.h"
#include "organizer/OrganizerHistoryPanel.h"
#include "organizer/SpreadsheetWorkspaceModel.h"
#include "organizer/views/OrganizerDialogs.h"
#include "organizer/views/OrganizerHistoryView.h"
#include "ui/CapsuleButton.h"
#include "ui/LinkedLabelValue.h"
#include "ui/Symbols.h"
#include "ui/Theme.h"
#include "ui/UndoBanner.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QPointer>
#include <QProgressBar>
#include <QVBoxLayout>

namespace tavrin {

namespace {

QColor toneColour(StatusMark::Tone tone)
{
    const bool dark = Theme::isDark();
    switch (tone) {
    case StatusMark::Tone::red: return Theme::red(dark);
    case StatusMark::Tone::orange: return Theme::orange(dark);
    case StatusMark::Tone::green: return Theme::green(dark);
    }
    return {};
}

// The row's marks side by side in one picture (a pixmap keeps its own size in the table, where an
// icon would be shrunk to the view's icon size); each set is drawn once per appearance.
QPixmap marksPixmap(const QList<StatusMark>& marks)
{
    static QHash<QString, QPixmap> cache;
    QString key = Theme::isDark() ? QStringLiteral("d") : QStringLiteral("l");
    for (const StatusMark& mark : marks) key += mark.symbol;
    if (const auto it = cache.constFind(key); it != cache.constEnd()) return *it;
    constexpr int size = 16, gap = 4;
    QPixmap pixmap(int(marks.size()) * (size + gap) - gap, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    int x = 0;
    for (const StatusMark& mark : marks) {
        Symbols::icon(mark.symbol, toneColour(mark.tone)).paint(&painter, QRect(x, 0, size, size));
        x += size + gap;
    }
    painter.end();
    return *cache.insert(key, pixmap);
}

QLabel* secondaryLabel(QWidget* parent, const QString& objectName)
{
    auto* label = new QLabel(parent);
    label->setObjectName(objectName);
    label->setForegroundRole(QPalette::PlaceholderText);
    label->setTextFormat(Qt::PlainText);
    return label;
}

} // namespace

SpreadsheetWorkspaceView::SpreadsheetWorkspaceView(LibraryStore& library, WorkspaceStore& workspace, SpreadsheetPane* pane)
    : QWidget(pane), m_pane(pane), m_model(new SpreadsheetWorkspaceModel(library, workspace, this)),
      m_historyPanel(new OrganizerHistoryPanel(workspace, library, this)), m_historyView(new OrganizerHistoryView(m_historyPanel, pane)),
      m_programmeButton(new CapsuleButton(CapsuleKind::glass, this)),
      m_dayMenu(new CapsuleMenu(CapsuleKind::glass, QStringLiteral("Jour"), QStringLiteral("calendar"), this)),
      m_eventMenu(new CapsuleMenu(CapsuleKind::glass, QStringLiteral("Épreuve"), QString(), this)),
      m_source(new LinkedLabelValue(QStringLiteral("Photos :"), this)),
      m_sourceButton(new CapsuleButton(CapsuleKind::glass, QStringLiteral("Dossier des photos…"), QStringLiteral("folder"), this)),
      m_destination(new LinkedLabelValue(QStringLiteral("Destination :"), this)),
      m_destinationButton(new CapsuleButton(CapsuleKind::glass, QStringLiteral("Dossier de destination…"), QStringLiteral("folder"), this)),
      m_summary(secondaryLabel(this, QStringLiteral("summaryLine"))), m_issues(secondaryLabel(this, QStringLiteral("issueHelp"))),
      m_error(new QLabel(this)), m_report(new QLabel(this)),
      m_runButton(new CapsuleButton(CapsuleKind::prominent, QStringLiteral("Organiser les photos"), QString(), this)),
      m_progressRow(new QWidget(this)), m_progress(new QProgressBar(m_progressRow)), m_progressRider(new QLabel(m_progressRow)),
      m_cancelButton(new CapsuleButton(CapsuleKind::glass, QStringLiteral("Annuler"), QString(), m_progressRow)),
      m_followButton(new CapsuleButton(CapsuleKind::glass, QStringLiteral("Suivre l’arrivée des photos"), QString(), this)),
      m_followStatus(secondaryLabel(this, QStringLiteral("followStatus"))), m_programmeBanner(new UndoBanner(this))
{
    m_programmeBanner->setObjectName(QStringLiteral("programmeBanner"));
    m_model->openFolder = OrganizerDialogs::openFolder;
    for (CapsuleButton* button : {static_cast<CapsuleButton*>(m_dayMenu), static_cast<CapsuleButton*>(m_eventMenu)})
        button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    m_programmeButton->setObjectName(QStringLiteral("programmeButton"));
    m_dayMenu->setObjectName(QStringLiteral("dayMenu"));
    m_eventMenu->setObjectName(QStringLiteral("eventMenu"));
    m_runButton->setObjectName(QStringLiteral("runButton"));
    m_cancelButton->setObjectName(QStringLiteral("cancelButton"));
    m_followButton->setObjectName(QStringLiteral("followButton"));
    m_followButton->setCheckable(true);
    m_followStatus->setVisible(false);
    m_followClock.setInterval(1000);
    m_error->setObjectName(QStringLiteral("workspaceError"));
    m_error->setWordWrap(true);
    m_error->setTextFormat(Qt::PlainText);
    m_report->setObjectName(QStringLiteral("runReport"));
    m_report->setTextFormat(Qt::PlainText);
    // On a laptop the summary runs out of room beside the menus: it wraps rather than being cut.
    m_summary->setWordWrap(true);
    m_summary->setMinimumWidth(180);
    m_issues->setWordWrap(true);
    m_progress->setFormat(QStringLiteral("%v / %m"));
    m_progress->setMinimumWidth(220);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(Theme::largeSpacing + 4, 0, Theme::largeSpacing, Theme::spacing);
    layout->setSpacing(Theme::smallSpacing + 2);

    auto* choices = new QHBoxLayout;
    choices->setSpacing(Theme::spacing);
    choices->addWidget(m_programmeButton);
    choices->addWidget(m_dayMenu);
    choices->addWidget(m_eventMenu);
    choices->addSpacing(Theme::spacing);
    choices->addWidget(m_summary, 1);
    layout->addLayout(choices);

    auto* folders = new QHBoxLayout;
    folders->setSpacing(Theme::spacing);
    folders->addWidget(m_sourceButton);
    folders->addWidget(m_source, 1);
    folders->addWidget(m_destinationButton);
    folders->addWidget(m_destination, 1);
    layout->addLayout(folders);

    auto* run = new QHBoxLayout;
    run->setSpacing(Theme::spacing);
    run->addWidget(m_issues, 3);
    run->addWidget(m_report, 1);
    run->addWidget(m_followStatus);
    run->addWidget(m_followButton);
    run->addWidget(m_runButton);
    layout->addLayout(run);

    auto* progress = new QHBoxLayout(m_progressRow);
    progress->setContentsMargins(0, 0, 0, 0);
    progress->addWidget(m_progress);
    progress->addWidget(m_progressRider, 1);
    progress->addWidget(m_cancelButton);
    layout->addWidget(m_progressRow);
    layout->addWidget(m_error);
    layout->addWidget(m_programmeBanner);

    pane->aboveTable()->addWidget(this);
    pane->aboveTable()->addWidget(new RoundProposalView(library, workspace, pane));
    pane->belowTable()->addWidget(m_historyView);
    addColumns();

    connect(m_programmeButton, &QAbstractButton::clicked, this, &SpreadsheetWorkspaceView::importProgramme);
    connect(m_sourceButton, &QAbstractButton::clicked, this, [this] { chooseFolder(WorkspaceStore::FolderKind::source); });
    connect(m_destinationButton, &QAbstractButton::clicked, this, [this] { chooseFolder(WorkspaceStore::FolderKind::destination); });
    connect(m_runButton, &QAbstractButton::clicked, m_model, &SpreadsheetWorkspaceModel::runOrganizer);
    connect(m_cancelButton, &QAbstractButton::clicked, m_model, &SpreadsheetWorkspaceModel::cancelRun);
    connect(m_followButton, &QAbstractButton::clicked, this, [this](bool on) {
        if (on) m_model->startFollowing();
        else m_model->stopFollowing();
        updateFollowState();
    });
    connect(m_model, &SpreadsheetWorkspaceModel::followChanged, this, &SpreadsheetWorkspaceView::updateFollowState);
    connect(m_model, &SpreadsheetWorkspaceModel::replaceQuestionAsked, this, [this] {
        if (!m_model->replaceQuestion()) return;
        OrganizerDialogs::askReplaceProgramme(window(), *m_model->replaceQuestion(), [model = QPointer(m_model)](bool replace) {
            if (model) model->answerReplaceQuestion(replace);
        });
    });
    connect(m_model, &SpreadsheetWorkspaceModel::replacementBannerChanged, this,
            [this] { m_programmeBanner->showText(m_model->replacementBanner()); });
    connect(m_programmeBanner, &UndoBanner::undoRequested, m_model, &SpreadsheetWorkspaceModel::undoProgrammeReplacement);
    connect(&m_followClock, &QTimer::timeout, this, [this] { m_followStatus->setText(m_model->followStatus()); });
    connect(m_model, &SpreadsheetWorkspaceModel::stateChanged, this, &SpreadsheetWorkspaceView::updateChoices);
    connect(m_model, &SpreadsheetWorkspaceModel::previewsChanged, this, &SpreadsheetWorkspaceView::updateRunState);
    connect(m_model, &SpreadsheetWorkspaceModel::runProgress, this, &SpreadsheetWorkspaceView::showProgress);
    // Only the rows whose names, photos or marks changed are repainted.
    connect(m_model, &SpreadsheetWorkspaceModel::previewsChanged, this, [this] {
        m_pane->model()->refreshRows(m_model->changedPreviews(), m_lastNameColumn, m_statusColumn);
    });
    // The table says when the pane shows another spreadsheet.
    connect(pane->model(), &QAbstractItemModel::modelReset, this, [this] { m_model->setSpreadsheet(m_pane->spreadsheetID()); });
    m_model->setSpreadsheet(pane->spreadsheetID());
    updateChoices();
}

void SpreadsheetWorkspaceView::addColumns()
{
    RowsTableModel* rows = m_pane->model();
    const auto nameColumn = [this](const QString& title, bool last) {
        return RowsTableModel::Column{
            title,
            [this, last](const RowRecord& row, int role) -> QVariant {
                if (role != Qt::DisplayRole && role != Qt::EditRole) return {};
                const PreviewRow* preview = m_model->preview(row.id);
                if (!preview) return QString();
                return last ? preview->lastName : preview->firstName;
            },
            [this, last](const RowRecord& row, const QString& text) {
                if (last) m_model->setManualName(row.id, text, std::nullopt);
                else m_model->setManualName(row.id, std::nullopt, text);
            },
            150,
        };
    };
    m_lastNameColumn = rows->appendColumn(nameColumn(QStringLiteral("Nom"), true));
    m_firstNameColumn = rows->appendColumn(nameColumn(QStringLiteral("Prénom"), false));
    m_photosColumn = rows->appendColumn({QStringLiteral("Photos"),
                                         [this](const RowRecord& row, int role) -> QVariant {
                                             const PreviewRow* preview = m_model->preview(row.id);
                                             if (!preview) return {};
                                             if (role == Qt::DisplayRole) return preview->photos;
                                             if (role == Qt::ForegroundRole && preview->photos == u"—")
                                                 return QApplication::palette().brush(QPalette::PlaceholderText);
                                             return {};
                                         },
                                         {},
                                         230});
    m_statusColumn = rows->appendColumn({QStringLiteral("État"),
                                         [this](const RowRecord& row, int role) -> QVariant {
                                             const PreviewRow* preview = m_model->preview(row.id);
                                             if (!preview) return {};
                                             const QList<StatusMark> marks = statusMarks(*preview);
                                             if (marks.isEmpty()) return {};
                                             if (role == Qt::DecorationRole) return marksPixmap(marks);
                                             if (role == Qt::ToolTipRole || role == Qt::AccessibleTextRole) {
                                                 QStringList texts;
                                                 for (const StatusMark& mark : marks) texts.push_back(mark.text);
                                                 return texts.join(u'\n');
                                             }
                                             return {};
                                         },
                                         {},
                                         70});
}

void SpreadsheetWorkspaceView::importProgramme()
{
    OrganizerDialogs::chooseProgrammeFile(window(), [model = QPointer(m_model)](const QString& path) {
        if (model) model->importProgramme(path);
    });
}

void SpreadsheetWorkspaceView::chooseFolder(WorkspaceStore::FolderKind kind)
{
    const QString title = kind == WorkspaceStore::FolderKind::source ? QStringLiteral("Dossier des photos")
                                                                     : QStringLiteral("Dossier de destination");
    OrganizerDialogs::chooseFolder(window(), title, [model = QPointer(m_model), kind](const QString& path) {
        if (model) model->importFolder(kind, path);
    });
}

void SpreadsheetWorkspaceView::updateChoices()
{
    WorkspaceStore& workspace = m_model->workspace();
    const SpreadsheetMacSettings s = m_model->settings();
    m_programmeButton->setText(workspace.programmeName() ? *workspace.programmeName() : QStringLiteral("Importer le programme…"));
    m_programmeButton->setToolTip(QStringLiteral("Importer le programme…"));

    QMenu* days = m_dayMenu->menu();
    days->clear();
    if (workspace.programme())
        for (const ProgrammeDay& day : workspace.programme()->days) {
            QAction* action = days->addAction(day.name);
            action->setCheckable(true);
            action->setChecked(s.selectedDayName == day.name);
            connect(action, &QAction::triggered, this, [this, name = day.name] { m_model->selectDay(name); });
        }
    m_dayMenu->setText(s.selectedDayName.value_or(QStringLiteral("Jour")));
    m_dayMenu->setEnabled(!days->isEmpty());

    QMenu* events = m_eventMenu->menu();
    events->clear();
    for (const ProgrammeEvent& event : workspace.events(s.selectedDayName)) {
        QAction* action = events->addAction(event.title);
        action->setCheckable(true);
        action->setChecked(s.selectedEventID == event.id);
        connect(action, &QAction::triggered, this, [this, id = event.id] { m_model->selectEvent(id); });
    }
    const std::optional<QString> eventTitle = m_model->selectedEventTitle();
    m_eventMenu->setText(eventTitle && !eventTitle->isEmpty() ? *eventTitle : QStringLiteral("Épreuve"));
    m_eventMenu->setEnabled(!events->isEmpty());

    m_source->setValue(s.sourceName.value_or(QStringLiteral("—")));
    m_destination->setValue(s.destinationName.value_or(QStringLiteral("—")));
    // A reading error first; else what is wrong with the photos' folder.
    const QString error = m_model->parseError().value_or(m_model->sourceProblem().value_or(QString()));
    m_error->setText(error);
    m_error->setVisible(!error.isEmpty());
    const std::optional<OrganizerReport>& report = m_model->lastReport();
    m_report->setText(report ? report->defaultHeadline() : QString());
    updateRunState();
}

void SpreadsheetWorkspaceView::updateRunState()
{
    const QList<PreviewRow>& rows = m_model->previews();
    m_summary->setText(m_model->summaryLine(rows));
    const int issues = SpreadsheetWorkspaceModel::issueCount(rows);
    m_issues->setText(issues > 0 ? SpreadsheetWorkspaceModel::issueHelp(rows) : QString());
    m_issues->setVisible(issues > 0);

    const bool running = m_model->isRunning();
    const std::optional<QString> blocker = m_model->runBlocker();
    m_runButton->setEnabled(!blocker);
    m_runButton->setToolTip(blocker.value_or(QString()));
    updateFollowState();
    // Nothing the run or the following depends on changes while they go.
    const bool busy = running || m_model->isFollowing();
    for (QWidget* choice : std::initializer_list<QWidget*>{m_programmeButton, m_sourceButton, m_destinationButton})
        choice->setEnabled(!busy);
    if (busy) {
        m_dayMenu->setEnabled(false);
        m_eventMenu->setEnabled(false);
    }
    if (running && !m_progressRow->isVisible()) {
        m_progress->setRange(0, 0);
        m_progressRider->clear();
    }
    m_progressRow->setVisible(running);
}

void SpreadsheetWorkspaceView::updateFollowState()
{
    const bool following = m_model->isFollowing();
    const std::optional<QString> blocker = m_model->followBlocker();
    m_followButton->setChecked(following);
    m_followButton->setText(following ? QStringLiteral("Arrêter le suivi") : QStringLiteral("Suivre l’arrivée des photos"));
    m_followButton->setEnabled(following || !blocker);
    m_followButton->setToolTip(following ? QStringLiteral("Arrêter le suivi : la dernière série est copiée et l’historique complété.")
                                         : blocker.value_or(QString()));
    m_followStatus->setText(m_model->followStatus());
    m_followStatus->setVisible(following);
    if (following && !m_followClock.isActive()) m_followClock.start();
    else if (!following) m_followClock.stop();
}

void SpreadsheetWorkspaceView::showProgress(qint64 done, qint64 total, const QString& rider)
{
    m_progress->setRange(0, int(total));
    m_progress->setValue(int(done));
    m_progressRider->setText(rider);
}

} // namespace tavrin
