#pragma once

// Organising while the photos arrive: the source folder and the spreadsheet are watched, and a
// row's photos are copied into its rider folder as soon as the next row closes its range and
// every file of the range is complete. Copies go through the organisation run one row at a time
// (same copy rule, same report lines) and are remembered as they are made, so that a stop, a
// crash or a later plain run never copies a photo twice.

#include "library/LibraryStore.h"
#include "organizer/OrganizerReport.h"
#include "organizer/PhotoCopierMemory.h"
#include "organizer/PhotoOrganizer.h"
#include "organizer/SpreadsheetWorkspaceModel.h"
#include "organizer/WorkspaceStore.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QSet>
#include <QSocketNotifier>
#include <QTimer>

#include <memory>

namespace tavrin {

class FollowSession : public QObject {
    Q_OBJECT

public:
    // A file counts once its size and date stayed the same over this long.
    static constexpr int settleMs = 300;
    // Without any event (network shares send none), the folder is looked at this often.
    static constexpr int idlePollMs = 2000;
    // A copy that failed (destination full or read-only) is tried again after this long.
    static constexpr int retryMs = 5000;

    FollowSession(LibraryStore& library, WorkspaceStore& workspace, const QUuid& spreadsheetID, QObject* parent = nullptr);
    // Following still going is stopped cleanly.
    ~FollowSession() override;

    // Starts following; throws Error with the French reason when it cannot.
    void start();
    // Copies the last range, records the session in the history and returns its report.
    OrganizerReport stop();
    bool isFollowing() const { return m_following; }

    // Photos copied so far, and rider folders that received them.
    qint64 copiedCount() const { return m_copied; }
    qint64 folderCount() const;
    // « Suivi : 12 dossiers · 187 photos copiées · dernière copie il y a 8 s ».
    QString statusLine() const;
    // Rows whose copies failed → the message shown beside them.
    QHash<QUuid, QString> failures() const;
    // One line per rider folder holding photos that a row typed later took over.
    QStringList excessMessages() const;
    // Looks at the folder and the rows now (also done on every change and every idlePollMs).
    void lookNow() { look(false); }

Q_SIGNALS:
    // After each row's copies: the rider, the photos copied now (0 when all were there).
    void copied(const QString& rider, qint64 count);
    void failed(const QUuid& rowID, const QString& message);
    // After each look at the folder and the rows.
    void looked();

private:
    struct Seen {
        qint64 size = -1;
        qint64 modified = -1;
        qint64 since = 0;
    };
    struct RowState {
        QString label;
        QString folderName;
        // The copies in the row's present folder, and those left in folders it named before
        // its number was corrected.
        QList<CopiedPhoto> placed;
        QSet<QString> placedSources;
        QList<CopiedPhoto> elsewhere;
        qint64 copied = 0;
        qint64 present = 0;
        // Copies moved into the row's folder from folders they no longer belonged to, and the
        // report lines of those that had to stay.
        QList<PhotoOrganizer::MisplacedCopy> movedIn;
        QStringList leftThere;
        // Source path → when its copy last failed.
        QHash<QString, qint64> failedAt;
        int error = 0;
    };

    // Returns true when files are still settling.
    bool look(bool finishing);
    void watch(const QString& folder);
    void readEvents();
    void copyGroup(const PhotoGroup& group);
    void schedule(int ms);
    QStringList rowMessages(const QList<PhotoGroup>& groups) const;

    LibraryStore& m_library;
    WorkspaceStore& m_workspace;
    QUuid m_id;
    SpreadsheetWorkspaceModel m_model;
    QString m_destination;
    QString m_title;
    QString m_source;
    // inotify: files created or written to and not yet closed are still being written.
    int m_inotify = -1;
    std::unique_ptr<QSocketNotifier> m_notifier;
    QSet<QString> m_open;
    std::optional<QDateTime> m_lastCopy;
    QTimer m_timer;
    QElapsedTimer m_clock;
    CopyMemory m_memory;
    QHash<QString, Seen> m_seen;
    QHash<QUuid, RowState> m_rows;
    QList<PhotoGroup> m_lastGroups;
    qint64 m_copied = 0;
    bool m_following = false;
    bool m_looking = false;
};

} // namespace tavrin
