#pragma once

// What the window's « Réception » panel drives: the day's reception folder under the folder the
// photographer chose once, the cameras' FTP server, the card watch and the backup, with the lines
// the panel shows. Choices are kept in the user defaults.

#include "reception/CardImport.h"
#include "reception/CardWatch.h"
#include "reception/FtpServer.h"
#include "reception/ReceptionSession.h"

#include <QFutureWatcher>
#include <QObject>
#include <QTimer>

#include <memory>

namespace tavrin {

class LibraryStore;
class WorkspaceStore;

class ReceptionController : public QObject {
    Q_OBJECT

public:
    // Choices are read from and kept in the standard user defaults of the data folder.
    ReceptionController(LibraryStore& library, WorkspaceStore& workspace, QObject* parent = nullptr);
    ~ReceptionController() override;

    // The folder chosen once; each day's photos go to <it>/Photos/<jour>.
    QString rootFolder() const;
    void setRootFolder(const QString& path);
    // Another disk; empty: no backup.
    QString backupFolder() const;
    void setBackupFolder(const QString& path);
    quint16 port() const;
    // Today's reception folder (none without a chosen folder).
    QString dayFolder() const;
    const FtpSettings& ftpSettings() const { return m_settings; }

    bool isRunning() const { return m_session != nullptr; }
    // Starts the server and the card watch; on failure `message()` says why.
    void start();
    void stop();
    const QString& message() const { return m_message; }

    // « Adresse 192.168.1.20 · port 2121 · identifiant tavrin · mot de passe 4827 ».
    QString settingsLine() const;
    QString backupLine() const;
    bool backupWarning() const;
    QStringList cameraLines() const;
    // « 12 photos prises avant toute épreuve restent dans le dossier de réception », or empty.
    QString unclassedLine() const;
    // The card waiting to be imported, with its offer; empty offer without one.
    QString cardOffer() const { return m_cardPlan ? m_cardPlan->offer() : QString(); }
    QString cardMountPoint() const { return m_cardMountPoint; }
    bool isImporting() const { return m_import.isRunning(); }
    // Copies the card's new photos in the background, then offers to eject it.
    void importCard();
    bool canEject() const { return !m_cardMountPoint.isEmpty() && !m_import.isRunning(); }
    void ejectCard();
    // After an import: « 1 236 photos copiées de « NIKON D5 » » or the reason it stopped.
    const QString& cardMessage() const { return m_cardMessage; }

    // Marks the spreadsheet as the class being shot now.
    void markCurrent(const QUuid& spreadsheetID);
    bool isCurrent(const QUuid& spreadsheetID) const;
    // A row typed in a spreadsheet that is not the current class makes it current, once classes
    // are being marked at all.
    void rowTyped(const QUuid& spreadsheetID);

    ReceptionSession* session() const { return m_session.get(); }

Q_SIGNALS:
    void changed();

private:
    void refreshClasses();
    void cardInserted(const QString& mountPoint);

    LibraryStore& m_library;
    WorkspaceStore& m_workspace;
    FtpSettings m_settings;
    std::unique_ptr<ReceptionSession> m_session;
    FtpServer m_server;
    CardWatch m_cards;
    QString m_message;
    std::optional<CardPlan> m_cardPlan;
    QString m_cardMountPoint;
    QString m_cardMessage;
    QFutureWatcher<CardImportResult> m_import;
};

} // namespace tavrin
