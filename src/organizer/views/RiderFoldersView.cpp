#include "organizer/views/RiderFoldersView.h"

#include "organizer/RiderFoldersModel.h"
#include "organizer/views/OrganizerDialogs.h"
#include "ui/CapsuleButton.h"
#include "ui/LinkedLabelValue.h"
#include "ui/Theme.h"
#include "ui/UndoBanner.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPointer>
#include <QShortcut>
#include <QVBoxLayout>

namespace tavrin {

RiderFoldersView::RiderFoldersView(RiderFoldersStore& store, QWidget* parent)
    : QWidget(parent), m_model(new RiderFoldersModel(store, this)),
      m_programmeButton(new CapsuleButton(CapsuleKind::glass, QStringLiteral("Importer le programme…"), QString(), this)),
      m_programme(new LinkedLabelValue(QStringLiteral("Programme :"), this)),
      m_destinationButton(new CapsuleButton(CapsuleKind::glass, QStringLiteral("Dossier de destination…"), QStringLiteral("folder"), this)),
      m_destination(new LinkedLabelValue(QStringLiteral("Destination :"), this)), m_summary(new QLabel(this)),
      m_riders(new QListWidget(this)),
      m_createButton(new CapsuleButton(CapsuleKind::prominent, QStringLiteral("Créer les dossiers"), QString(), this)),
      m_error(new QLabel(this)), m_report(new QLabel(this)), m_programmeBanner(new UndoBanner(this)),
      m_undoShortcut(new QShortcut(QKeySequence::Undo, this))
{
    m_programmeBanner->setObjectName(QStringLiteral("riderProgrammeBanner"));
    // Ctrl+Z takes back a programme just replaced, as the banner's « Annuler » does.
    m_undoShortcut->setContext(Qt::WidgetWithChildrenShortcut);
    m_undoShortcut->setEnabled(false);
    setObjectName(QStringLiteral("riderFolders"));
    m_model->openFolder = OrganizerDialogs::openFolder;
    m_programmeButton->setObjectName(QStringLiteral("riderProgrammeButton"));
    m_destinationButton->setObjectName(QStringLiteral("riderDestinationButton"));
    m_createButton->setObjectName(QStringLiteral("createRiderFolders"));
    m_summary->setObjectName(QStringLiteral("riderSummary"));
    m_summary->setForegroundRole(QPalette::PlaceholderText);
    m_riders->setSelectionMode(QAbstractItemView::NoSelection);
    m_riders->setFocusPolicy(Qt::NoFocus);
    m_riders->setSpacing(2);
    m_riders->setAlternatingRowColors(true);
    for (QLabel* label : {m_summary, m_error, m_report}) {
        label->setTextFormat(Qt::PlainText);
        label->setWordWrap(true);
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    }

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(Theme::largeSpacing * 2, Theme::largeSpacing, Theme::largeSpacing * 2, Theme::largeSpacing);
    layout->setSpacing(Theme::spacing);
    auto* title = new QLabel(QStringLiteral("Dossiers des cavaliers"), this);
    QFont titleFont = title->font();
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.3);
    titleFont.setWeight(QFont::DemiBold);
    title->setFont(titleFont);
    layout->addWidget(title);

    auto* programme = new QHBoxLayout;
    programme->addWidget(m_programmeButton);
    programme->addWidget(m_programme, 1);
    layout->addLayout(programme);
    auto* destination = new QHBoxLayout;
    destination->addWidget(m_destinationButton);
    destination->addWidget(m_destination, 1);
    layout->addLayout(destination);
    layout->addWidget(m_summary);
    layout->addWidget(m_riders, 1);
    auto* create = new QHBoxLayout;
    create->addWidget(m_report, 1);
    create->addWidget(m_createButton, 0, Qt::AlignTop);
    layout->addLayout(create);
    layout->addWidget(m_error);
    layout->addWidget(m_programmeBanner);

    connect(m_programmeButton, &QAbstractButton::clicked, this, &RiderFoldersView::importProgramme);
    connect(m_destinationButton, &QAbstractButton::clicked, this, [this] {
        OrganizerDialogs::chooseFolder(window(), QStringLiteral("Dossier de destination"),
                                       [model = QPointer(m_model)](const QString& path) {
                                           if (model) model->chooseDestination(path);
                                       });
    });
    connect(m_createButton, &QAbstractButton::clicked, m_model, &RiderFoldersModel::create);
    connect(m_model, &RiderFoldersModel::changed, this, &RiderFoldersView::update);
    connect(m_model, &RiderFoldersModel::replaceQuestionAsked, this, [this] {
        if (!m_model->replaceQuestion()) return;
        OrganizerDialogs::askReplaceProgramme(window(), *m_model->replaceQuestion(), [model = QPointer(m_model)](bool replace) {
            if (model) model->answerReplaceQuestion(replace);
        });
    });
    connect(m_programmeBanner, &UndoBanner::undoRequested, m_model, &RiderFoldersModel::undoProgrammeReplacement);
    connect(m_undoShortcut, &QShortcut::activated, m_model, &RiderFoldersModel::undoProgrammeReplacement);
    update();
}

void RiderFoldersView::importProgramme()
{
    OrganizerDialogs::chooseProgrammeFile(window(), [model = QPointer(m_model)](const QString& path) {
        if (model) model->importProgramme(path);
    });
}

void RiderFoldersView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    // The destination may have come back (a disk plugged in) since the last look.
    update();
}

void RiderFoldersView::update()
{
    RiderFoldersStore& store = m_model->store();
    m_programme->setValue(store.programmeName().value_or(QStringLiteral("—")));
    m_programmeBanner->showText(m_model->replacementBanner());
    m_undoShortcut->setEnabled(m_model->replacementBanner().has_value());
    m_destination->setValue(store.destinationName().value_or(QStringLiteral("—")));
    m_summary->setText(m_model->summaryLine());
    m_riders->clear();
    for (const ImportedPerson& person : m_model->namedPeople()) {
        auto* item = new QListWidgetItem(person.formattedName(), m_riders);
        item->setToolTip(QStringLiteral("N° ") + person.canonicalNumber);
    }
    m_createButton->setEnabled(m_model->canCreate() && !m_model->isRunning());
    m_error->setText(m_model->errorText().value_or(QString()));
    m_error->setVisible(bool(m_model->errorText()));
    const std::optional<OrganizerReport>& report = m_model->report();
    // When folders were made, the first line counts them: the headline would say it twice.
    QStringList lines = report ? report->messages : QStringList();
    if (report && report->folders == 0) lines.prepend(report->defaultHeadline());
    m_report->setText(lines.join(u'\n'));
}

} // namespace tavrin
