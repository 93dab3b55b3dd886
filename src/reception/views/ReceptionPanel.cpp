#include "reception/views/ReceptionPanel.h"

#include "reception/ReceptionController.h"
#include "ui/CapsuleButton.h"
#include "ui/FileDialogs.h"
#include "ui/Theme.h"

#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace tavrin {

namespace {

QLabel* wrappingLabel(QWidget* parent, const QString& name)
{
    auto* label = new QLabel(parent);
    label->setObjectName(name);
    label->setWordWrap(true);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

void chooseFolder(QWidget* parent, const QString& title, const std::function<void(const QString&)>& chosen)
{
    auto* dialog = new QFileDialog(parent, title);
    dialog->setFileMode(QFileDialog::Directory);
    dialog->setOption(QFileDialog::ShowDirsOnly);
    FileDialogs::open(dialog, QStringLiteral("Choisir"), chosen);
}

} // namespace

ReceptionPanel::ReceptionPanel(ReceptionController& controller, QWidget* parent) : QWidget(parent), m_controller(controller)
{
    setObjectName(QStringLiteral("receptionPanel"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(Theme::largeSpacing, Theme::largeSpacing, Theme::largeSpacing, Theme::largeSpacing);
    layout->setSpacing(Theme::spacing);

    auto* title = new QLabel(QStringLiteral("Réception"), this);
    QFont titleFont = title->font();
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.4);
    titleFont.setBold(true);
    title->setFont(titleFont);
    layout->addWidget(title);

    const auto folderRow = [&](QLabel*& label, CapsuleButton*& button, const QString& name) {
        auto* row = new QHBoxLayout;
        label = wrappingLabel(this, name);
        button = new CapsuleButton(CapsuleKind::glass, QStringLiteral("Choisir…"), QStringLiteral("folder"), this);
        row->addWidget(label, 1);
        row->addWidget(button);
        layout->addLayout(row);
    };
    folderRow(m_folder, m_chooseFolder, QStringLiteral("receptionFolder"));
    folderRow(m_backupFolder, m_chooseBackup, QStringLiteral("backupFolder"));

    // Read from the camera's screen a few steps away: large, bold, selectable.
    m_settings = wrappingLabel(this, QStringLiteral("ftpSettings"));
    QFont large = m_settings->font();
    large.setPointSizeF(large.pointSizeF() * 1.9);
    large.setBold(true);
    m_settings->setFont(large);
    layout->addWidget(m_settings);

    m_start = new CapsuleButton(CapsuleKind::prominent, QStringLiteral("Démarrer la réception"), QStringLiteral("antenna.radiowaves.left.and.right"), this);
    m_start->setObjectName(QStringLiteral("receptionStart"));
    layout->addWidget(m_start, 0, Qt::AlignLeft);
    m_message = wrappingLabel(this, QStringLiteral("receptionMessage"));
    layout->addWidget(m_message);

    m_backup = wrappingLabel(this, QStringLiteral("backupLine"));
    m_backup->setMargin(Theme::smallSpacing);
    layout->addWidget(m_backup);
    m_cameras = wrappingLabel(this, QStringLiteral("cameraLines"));
    layout->addWidget(m_cameras);
    m_unclassed = wrappingLabel(this, QStringLiteral("unclassedLine"));
    layout->addWidget(m_unclassed);

    m_card = wrappingLabel(this, QStringLiteral("cardOffer"));
    layout->addWidget(m_card);
    auto* cardRow = new QHBoxLayout;
    m_import = new CapsuleButton(CapsuleKind::prominent, QStringLiteral("Importer"), QStringLiteral("photo"), this);
    m_import->setObjectName(QStringLiteral("importCard"));
    m_eject = new CapsuleButton(CapsuleKind::glass, QStringLiteral("Éjecter"), QString(), this);
    m_eject->setObjectName(QStringLiteral("ejectCard"));
    cardRow->addWidget(m_import);
    cardRow->addWidget(m_eject);
    cardRow->addStretch(1);
    layout->addLayout(cardRow);
    layout->addStretch(1);

    connect(m_chooseFolder, &CapsuleButton::clicked, this, [this] {
        chooseFolder(this, QStringLiteral("Dossier de réception"), [this](const QString& path) { m_controller.setRootFolder(path); });
    });
    connect(m_chooseBackup, &CapsuleButton::clicked, this, [this] {
        chooseFolder(this, QStringLiteral("Dossier de sauvegarde"), [this](const QString& path) { m_controller.setBackupFolder(path); });
    });
    connect(m_start, &CapsuleButton::clicked, this, [this] {
        if (m_controller.isRunning()) m_controller.stop();
        else m_controller.start();
    });
    connect(m_import, &CapsuleButton::clicked, &m_controller, &ReceptionController::importCard);
    connect(m_eject, &CapsuleButton::clicked, &m_controller, &ReceptionController::ejectCard);
    connect(&m_controller, &ReceptionController::changed, this, &ReceptionPanel::refresh);
    m_clock.setInterval(1000);
    connect(&m_clock, &QTimer::timeout, this, [this] {
        if (m_controller.isRunning()) m_cameras->setText(m_controller.cameraLines().join(QLatin1Char('\n')));
    });
    m_clock.start();
    refresh();
}

void ReceptionPanel::refresh()
{
    const QString root = m_controller.rootFolder();
    m_folder->setText(root.isEmpty() ? QStringLiteral("Dossier de réception : à choisir")
                                     : QStringLiteral("Dossier de réception : ") + m_controller.dayFolder());
    const QString backup = m_controller.backupFolder();
    m_backupFolder->setText(backup.isEmpty() ? QStringLiteral("Dossier de sauvegarde (autre disque) : à choisir")
                                             : QStringLiteral("Dossier de sauvegarde : ") + backup);
    const bool running = m_controller.isRunning();
    m_chooseFolder->setEnabled(!running);
    m_chooseBackup->setEnabled(!running);
    m_settings->setText(m_controller.settingsLine() + QStringLiteral(" · dossier /"));
    m_start->setText(running ? QStringLiteral("Arrêter la réception") : QStringLiteral("Démarrer la réception"));
    m_message->setText(m_controller.message());
    m_message->setVisible(!m_controller.message().isEmpty());

    m_backup->setText(m_controller.backupLine());
    m_backup->setVisible(running);
    if (m_controller.backupWarning()) {
        // Yellow: the photos are safe on one disk only.
        m_backup->setStyleSheet(QStringLiteral("QLabel { background: #ffd60a; color: #1d1d1f; border-radius: 6px; }"));
    } else {
        m_backup->setStyleSheet(QString());
    }
    m_cameras->setText(m_controller.cameraLines().join(QLatin1Char('\n')));
    m_unclassed->setText(m_controller.unclassedLine());
    m_unclassed->setVisible(!m_controller.unclassedLine().isEmpty());

    const QString offer = m_controller.cardOffer();
    QString card = m_controller.isImporting() ? QStringLiteral("Import de la carte en cours…") : offer;
    if (!m_controller.cardMessage().isEmpty()) card = card.isEmpty() ? m_controller.cardMessage() : card + QLatin1Char('\n') + m_controller.cardMessage();
    m_card->setText(card);
    m_card->setVisible(!card.isEmpty());
    m_import->setVisible(!offer.isEmpty() && !m_controller.isImporting());
    m_eject->setVisible(m_controller.canEject());
}

} // namespace tavrin
