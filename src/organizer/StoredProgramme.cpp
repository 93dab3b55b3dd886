#include "organizer/StoredProgramme.h"

#include "base/AppSupport.h"
#include "base/Error.h"
#include "base/TavrinJSON.h"
#include "numbers/PathText.h"
#include "programme/ProgrammeFileParser.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QFileInfo>
#include <QJsonDocument>
#include <QSaveFile>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QScopeGuard>

#include <cstdio>

namespace tavrin {

namespace {

const QString kReading = QStringLiteral("reading");

} // namespace

StoredProgramme::StoredProgramme(Place place, QObject* parent)
    : QObject(parent), m_place(place), m_index(folder() + QStringLiteral("/programme.json")),
      m_stampPath(folder() + QStringLiteral("/programme-stamp.json"))
{
}

namespace {

QString hashOfFile(const QString& path)
{
    QFile file(path);
    QCryptographicHash hash(QCryptographicHash::Sha1);
    if (!file.open(QIODevice::ReadOnly) || !hash.addData(&file)) return {};
    return QString::fromLatin1(hash.result().toHex());
}

} // namespace

QJsonObject StoredProgramme::sourceStamp(const QString& source) const
{
    const QFileInfo info(source);
    const QString sourceHash = hashOfFile(source), indexHash = hashOfFile(m_index.path());
    if (sourceHash.isEmpty() || indexHash.isEmpty()) return {};
    return {{QStringLiteral("size"), double(info.size())},
            {QStringLiteral("modified"), TavrinJSON::encodeDate(info.lastModified().toUTC())},
            {QStringLiteral("hash"), sourceHash},
            {QStringLiteral("index"), indexHash}};
}

void StoredProgramme::recordSourceStamp(const QString& source)
{
    const QJsonObject stamp = sourceStamp(source);
    // A cache, not the user's data: without it the file is merely read again at the next start.
    QSaveFile file(m_stampPath);
    if (stamp.isEmpty() || !file.open(QIODevice::WriteOnly) || file.write(TavrinJSON::encode(stamp)) < 0 || !file.commit())
        QFile::remove(m_stampPath);
}

QString StoredProgramme::folder() const
{
    return m_place == Place::workspace ? AppSupport::folder() : AppSupport::riderFoldersFolder();
}

std::optional<QString> StoredProgramme::existingSourceFile() const
{
    return m_place == Place::workspace ? AppSupport::existingProgrammeFile() : AppSupport::existingRiderProgrammeFile();
}

void StoredProgramme::removeSourceFiles() const
{
    if (m_place == Place::workspace) AppSupport::removeProgrammeFiles();
    else AppSupport::removeRiderProgrammeFiles();
}

bool StoredProgramme::hasEvents(const ProgrammeDocument& document)
{
    return std::any_of(document.days.begin(), document.days.end(), [](const ProgrammeDay& day) { return !day.events.isEmpty(); });
}

QString StoredProgramme::noEventMessage(bool keptPrevious)
{
    QString message = QStringLiteral("Aucune épreuve exploitable n’a été lue dans ce fichier.");
    if (keptPrevious) message += QStringLiteral(" Le programme précédent est conservé.");
    return message;
}

void StoredProgramme::persistProgrammeIndex(const ProgrammeDocument& document)
{
    if (!m_index.write(encodeProgramme(document)))
        throw Error(QStringLiteral("Impossible d’enregistrer le programme dans le dossier de Tavrin."));
}

void StoredProgramme::setProgramme(const ProgrammeDocument& document)
{
    m_programme = document;
    Q_EMIT programmeChanged();
}

void StoredProgramme::loadProgrammeFromDisk()
{
    if (std::optional<ProgrammeDocument> document = m_index.load<ProgrammeDocument>(decodeProgramme)) {
        m_programme = std::move(document);
        if (!m_programmeName) m_programmeName = m_programme->sourceName;
    }
    const std::optional<QString> source = existingSourceFile();
    if (!source) return;
    if (m_programme) {
        QFile file(m_stampPath);
        const QJsonObject stamp = file.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(file.readAll()).object() : QJsonObject();
        const QJsonObject now = stamp.isEmpty() ? QJsonObject() : sourceStamp(*source);
        // Only the time differs (a copy, a touch): same bytes, so the index still holds its reading.
        auto sameBytes = [&] {
            return stamp.value(u"size") == now.value(u"size") && stamp.value(u"hash") == now.value(u"hash") &&
                   stamp.value(u"index") == now.value(u"index");
        };
        if (!now.isEmpty() && sameBytes()) {
            if (stamp != now) recordSourceStamp(*source);
            return;
        }
    }
    ++m_sourceReadings;
    m_jobs.run(kReading, [path = *source](const JobContext&) -> std::optional<ProgrammeDocument> {
        try {
            return ProgrammeFileParser::parse(path);
        } catch (const std::exception&) {
            return std::nullopt;
        }
    }, [this](const std::optional<ProgrammeDocument>& document) {
        if (!document) return;
        if (!m_programmeName) m_programmeName = document->sourceName;
        const std::optional<QString> read = existingSourceFile();
        if (document == m_programme) {
            if (read) recordSourceStamp(*read);
            return;
        }
        try {
            persistProgrammeIndex(*document);
            if (read) recordSourceStamp(*read);
        } catch (const Error&) {
            // The index on disk stays as it was; the document read is used all the same.
        }
        setProgramme(*document);
    });
}

bool StoredProgramme::reloadProgrammeIfChanged()
{
    if (!m_index.changedOnDisk()) return false;
    std::optional<ProgrammeDocument> document = m_index.load<ProgrammeDocument>(decodeProgramme);
    if (!document || document == m_programme) return false;
    // A reading of our old copy still running must not bring the replaced programme back.
    m_jobs.cancel(kReading);
    setProgramme(*document);
    return true;
}

void StoredProgramme::removeStaleStagingCopies() const
{
    // Left by an import that was stopped before its end; no import lasts an hour.
    const QDateTime before = QDateTime::currentDateTimeUtc().addSecs(-3600);
    const QFileInfoList copies =
            QDir(folder()).entryInfoList({QStringLiteral(".programme-*")}, QDir::Files | QDir::Hidden | QDir::System);
    for (const QFileInfo& copy : copies)
        if (copy.lastModified() < before) QFile::remove(copy.filePath());
}

void StoredProgramme::ingestProgramme(const QString& path)
{
    const QString name = PathText::lastPathComponent(path).toString();
    QString extension = PathText::pathExtension(path).toString().toLower();
    if (extension.isEmpty()) extension = QStringLiteral("pdf");
    const QString copyFailed = QStringLiteral("Impossible de copier le fichier « ") + name + QStringLiteral(" ».");
    // Copied under a hidden name and read there: the chosen file may be the stored copy itself,
    // and a file that fails to copy or to read must leave the programme and its copy as they were.
    const QString staging = folder() + QStringLiteral("/.programme-") +
                            QString::number(QRandomGenerator::global()->generate(), 36) + u'.' + extension;
    const auto discardStaging = qScopeGuard([&] { QFile::remove(staging); });
    removeStaleStagingCopies();
    if (!QFile::copy(path, staging)) throw Error(copyFailed);
    // Dated now whatever the file's own date, so that no other import takes it for stale.
    if (QFile stagingFile(staging); stagingFile.open(QIODevice::ReadWrite))
        stagingFile.setFileTime(QDateTime::currentDateTimeUtc(), QFileDevice::FileModificationTime);
    const QString copy = folder() + QStringLiteral("/programme.") + extension;
    ProgrammeDocument document = ProgrammeFileParser::parse(staging);
    // A file that reads but names no rider (a wrong sheet, a results list) would replace a good
    // programme with nothing to choose from.
    if (!hasEvents(document)) throw Error(noEventMessage(m_programme.has_value()));
    // Named after the copy, as a later reading of the copy names it.
    document.sourceName = PathText::lastPathComponent(copy).toString();

    // The index first: should the copy then fail to take the old one's place, the old index is
    // written back, and the old copy still matches it.
    persistProgrammeIndex(document);
    if (::rename(QFile::encodeName(staging).constData(), QFile::encodeName(copy).constData()) != 0) {
        if (m_programme) {
            try {
                persistProgrammeIndex(*m_programme);
            } catch (const Error&) {
                // The old copy, read again at the next start, replaces the index all the same.
            }
        }
        throw Error(copyFailed);
    }
    for (const QString& other : AppSupport::programmeExtensions())
        if (other != extension) QFile::remove(folder() + QStringLiteral("/programme.") + other);
    recordSourceStamp(copy);
    m_jobs.cancel(kReading);
    m_programmeName = name;
    persist();
    setProgramme(document);
}

void StoredProgramme::adoptProgramme(const ProgrammeDocument& document)
{
    // The old copy goes only once the new index is written: a failed write keeps both.
    persistProgrammeIndex(document);
    removeSourceFiles();
    QFile::remove(m_stampPath);
    m_jobs.cancel(kReading);
    m_programmeName = document.sourceName;
    persist();
    setProgramme(document);
}

void StoredProgramme::followDiskChanges()
{
    ownFile().follow(this, [this] { reloadIfChanged(); });
}

bool StoredProgramme::reloadIfChanged()
{
    const bool programmeMoved = reloadProgrammeIfChanged();
    return ownFile().reloadAndWriteBack() || programmeMoved;
}

} // namespace tavrin
