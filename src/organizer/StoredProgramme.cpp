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
#include <unistd.h>

namespace tavrin {

namespace {

const QString kReading = QStringLiteral("reading");

} // namespace

StoredProgramme::StoredProgramme(Place place, QObject* parent)
    : QObject(parent), m_place(place), m_index(folder() + QStringLiteral("/programme.json")),
      m_stampPath(folder() + QStringLiteral("/stamp-of-programme.json"))
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

StoredProgramme::ReadFile StoredProgramme::readProgramme(const QString& path)
{
    const QString name = PathText::lastPathComponent(path).toString();
    QString extension = PathText::pathExtension(path).toString().toLower();
    if (extension.isEmpty()) extension = QStringLiteral("pdf");
    // Copied under a hidden name and read there: the chosen file may be the stored copy itself,
    // and a file that fails to copy or to read must leave the programme and its copy as they were.
    const QString staging = folder() + QStringLiteral("/.programme-") +
                            QString::number(QRandomGenerator::global()->generate(), 36) + u'.' + extension;
    auto discardStaging = qScopeGuard([&] { QFile::remove(staging); });
    removeStaleStagingCopies();
    if (!QFile::copy(path, staging)) throw Error(QStringLiteral("Impossible de copier le fichier « ") + name + QStringLiteral(" »."));
    // Dated now whatever the file's own date, so that no other import takes it for stale.
    if (QFile stagingFile(staging); stagingFile.open(QIODevice::ReadWrite))
        stagingFile.setFileTime(QDateTime::currentDateTimeUtc(), QFileDevice::FileModificationTime);
    ProgrammeDocument document = ProgrammeFileParser::parse(staging);
    // A file that reads but names no rider (a wrong sheet, a results list) would replace a good
    // programme with nothing to choose from.
    if (!hasEvents(document)) throw Error(noEventMessage(m_programme.has_value()));
    // Named after the copy, as a later reading of the copy names it.
    document.sourceName = QStringLiteral("programme.") + extension;
    discardStaging.dismiss();
    return ReadFile{std::move(document), name, extension, staging};
}

void StoredProgramme::discard(const ReadFile& read) { QFile::remove(read.staging); }

void StoredProgramme::ingestProgramme(const QString& path)
{
    const ReadFile read = readProgramme(path);
    const auto discardStaging = qScopeGuard([&] { discard(read); });
    putInPlace(read);
}

void StoredProgramme::putInPlace(const ReadFile& read)
{
    const QString copy = folder() + QStringLiteral("/programme.") + read.extension;
    const QString copyFailed = QStringLiteral("Impossible de copier le fichier « ") + read.name + QStringLiteral(" ».");
    if (!QFile::exists(read.staging)) throw Error(copyFailed);
    keepAside();
    // The index first: should the copy then fail to take the old one's place, the old index is
    // written back, and the old copy still matches it.
    try {
        persistProgrammeIndex(read.document);
    } catch (const Error&) {
        forgetAside();
        throw;
    }
    if (::rename(QFile::encodeName(read.staging).constData(), QFile::encodeName(copy).constData()) != 0) {
        if (m_programme) {
            try {
                persistProgrammeIndex(*m_programme);
            } catch (const Error&) {
                // The old copy, read again at the next start, replaces the index all the same.
            }
        }
        forgetAside();
        throw Error(copyFailed);
    }
    for (const QString& other : AppSupport::programmeExtensions())
        if (other != read.extension) QFile::remove(folder() + QStringLiteral("/programme.") + other);
    recordSourceStamp(copy);
    m_jobs.cancel(kReading);
    m_programmeName = read.name;
    persist();
    setProgramme(read.document);
    Q_EMIT replacementChanged();
}

namespace {

const QString kAside = QStringLiteral("/programme-remplace.");

} // namespace

void StoredProgramme::forgetAside()
{
    m_previous.reset();
    for (const QString& extension : AppSupport::programmeExtensions()) QFile::remove(folder() + kAside + extension);
}

void StoredProgramme::keepAside()
{
    forgetAside();
    if (!m_programme) return;
    Previous previous{*m_programme, m_programmeName, std::nullopt};
    if (const std::optional<QString> source = existingSourceFile()) {
        const QString aside = folder() + kAside + PathText::pathExtension(*source).toString().toLower();
        // A second name for the same file: nothing is copied, and the replacement's rename
        // leaves it whole.
        if (::link(QFile::encodeName(*source).constData(), QFile::encodeName(aside).constData()) == 0 || QFile::copy(*source, aside))
            previous.file = aside;
    }
    m_previous = std::move(previous);
}

void StoredProgramme::undoReplacement()
{
    if (!m_previous) return;
    const Previous previous = *m_previous;
    persistProgrammeIndex(previous.document);
    removeSourceFiles();
    if (previous.file) {
        const QString copy = folder() + QStringLiteral("/programme.") + PathText::pathExtension(*previous.file).toString();
        if (::rename(QFile::encodeName(*previous.file).constData(), QFile::encodeName(copy).constData()) == 0) recordSourceStamp(copy);
        else QFile::remove(m_stampPath);
    } else {
        QFile::remove(m_stampPath);
    }
    forgetAside();
    m_jobs.cancel(kReading);
    m_programmeName = previous.name;
    persist();
    setProgramme(previous.document);
    Q_EMIT replacementChanged();
}

void StoredProgramme::adoptProgramme(const ProgrammeDocument& document)
{
    keepAside();
    // The old copy goes only once the new index is written: a failed write keeps both.
    try {
        persistProgrammeIndex(document);
    } catch (const Error&) {
        forgetAside();
        throw;
    }
    removeSourceFiles();
    QFile::remove(m_stampPath);
    m_jobs.cancel(kReading);
    m_programmeName = document.sourceName;
    persist();
    setProgramme(document);
    Q_EMIT replacementChanged();
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
