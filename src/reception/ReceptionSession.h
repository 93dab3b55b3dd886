#pragma once

// The reception of one day: every photo that arrives complete in the reception folder (from a
// camera over FTP or from a card) stays there, goes to the source folder of the class being shot
// when it was taken, and gets a verified copy in the backup folder. Nothing is ever deleted, and
// a backup that cannot be written never holds the reception up: its photos wait and are caught up.

#include "reception/CameraLog.h"

#include <QDateTime>
#include <QList>
#include <QMutex>
#include <QObject>
#include <QSet>
#include <QString>
#include <QThreadPool>
#include <QTimer>

#include <optional>

namespace tavrin {

// The class being shot from `since` on, and the source folder its photos go to.
struct ShotClass {
    QDateTime since;
    QString title;
    QString folder;

    bool operator==(const ShotClass&) const = default;
};

// One photo taken by the reception.
struct LandedPhoto {
    QString relativePath; // in the reception folder
    QString origin;       // a camera's address, or « carte … »
    QDateTime capture;
    bool captureFromExif = false;
    std::optional<QString> classTitle; // none: taken before any class was marked
    bool backedUp = false;
    QString problem; // French, empty when all went well
};

class ReceptionSession : public QObject {
    Q_OBJECT

public:
    // A backup that failed is tried again this often.
    static constexpr int catchUpMs = 3000;

    ReceptionSession(QString folder, QString backupFolder, QObject* parent = nullptr);
    // Work under way is finished first.
    ~ReceptionSession() override;

    const QString& folder() const { return m_folder; }
    const QString& backupFolder() const { return m_backupFolder; }

    // Takes in what the folder already holds (a restart, photos copied by hand): counted as
    // received, and copied to the backup where it is missing there.
    void start();
    // The classes marked so far, in any order; used for every photo taken from now on.
    void setClasses(QList<ShotClass> classes);
    // A file of the reception folder whose arrival ended; `relativePath` as the server gave it.
    // A file that is not whole (a cut upload) is not taken: its resumption brings it again.
    void take(const QString& relativePath, const QString& origin);
    // Waits for every copy asked so far and applies their results.
    void finish();

    // Photos (a RAW and its JPEG count once) in the reception folder, and received by this session.
    qint64 photoCount() const;
    qint64 receivedCount() const { return m_receivedCount; }
    qint64 backedUpCount() const;
    qint64 notBackedUpCount() const { return photoCount() - backedUpCount(); }
    // Received before any class was marked: they stay in the reception folder.
    qint64 unclassedCount() const { return m_unclassed; }
    const CameraLog& cameras() const { return m_cameras; }

    // « 1 236 photos · 2 copies vérifiées », « Disque de sauvegarde absent : 48 photos n’ont qu’une copie ».
    QString backupLine() const;
    // The backup line asks for attention (shown yellow).
    bool backupWarning() const;

Q_SIGNALS:
    void landed(const tavrin::LandedPhoto& photo);
    // A cut upload was set aside until resumed.
    void notWhole(const QString& relativePath, const QString& origin);
    // Any count or line changed.
    void changed();

private:
    struct Job {
        QString relativePath;
        QString origin;
        QDateTime arrived;
        bool backupOnly = false;
    };
    struct Outcome {
        Job job;
        bool whole = true;
        LandedPhoto photo;
        int backupError = 0; // errno; 0: copied or no backup
    };

    void enqueue(Job job);
    Outcome run(const Job& job) const;
    void apply(const Outcome& outcome);
    void catchUp();
    std::optional<ShotClass> classAt(const QDateTime& time) const;
    static qint64 stemCount(const QSet<QString>& paths);

    QString m_folder;
    QString m_backupFolder;
    mutable QMutex m_classesLock;
    QList<ShotClass> m_classes; // by `since`
    QThreadPool m_pool;
    QTimer m_catchUp;

    QSet<QString> m_files;    // every photo file of the folder, relative
    QSet<QString> m_backedUp; // those with a verified copy
    QSet<QString> m_queued;   // backups asked and not yet answered
    CameraLog m_cameras;
    qint64 m_receivedCount = 0;
    qint64 m_unclassed = 0;
    int m_backupError = 0;
};

} // namespace tavrin
