#pragma once

// The logic of the rider-folders screen ("Paniers"): the summary line, whether the create
// button works, the create action and its report, the programme import and the destination.

#include "organizer/OrganizerReport.h"
#include "organizer/ProgrammeReplacement.h"
#include "library/LibraryStore.h"
#include "organizer/RiderFoldersStore.h"

#include <QObject>

#include <functional>

namespace tavrin {

class RiderFoldersModel : public QObject {
    Q_OBJECT

public:
    explicit RiderFoldersModel(RiderFoldersStore& store, QObject* parent = nullptr);
    ~RiderFoldersModel() override;

    RiderFoldersStore& store() const { return m_store; }
    // The riders with names, as listed and created (kept in step with the programme).
    const QList<ImportedPerson>& namedPeople() const { return m_namedPeople; }

    // "24 cavaliers · un dossier NOM PRENOM chacun", or what to choose first.
    QString summaryLine() const;
    bool canCreate();

    void create();
    // A programme that would leave rows that match today without a rider waits for an answer
    // to replaceQuestion; any other replaces at once.
    void importProgramme(const QString& path);
    const std::optional<QString>& replaceQuestion() const { return m_pendingProgramme.question(); }
    void answerReplaceQuestion(bool replace);
    // « Programme remplacé par « facture.pdf » (1 cavalier). » until undone or replaced again.
    const std::optional<QString>& replacementBanner() const { return m_replacementBanner; }
    void undoProgrammeReplacement();
    // The notes whose rows the question counts; none: no question.
    const LibraryStore* library = nullptr;
    void chooseDestination(const QString& path);

    const std::optional<QString>& errorText() const { return m_errorText; }
    const std::optional<OrganizerReport>& report() const { return m_report; }
    bool isRunning() const { return m_running; }

    // Opens a folder for the user (the file manager); empty where there is none.
    std::function<void(const QString& folder)> openFolder;

Q_SIGNALS:
    void changed();
    void replaceQuestionAsked();

private:
    bool foldUnwritableDestination(const OrganizerReport& report, const QString& destination);
    void replaceProgramme(const StoredProgramme::ReadFile& read);

    RiderFoldersStore& m_store;
    QList<ImportedPerson> m_namedPeople;
    std::optional<QString> m_errorText;
    std::optional<OrganizerReport> m_report;
    bool m_running = false;
    PendingProgramme m_pendingProgramme;
    std::optional<QString> m_replacementBanner;
};

} // namespace tavrin
