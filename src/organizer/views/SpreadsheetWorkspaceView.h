#pragma once

#include "organizer/WorkspaceStore.h"

#include <QTimer>
#include <QWidget>

class QLabel;
class QProgressBar;

namespace tavrin {

class CapsuleButton;
class CapsuleMenu;
class LibraryStore;
class LinkedLabelValue;
class OrganizerHistoryPanel;
class OrganizerHistoryView;
class SpreadsheetPane;
class SpreadsheetWorkspaceModel;
class UndoBanner;

// The spreadsheet workspace around the rows table of the selected spreadsheet: above it the
// programme, day, event and folder choices, the summary and the run with its progress; in the
// table the rider's names (typed by hand where the programme has none), the photos of each row
// and the status marks; under it the history panel.
class SpreadsheetWorkspaceView : public QWidget {
    Q_OBJECT

public:
    SpreadsheetWorkspaceView(LibraryStore& library, WorkspaceStore& workspace, SpreadsheetPane* pane);

    SpreadsheetWorkspaceModel* model() const { return m_model; }
    OrganizerHistoryView* historyView() const { return m_historyView; }

    // "Importer le programme…": picks a file and imports it into the workspace.
    void importProgramme();

    // The columns added to the rows table.
    int lastNameColumn() const { return m_lastNameColumn; }
    int firstNameColumn() const { return m_firstNameColumn; }
    int photosColumn() const { return m_photosColumn; }
    int statusColumn() const { return m_statusColumn; }

    CapsuleButton* programmeButton() const { return m_programmeButton; }
    CapsuleMenu* dayMenu() const { return m_dayMenu; }
    CapsuleMenu* eventMenu() const { return m_eventMenu; }
    CapsuleButton* sourceButton() const { return m_sourceButton; }
    CapsuleButton* destinationButton() const { return m_destinationButton; }
    CapsuleButton* runButton() const { return m_runButton; }
    CapsuleButton* cancelButton() const { return m_cancelButton; }
    CapsuleButton* followButton() const { return m_followButton; }
    QLabel* followStatusLabel() const { return m_followStatus; }
    QProgressBar* progressBar() const { return m_progress; }
    QLabel* summaryLabel() const { return m_summary; }
    QLabel* errorLabel() const { return m_error; }
    QLabel* reportLabel() const { return m_report; }
    UndoBanner* programmeBanner() const { return m_programmeBanner; }

private:
    void addColumns();
    void chooseFolder(WorkspaceStore::FolderKind kind);
    void updateChoices();
    void updateRunState();
    void showProgress(qint64 done, qint64 total, const QString& rider);
    void updateFollowState();

    SpreadsheetPane* m_pane;
    SpreadsheetWorkspaceModel* m_model;
    OrganizerHistoryPanel* m_historyPanel;
    OrganizerHistoryView* m_historyView;
    int m_lastNameColumn = -1, m_firstNameColumn = -1, m_photosColumn = -1, m_statusColumn = -1;

    CapsuleButton* m_programmeButton;
    CapsuleMenu* m_dayMenu;
    CapsuleMenu* m_eventMenu;
    LinkedLabelValue* m_source;
    CapsuleButton* m_sourceButton;
    LinkedLabelValue* m_destination;
    CapsuleButton* m_destinationButton;
    QLabel* m_summary;
    QLabel* m_issues;
    QLabel* m_error;
    QLabel* m_report;
    CapsuleButton* m_runButton;
    QWidget* m_progressRow;
    QProgressBar* m_progress;
    QLabel* m_progressRider;
    CapsuleButton* m_cancelButton;
    CapsuleButton* m_followButton;
    QLabel* m_followStatus;
    UndoBanner* m_programmeBanner;
    // Keeps « il y a N s » of the status line current.
    QTimer m_followClock;
};

} // namespace tavrin
