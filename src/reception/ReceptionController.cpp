#include "reception/ReceptionController.h"

#include "base/Error.h"
#include "base/TavrinJSON.h"
#include "base/UserDefaults.h"
#include "library/LibraryStore.h"
#include "organizer/WorkspaceStore.h"
#include "reception/ShotClasses.h"

#include <QDate>
#include <QDir>
#include <QLocale>
#include <QtConcurrent/QtConcurrentRun>

namespace tavrin {

namespace {

const QString rootKey = QStringLiteral("reception.rootFolder");
const QString backupKey = QStringLiteral("reception.backupFolder");
const QString portKey = QStringLiteral("reception.ftpPort");

} // namespace

ReceptionController::ReceptionController(LibraryStore& library, WorkspaceStore& workspace, QObject* parent)
    : QObject(parent), m_library(library), m_workspace(workspace)
{
    m_settings = FtpSettings::remembered(UserDefaults::standard());
    m_settings.port = port();
    connect(&m_workspace, &WorkspaceStore::settingsChanged, this, [this] {
        refreshClasses();
        Q_EMIT changed();
    });
    connect(&m_library, &LibraryStore::snapshotChanged, this, &ReceptionController::refreshClasses);
    connect(&m_server, &FtpServer::received, this, [this](const QString& path, const QString& address) {
        if (m_session) m_session->take(path, address);
    });
    connect(&m_server, &FtpServer::failed, this, [this](const QString& message) {
        stop();
        m_message = message;
        Q_EMIT changed();
    });
    connect(&m_cards, &CardWatch::cardInserted, this, &ReceptionController::cardInserted);
    connect(&m_cards, &CardWatch::cardRemoved, this, [this](const QString& mountPoint) {
        if (mountPoint != m_cardMountPoint || m_import.isRunning()) return;
        m_cardPlan.reset();
        m_cardMountPoint.clear();
        Q_EMIT changed();
    });
    connect(&m_import, &QFutureWatcher<CardImportResult>::finished, this, [this] {
        const CardImportResult result = m_import.result();
        const QString label = m_cardPlan ? m_cardPlan->label : QString();
        m_cardMessage = result.problem.isEmpty() ? QLocale(QLocale::French).toString(result.copied.size()) +
                                                       (result.copied.size() > 1 ? QStringLiteral(" photos copiées de « ") : QStringLiteral(" photo copiée de « ")) +
                                                       label + QStringLiteral(" »")
                                                 : result.problem;
        m_cardPlan.reset();
        Q_EMIT changed();
    });
}

ReceptionController::~ReceptionController()
{
    // The panel may outlive us by a moment: it hears nothing more.
    blockSignals(true);
    m_import.waitForFinished();
    stop();
}

QString ReceptionController::rootFolder() const { return UserDefaults::standard().string(rootKey).value_or(QString()); }

void ReceptionController::setRootFolder(const QString& path)
{
    UserDefaults::standard().setString(rootKey, path);
    UserDefaults::standard().synchronize();
    Q_EMIT changed();
}

QString ReceptionController::backupFolder() const { return UserDefaults::standard().string(backupKey).value_or(QString()); }

void ReceptionController::setBackupFolder(const QString& path)
{
    UserDefaults::standard().setString(backupKey, path);
    UserDefaults::standard().synchronize();
    Q_EMIT changed();
}

quint16 ReceptionController::port() const
{
    bool ok = false;
    const uint value = UserDefaults::standard().string(portKey).value_or(QString()).toUInt(&ok);
    // 0: any free port (tests, a second Tavrin on the same machine).
    return ok && value < 65536 ? quint16(value) : quint16(2121);
}

QString ReceptionController::dayFolder() const
{
    if (rootFolder().isEmpty()) return {};
    // The house clock, so that pictures of the panel name the same day on every run.
    return QDir(rootFolder()).filePath(QStringLiteral("Photos/") + TavrinJSON::now().toLocalTime().date().toString(Qt::ISODate));
}

void ReceptionController::start()
{
    if (m_session) return;
    m_message.clear();
    if (rootFolder().isEmpty()) {
        m_message = QStringLiteral("Choisissez d’abord le dossier où recevoir les photos.");
        Q_EMIT changed();
        return;
    }
    const QString folder = dayFolder();
    if (!QDir().mkpath(folder)) {
        m_message = QStringLiteral("Le dossier « ") + folder + QStringLiteral(" » ne peut pas être créé.");
        Q_EMIT changed();
        return;
    }
    m_session = std::make_unique<ReceptionSession>(folder, backupFolder());
    connect(m_session.get(), &ReceptionSession::changed, this, &ReceptionController::changed);
    refreshClasses();
    m_session->start();
    try {
        m_server.start(folder, m_settings);
    } catch (const Error& error) {
        m_session.reset();
        m_message = error.message();
        Q_EMIT changed();
        return;
    }
    m_cards.start();
    Q_EMIT changed();
}

void ReceptionController::stop()
{
    m_server.stop();
    if (m_session) m_session->finish();
    m_session.reset();
    Q_EMIT changed();
}

QString ReceptionController::settingsLine() const
{
    return QStringLiteral("Adresse %1 · port %2 · identifiant %3 · mot de passe %4")
        .arg(FtpServer::localNetworkAddress().toString())
        .arg(m_server.isRunning() ? m_server.port() : m_settings.port)
        .arg(m_settings.login, m_settings.password);
}

QString ReceptionController::backupLine() const { return m_session ? m_session->backupLine() : QString(); }

bool ReceptionController::backupWarning() const { return m_session && m_session->backupWarning(); }

QStringList ReceptionController::cameraLines() const
{
    QStringList lines;
    if (!m_session) return lines;
    const QDateTime now = QDateTime::currentDateTimeUtc();
    for (const CameraSeen& camera : m_session->cameras().cameras()) lines.append(camera.line(now));
    return lines;
}

QString ReceptionController::unclassedLine() const
{
    const qint64 n = m_session ? m_session->unclassedCount() : 0;
    if (n == 0) return {};
    return QLocale(QLocale::French).toString(n) +
           (n > 1 ? QStringLiteral(" photos prises avant toute épreuve restent dans le dossier de réception")
                  : QStringLiteral(" photo prise avant toute épreuve reste dans le dossier de réception"));
}

void ReceptionController::cardInserted(const QString& mountPoint)
{
    if (!m_session || m_import.isRunning()) return;
    try {
        m_cardPlan = CardImport::plan(mountPoint, m_session->folder());
        m_cardMountPoint = mountPoint;
        m_cardMessage.clear();
    } catch (const Error& error) {
        m_cardMessage = error.message();
    }
    Q_EMIT changed();
}

void ReceptionController::importCard()
{
    if (!m_cardPlan || !m_session || m_import.isRunning()) return;
    // Each photo joins the reception (class folder, backup) as soon as it is off the card.
    const QString origin = QStringLiteral("carte ") + m_cardPlan->label;
    m_import.setFuture(QtConcurrent::run([this, plan = *m_cardPlan, folder = m_session->folder(), origin] {
        return CardImport::run(plan, folder, {}, [this, origin](const QString& relative) {
            QMetaObject::invokeMethod(this, [this, relative, origin] {
                if (m_session) m_session->take(relative, origin);
            }, Qt::QueuedConnection);
        });
    }));
    Q_EMIT changed();
}

void ReceptionController::ejectCard()
{
    if (!canEject()) return;
    QString problem;
    if (CardWatch::eject(m_cardMountPoint, &problem)) {
        m_cardMessage = QStringLiteral("Vous pouvez retirer la carte.");
        m_cardPlan.reset();
        m_cardMountPoint.clear();
    } else {
        m_cardMessage = problem;
    }
    Q_EMIT changed();
}

void ReceptionController::markCurrent(const QUuid& spreadsheetID)
{
    m_workspace.markShot(spreadsheetID, QDateTime::currentDateTimeUtc());
}

bool ReceptionController::isCurrent(const QUuid& spreadsheetID) const
{
    return m_workspace.shotAt(QDateTime::currentDateTimeUtc()) == spreadsheetID;
}

void ReceptionController::rowTyped(const QUuid& spreadsheetID)
{
    const std::optional<QUuid> current = m_workspace.shotAt(QDateTime::currentDateTimeUtc());
    if (current && *current != spreadsheetID) markCurrent(spreadsheetID);
}

void ReceptionController::refreshClasses()
{
    if (m_session) m_session->setClasses(ShotClasses::of(m_library, m_workspace));
}

} // namespace tavrin
