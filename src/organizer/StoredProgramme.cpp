#include "organizer/StoredProgramme.h"

#include "base/AppSupport.h"
#include "base/Error.h"
#include "organizer/PathText.h"
#include "programme/ProgrammeFileParser.h"

#include <QFile>
#include <QFutureWatcher>
#include <QRandomGenerator>
#include <QtConcurrent/QtConcurrentRun>

namespace tavrin {

StoredProgramme::StoredProgramme(Place place, QObject* parent)
    : QObject(parent), m_place(place), m_index(folder() + QStringLiteral("/programme.json"))
{
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
    using Reading = std::optional<ProgrammeDocument>;
    auto* watcher = new QFutureWatcher<Reading>(this);
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher, generation = m_generation] {
        watcher->deleteLater();
        const Reading document = watcher->result();
        if (!document || generation != m_generation) return;
        if (!m_programmeName) m_programmeName = document->sourceName;
        if (document == m_programme) return;
        try {
            persistProgrammeIndex(*document);
        } catch (const Error&) {
            // The index on disk stays as it was; the document read is used all the same.
        }
        setProgramme(*document);
    });
    watcher->setFuture(QtConcurrent::run([path = *source]() -> Reading {
        try {
            return ProgrammeFileParser::parse(path);
        } catch (const std::exception&) {
            return std::nullopt;
        }
    }));
}

void StoredProgramme::ingestProgramme(const QString& path)
{
    const QString name = PathText::lastPathComponent(path).toString();
    QString extension = PathText::pathExtension(path).toString().toLower();
    if (extension.isEmpty()) extension = QStringLiteral("pdf");
    // Copied under a hidden name first: the chosen file may be the stored copy itself, and a
    // failed copy must not cost the programme already kept.
    const QString staging = folder() + QStringLiteral("/.programme-") + QString::number(QRandomGenerator::global()->generate(), 36);
    if (!QFile::copy(path, staging)) {
        QFile::remove(staging);
        throw Error(QStringLiteral("Impossible de copier le fichier « ") + name + QStringLiteral(" »."));
    }
    removeSourceFiles();
    const QString copy = folder() + QStringLiteral("/programme.") + extension;
    if (!QFile::rename(staging, copy)) {
        QFile::remove(staging);
        throw Error(QStringLiteral("Impossible de copier le fichier « ") + name + QStringLiteral(" »."));
    }
    const ProgrammeDocument document = ProgrammeFileParser::parse(copy);
    persistProgrammeIndex(document);
    ++m_generation;
    m_programmeName = name;
    persist();
    setProgramme(document);
}

void StoredProgramme::adoptProgramme(const ProgrammeDocument& document)
{
    removeSourceFiles();
    persistProgrammeIndex(document);
    ++m_generation;
    m_programmeName = document.sourceName;
    persist();
    setProgramme(document);
}

} // namespace tavrin
