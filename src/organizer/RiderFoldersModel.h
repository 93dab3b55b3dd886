#pragma once

// The logic of the rider-folders screen ("Paniers"): the summary line, whether the create
// button works, the create action and its report, the programme import and the destination.

#include "organizer/OrganizerReport.h"
#include "organizer/RiderFoldersStore.h"

#include <QObject>

#include <functional>

namespace tavrin {

class RiderFoldersModel : public QObject {
    Q_OBJECT

public:
    explicit RiderFoldersModel(RiderFoldersStore& store, QObject* parent = nullptr);

    RiderFoldersStore& store() const { return m_store; }
    // The riders with names, as listed and created (kept in step with the programme).
    const QList<ImportedPerson>& namedPeople() const { return m_namedPeople; }

    // "24 cavaliers · un dossier NOM PRENOM chacun", or what to choose first.
    QString summaryLine() const;
    bool canCreate();

    void create();
    void importProgramme(const QString& path);
    void chooseDestination(const QString& path);

    const std::optional<QString>& errorText() const { return m_errorText; }
    const std::optional<OrganizerReport>& report() const { return m_report; }
    bool isRunning() const { return m_running; }

    // Opens a folder for the user (the file manager); empty where there is none.
    std::function<void(const QString& folder)> openFolder;

Q_SIGNALS:
    void changed();

private:
    bool foldUnwritableDestination(const OrganizerReport& report, const QString& destination);

    RiderFoldersStore& m_store;
    QList<ImportedPerson> m_namedPeople;
    std::optional<QString> m_errorText;
    std::optional<OrganizerReport> m_report;
    bool m_running = false;
};

} // namespace tavrin
