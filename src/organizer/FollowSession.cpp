#include "organizer/FollowSession.h"

#include "base/Error.h"
#include "numbers/PathText.h"
#include "organizer/PhotoOrganizer.h"

#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QThread>

#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tavrin {

namespace {

QString plural(qint64 n) { return n > 1 ? QStringLiteral("s") : QString(); }

QString photos(qint64 n) { return QString::number(n) + QStringLiteral(" photo") + plural(n); }

} // namespace

FollowSession::FollowSession(LibraryStore& library, WorkspaceStore& workspace, const QUuid& spreadsheetID, QObject* parent)
    : QObject(parent), m_library(library), m_workspace(workspace), m_id(spreadsheetID), m_model(library, workspace)
{
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, [this] {
        if (m_following) look(false);
    });
    // Rows typed or synced: looked at shortly after, in one go.
    connect(&m_model, &SpreadsheetWorkspaceModel::planChanged, this, [this] { schedule(50); });
    connect(&m_library, &LibraryStore::snapshotChanged, this, [this](const QUuid& id) {
        if (id == m_id) schedule(50);
    });
}

FollowSession::~FollowSession()
{
    if (m_following) stop();
    m_notifier.reset();
    if (m_inotify >= 0) ::close(m_inotify);
}

void FollowSession::watch(const QString& folder)
{
    // Without inotify (or on a share that sends nothing) the slow poll and the stability of
    // each file are all there is.
    m_inotify = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (m_inotify < 0) return;
    constexpr uint32_t mask = IN_CREATE | IN_MODIFY | IN_CLOSE_WRITE | IN_MOVED_TO | IN_MOVED_FROM | IN_DELETE;
    if (::inotify_add_watch(m_inotify, QFile::encodeName(folder).constData(), mask) < 0) {
        ::close(m_inotify);
        m_inotify = -1;
        return;
    }
    m_notifier = std::make_unique<QSocketNotifier>(m_inotify, QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &FollowSession::readEvents);
}

void FollowSession::readEvents()
{
    alignas(inotify_event) char buffer[16384];
    bool changed = false;
    for (;;) {
        const ssize_t n = ::read(m_inotify, buffer, sizeof buffer);
        if (n <= 0) break;
        for (ssize_t at = 0; at < n;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            at += ssize_t(sizeof(inotify_event) + event->len);
            if (event->mask & IN_Q_OVERFLOW) {
                // Events lost: stability alone decides for the files in doubt.
                m_open.clear();
                changed = true;
                continue;
            }
            if (event->len == 0 || (event->mask & IN_ISDIR)) continue;
            const QString path = m_source + u'/' + QFile::decodeName(event->name);
            if (event->mask & (IN_CREATE | IN_MODIFY)) m_open.insert(path);
            if (event->mask & (IN_CLOSE_WRITE | IN_MOVED_TO | IN_MOVED_FROM | IN_DELETE)) m_open.remove(path);
            // Writes come by the thousand; what matters is a file appearing, closed or gone.
            if (!(event->mask & IN_MODIFY)) changed = true;
        }
    }
    if (changed) schedule(50);
}

void FollowSession::schedule(int ms)
{
    if (!m_following || m_looking) return;
    if (!m_timer.isActive() || m_timer.remainingTime() > ms) m_timer.start(ms);
}

void FollowSession::start()
{
    if (m_following) return;
    m_model.setSpreadsheet(m_id);
    const std::optional<SpreadsheetRecord> sheet = m_model.spreadsheet();
    if (!sheet) throw Error(QStringLiteral("Ce tableur n’existe plus."));
    const SpreadsheetMacSettings s = m_model.settings();
    if (!s.sourceBookmark) throw Error(QStringLiteral("Choisissez d’abord le dossier des photos."));
    if (!s.destinationBookmark) throw Error(QStringLiteral("Choisissez d’abord le dossier de destination."));
    if (!m_workspace.selectedEvent(m_id)) throw Error(QStringLiteral("Choisissez d’abord l’épreuve du programme."));
    const std::optional<QString> source = m_workspace.resolveFolder(WorkspaceStore::FolderKind::source, m_id);
    if (!source || !QFileInfo(*source).isDir())
        throw Error(QStringLiteral("Le dossier des photos « ") + s.sourceName.value_or(QString()) + QStringLiteral(" » est introuvable."));
    const std::optional<QString> destination = m_workspace.resolveFolder(WorkspaceStore::FolderKind::destination, m_id);
    if (!destination)
        throw Error(QStringLiteral("Le dossier de destination « ") + s.destinationName.value_or(QString())
                    + QStringLiteral(" » est introuvable."));
    m_destination = *destination;
    m_title = sheet->title;
    m_memory = m_workspace.rememberedCopies(m_id);
    m_library.followDiskChanges();
    m_workspace.followDiskChanges();
    m_source = *source;
    watch(m_source);
    m_clock.start();
    m_following = true;
    look(false);
}

bool FollowSession::look(bool finishing)
{
    if (m_looking) return true;
    m_looking = true;
    m_timer.stop();
    // Rows written by another program, and the hand-typed names, as they are now.
    m_library.reloadIfChanged();
    m_workspace.reloadIfChanged();
    m_model.rebuildPlan();
    const QList<PhotoGroup> groups = m_model.runGroups();
    m_lastGroups = groups;
    const qint64 now = m_clock.elapsed();

    bool settling = false;
    QSet<QString> listed;
    QList<PhotoGroup> ready;
    for (const PhotoGroup& group : groups) {
        RowState& row = m_rows[group.row.id];
        row.label = PhotoOrganizer::rowLabel(group);
        if (row.folderName != group.folderName() && !row.placed.isEmpty()) {
            // The row's rider was corrected: its photos go to the new folder too.
            row.elsewhere += row.placed;
            row.placed.clear();
            row.placedSources.clear();
            // What the row says from now on is about its new folder.
            row.copied = row.present = 0;
        }
        row.folderName = group.folderName();
        const bool closed = finishing || group.endExclusive.has_value();
        QStringList complete;
        bool allComplete = true;
        for (const QString& file : group.files) {
            listed.insert(file);
            if (row.placedSources.contains(file)) continue;
            if (const auto failed = row.failedAt.constFind(file); failed != row.failedAt.constEnd() && now - *failed < retryMs) continue;
            struct stat st{};
            if (::stat(QFile::encodeName(file).constData(), &st) != 0 || !S_ISREG(st.st_mode)) {
                // Gone (deleted or renamed) since the folder was listed.
                m_seen.remove(file);
                continue;
            }
            const qint64 modified = qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
            Seen& seen = m_seen[file];
            if (seen.size != qint64(st.st_size) || seen.modified != modified) {
                seen = Seen{qint64(st.st_size), modified, now};
                settling = true;
                allComplete = false;
            } else if (now - seen.since < settleMs || m_open.contains(file)) {
                // Unchanged for a while, but still open for writing: a transfer paused.
                settling = true;
                allComplete = false;
            } else {
                complete.push_back(file);
            }
        }
        // A range is first copied whole; photos arriving later are copied one by one.
        if (!closed || complete.isEmpty() || (!allComplete && row.placedSources.isEmpty())) continue;
        PhotoGroup batch = group;
        batch.files = complete;
        ready.push_back(std::move(batch));
    }
    // Files gone from the folder fail no more and are forgotten.
    for (auto it = m_seen.begin(); it != m_seen.end();) it = listed.contains(it.key()) ? std::next(it) : m_seen.erase(it);
    for (RowState& row : m_rows)
        for (auto it = row.failedAt.begin(); it != row.failedAt.end();) it = listed.contains(it.key()) ? std::next(it) : row.failedAt.erase(it);

    for (const PhotoGroup& group : ready) copyGroup(group);
    m_looking = false;
    if (m_following && !finishing) m_timer.start(settling ? settleMs : idlePollMs);
    Q_EMIT looked();
    return settling;
}

void FollowSession::copyGroup(const PhotoGroup& group)
{
    RowState& row = m_rows[group.row.id];
    PhotoOrganizer::RunControl control;
    control.memory = &m_memory;
    OrganizerReport report;
    QString error;
    try {
        report = PhotoOrganizer::execute({group}, m_destination, &control);
    } catch (const Error& e) {
        // The rider folder could not be made: every photo of the batch waits for a retry.
        error = e.message();
    }
    const qint64 now = m_clock.elapsed();
    // Copies moved here are no longer where other rows (or this one, under its former rider)
    // had them.
    QSet<QString> movedAway;
    for (const PhotoOrganizer::MisplacedCopy& misplaced : control.misplaced) {
        if (!misplaced.movedTo) {
            const QString line = PhotoOrganizer::leftInPlaceMessage(misplaced);
            if (!row.leftThere.contains(line)) row.leftThere.push_back(line);
            continue;
        }
        row.movedIn.push_back(misplaced);
        movedAway.insert(misplaced.copy.target);
        for (auto it = m_memory.find(misplaced.copy.source); it != m_memory.end() && it.key() == misplaced.copy.source;)
            it = it->target == misplaced.copy.target ? m_memory.erase(it) : std::next(it);
    }
    if (!movedAway.isEmpty()) {
        const auto gone = [&](const CopiedPhoto& record) { return movedAway.contains(record.target); };
        for (RowState& other : m_rows) {
            other.placed.removeIf(gone);
            other.elsewhere.removeIf(gone);
            other.placedSources.clear();
            for (const CopiedPhoto& record : other.placed) other.placedSources.insert(record.source);
        }
        m_workspace.forgetCopies(movedAway, m_id);
    }
    for (const CopiedPhoto& record : control.placed.value(group.row.id)) {
        row.placed.push_back(record);
        row.placedSources.insert(record.source);
        row.failedAt.remove(record.source);
        m_memory.insert(record.source, record);
    }
    row.copied += report.copied;
    row.present += report.alreadyPresent;
    m_copied += report.copied;

    QString failure;
    if (!error.isEmpty()) {
        for (const QString& file : group.files) row.failedAt.insert(file, now);
        failure = error;
    }
    for (const PhotoOrganizer::CopyFailure& failed : control.failures) {
        for (const QString& file : group.files)
            if (failed.files.contains(PathText::lastPathComponent(file).toString())) row.failedAt.insert(file, now);
        row.error = failed.error;
        failure = PhotoOrganizer::failureMessage(failed);
    }

    // Remembered at once: a following killed now still knows what is in the rider folders.
    if (!control.placed.value(group.row.id).isEmpty()) {
        PhotoGroup done = group;
        done.files.clear();
        for (const CopiedPhoto& record : row.placed) done.files.push_back(record.source);
        m_workspace.rememberTransfers({done}, m_id, {{group.row.id, row.placed}});
        if (report.copied > 0) m_lastCopy = QDateTime::currentDateTimeUtc();
        Q_EMIT copied(row.label, report.copied);
    }
    if (!failure.isEmpty()) Q_EMIT failed(group.row.id, failure);
}

qint64 FollowSession::folderCount() const
{
    QSet<QString> folders;
    for (const RowState& row : m_rows)
        if (row.copied > 0 || !row.movedIn.isEmpty() || !row.failedAt.isEmpty()) folders.insert(row.folderName);
    return folders.size();
}

QString FollowSession::statusLine() const
{
    const qint64 folders = folderCount();
    QString line = QStringLiteral("Suivi : ") + QString::number(folders) + QStringLiteral(" dossier") + plural(folders)
        + QStringLiteral(" · ") + photos(m_copied) + QStringLiteral(" copiée") + plural(m_copied);
    if (m_lastCopy) {
        const qint64 seconds = std::max<qint64>(0, m_lastCopy->secsTo(QDateTime::currentDateTimeUtc()));
        line += QStringLiteral(" · dernière copie il y a ");
        if (seconds < 60) line += QString::number(seconds) + QStringLiteral(" s");
        else if (seconds < 3600) line += QString::number(seconds / 60) + QStringLiteral(" min");
        else line += QString::number(seconds / 3600) + QStringLiteral(" h");
    }
    return line;
}

QHash<QUuid, QString> FollowSession::failures() const
{
    QHash<QUuid, QString> out;
    for (auto it = m_rows.constBegin(); it != m_rows.constEnd(); ++it) {
        if (it->failedAt.isEmpty()) continue;
        QStringList names;
        for (auto f = it->failedAt.constBegin(); f != it->failedAt.constEnd(); ++f)
            names.push_back(PathText::lastPathComponent(f.key()).toString());
        names.sort();
        out.insert(it.key(), PhotoOrganizer::failureMessage({it.key(), names, it->error}));
    }
    return out;
}

QStringList FollowSession::excessMessages() const
{
    // Rider folder → copies it holds for photos that now belong to another row or rider.
    QMap<QString, QStringList> extra;
    for (const PhotoGroup& group : m_lastGroups) {
        const auto row = m_rows.constFind(group.row.id);
        if (row == m_rows.constEnd()) continue;
        const QSet<QString> now(group.files.begin(), group.files.end());
        const auto add = [&](const CopiedPhoto& record) {
            const QString folder = record.target.section(u'/', -2, -2);
            extra[folder].push_back(PathText::lastPathComponent(record.target).toString());
        };
        for (const CopiedPhoto& record : row->placed)
            if (!now.contains(record.source)) add(record);
        for (const CopiedPhoto& record : row->elsewhere) add(record);
    }
    QStringList out;
    for (auto it = extra.begin(); it != extra.end(); ++it) {
        QStringList& names = *it;
        names.sort();
        names.removeDuplicates();
        out.push_back(QStringLiteral("« ") + it.key() + QStringLiteral(" » contient ") + photos(names.size())
                      + QStringLiteral(" en trop, notée") + plural(names.size()) + QStringLiteral(" depuis pour une autre ligne : ")
                      + names.join(QStringLiteral(", ")) + QStringLiteral(" (rien n’a été supprimé)."));
    }
    return out;
}

QStringList FollowSession::rowMessages(const QList<PhotoGroup>& groups) const
{
    QStringList out;
    for (const PhotoGroup& group : groups) {
        const auto row = m_rows.constFind(group.row.id);
        if (row == m_rows.constEnd()) continue;
        const qint64 failed = row->failedAt.size();
        if (row->copied == 0 && row->present == 0 && failed == 0 && row->movedIn.isEmpty()) {
            out += row->leftThere;
            continue;
        }
        QString message = row->label + QStringLiteral(" — ");
        if (row->copied == 0 && row->present == 0 && failed == 0) {
            message += PhotoOrganizer::movedFromText(row->movedIn).mid(3);
        } else if (row->copied == 0 && row->present > 0 && failed == 0) {
            message += photos(row->present) + QStringLiteral(" déjà présente") + plural(row->present);
        } else {
            message += photos(row->copied);
            if (row->present > 0)
                message += QStringLiteral(" · ") + QString::number(row->present) + QStringLiteral(" déjà présente") + plural(row->present);
            if (failed > 0) message += QStringLiteral(" · ") + QString::number(failed) + QStringLiteral(" non copiée") + plural(failed);
        }
        if (row->copied > 0 || row->present > 0 || failed > 0) message += PhotoOrganizer::movedFromText(row->movedIn);
        out.push_back(message);
        out += row->leftThere;
    }
    return out;
}

OrganizerReport FollowSession::stop()
{
    OrganizerReport report;
    if (!m_following) return report;
    m_timer.stop();
    // The last range, once its files stopped changing (a file still written after a few
    // seconds is left for the next run).
    for (int attempt = 0; attempt < 20; ++attempt) {
        if (m_inotify >= 0) readEvents();
        if (!look(true)) break;
        QThread::msleep(settleMs / 2);
    }
    m_following = false;
    m_timer.stop();
    if (m_notifier) m_notifier->setEnabled(false);

    const QHash<QUuid, QString> failed = failures();
    report.copied = m_copied;
    for (const RowState& row : m_rows) {
        report.alreadyPresent += row.present;
        report.failed += row.failedAt.size();
        report.moved += row.movedIn.size();
    }
    report.skipped = report.failed;
    report.folders = folderCount();
    report.messages = rowMessages(m_lastGroups);
    for (const PhotoGroup& group : m_lastGroups)
        if (failed.contains(group.row.id)) report.messages.push_back(m_rows.value(group.row.id).label + QStringLiteral(" : ") + failed.value(group.row.id));
    report.messages += excessMessages();

    m_workspace.forgetTransfers(QSet<QUuid>(failed.keyBegin(), failed.keyEnd()), m_id);
    if (report.copied > 0 || report.alreadyPresent > 0 || report.failed > 0) {
        m_workspace.recordOrganizer(report, m_id, m_title);
        if (report.failed == 0) m_workspace.setCompleted(true, m_id);
        else if (m_workspace.settings(m_id).isCompleted) m_workspace.setCompleted(false, m_id);
    }
    return report;
}

} // namespace tavrin
