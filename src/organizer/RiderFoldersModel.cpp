#include "organizer/RiderFoldersModel.h"

#include "base/Error.h"
#include "organizer/PhotoOrganizer.h"
#include "organizer/ProgrammeReplacement.h"

#include <algorithm>

namespace tavrin {

RiderFoldersModel::RiderFoldersModel(RiderFoldersStore& store, QObject* parent)
    : QObject(parent), m_store(store), m_namedPeople(store.namedPeople())
{
    connect(&m_store, &StoredProgramme::programmeChanged, this, [this] {
        m_namedPeople = m_store.namedPeople();
        Q_EMIT changed();
    });
    connect(&m_store, &RiderFoldersStore::destinationChanged, this, &RiderFoldersModel::changed);
    connect(&m_store, &StoredProgramme::replacementChanged, this, [this] {
        if (m_replacementBanner && !m_store.canUndoReplacement()) {
            m_replacementBanner.reset();
            Q_EMIT changed();
        }
    });
}

QString RiderFoldersModel::summaryLine() const
{
    if (!m_store.programme())
        return QStringLiteral("Choisissez un programme (fichier ou page internet), puis un dossier de destination.");
    if (m_namedPeople.isEmpty()) return QStringLiteral("Aucun cavalier avec nom et prénom.");
    const qsizetype n = m_namedPeople.size();
    return QString::number(n) + QStringLiteral(" cavalier") + (n != 1 ? QStringLiteral("s") : QString())
        + QStringLiteral(" · un dossier NOM PRENOM chacun");
}

bool RiderFoldersModel::canCreate() { return m_store.resolveDestination() && !m_namedPeople.isEmpty(); }

void RiderFoldersModel::create()
{
    if (m_running) return;
    const std::optional<QString> destination = m_store.resolveDestination();
    if (!destination) {
        m_errorText = QStringLiteral("Choisissez d’abord le dossier de destination.");
        Q_EMIT changed();
        return;
    }
    if (m_namedPeople.isEmpty()) {
        m_errorText = QStringLiteral("Aucun nom et prénom exploitable dans ce programme.");
        Q_EMIT changed();
        return;
    }
    m_running = true;
    m_errorText.reset();
    try {
        m_report = PhotoOrganizer::createEmptyRiderFolders(m_namedPeople, *destination);
        if (foldUnwritableDestination(*m_report, *destination)) m_report.reset();
        else if (openFolder) openFolder(*destination);
    } catch (const Error& error) {
        m_errorText = error.message();
    }
    m_running = false;
    Q_EMIT changed();
}

// When not one folder could be made, the destination itself refuses writing: one line says so
// instead of one line per rider.
bool RiderFoldersModel::foldUnwritableDestination(const OrganizerReport& report, const QString& destination)
{
    const QString failurePrefix = QStringLiteral("Impossible de créer « ");
    const qsizetype failures = std::count_if(report.messages.begin(), report.messages.end(),
                                             [&](const QString& line) { return line.startsWith(failurePrefix); });
    if (failures < 2 || failures != report.messages.size()) return false;
    const qsizetype slash = destination.lastIndexOf(u'/');
    const QString name = slash >= 0 && slash + 1 < destination.size() ? destination.mid(slash + 1) : destination;
    m_errorText = QStringLiteral("Impossible de créer les dossiers dans « ") + name
        + QStringLiteral(" » : ce dossier n’accepte pas l’écriture (lecture seule ou accès refusé).");
    return true;
}

RiderFoldersModel::~RiderFoldersModel() = default;

void RiderFoldersModel::importProgramme(const QString& path)
{
    m_pendingProgramme.drop();
    StoredProgramme::ReadFile read;
    try {
        read = m_store.readProgramme(path);
    } catch (const Error& error) {
        m_errorText = error.message();
        Q_EMIT changed();
        return;
    }
    const qsizetype lost =
        library ? ProgrammeReplacement::rowsLosingTheirRider(library->snapshot(), m_store.programme(), read.document) : 0;
    if (lost > 0) {
        m_pendingProgramme.hold(std::move(read), lost);
        Q_EMIT replaceQuestionAsked();
        return;
    }
    replaceProgramme(read);
}

void RiderFoldersModel::answerReplaceQuestion(bool replace)
{
    if (const auto read = m_pendingProgramme.answer(replace)) replaceProgramme(*read);
}

void RiderFoldersModel::replaceProgramme(const StoredProgramme::ReadFile& read)
{
    const bool replacing = m_store.programme().has_value();
    try {
        m_store.putInPlace(read);
    } catch (const Error& error) {
        StoredProgramme::discard(read);
        m_errorText = error.message();
        Q_EMIT changed();
        return;
    }
    m_report.reset();
    m_errorText.reset();
    if (replacing && m_store.canUndoReplacement()) m_replacementBanner = ProgrammeReplacement::banner(read.name, read.document);
    else m_replacementBanner.reset();
    Q_EMIT changed();
}

void RiderFoldersModel::undoProgrammeReplacement()
{
    if (!m_store.canUndoReplacement()) return;
    try {
        m_store.undoReplacement();
    } catch (const Error& error) {
        m_errorText = error.message();
        Q_EMIT changed();
        return;
    }
    m_replacementBanner.reset();
    m_report.reset();
    Q_EMIT changed();
}

void RiderFoldersModel::chooseDestination(const QString& path) { m_store.storeDestination(path); }

} // namespace tavrin
