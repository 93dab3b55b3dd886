#pragma once

// « Proposer les lignes » in the spreadsheet screen: the rows found in the photos' capture
// times, shown apart from the typed rows, the doubtful ones asking their question in place,
// and « Accepter les propositions ».

#include <QWidget>

class QLabel;
class QTableWidget;

namespace tavrin {

class CapsuleButton;
class LibraryStore;
class RoundProposalModel;
class SpreadsheetPane;
class WorkspaceStore;

class RoundProposalView : public QWidget {
    Q_OBJECT

public:
    RoundProposalView(LibraryStore& library, WorkspaceStore& workspace, SpreadsheetPane* pane);

    RoundProposalModel* model() const { return m_model; }
    CapsuleButton* proposeButton() const { return m_proposeButton; }
    CapsuleButton* acceptButton() const { return m_acceptButton; }
    CapsuleButton* ignoreButton() const { return m_ignoreButton; }
    QTableWidget* table() const { return m_table; }
    QLabel* summaryLabel() const { return m_summary; }

    // Columns of the proposals table.
    enum Column { photoColumn, numberColumn, riderColumn, photosColumn, statusColumn, columnCount };

private:
    void rebuild();
    void updateEnabled();
    QWidget* absenceQuestion(int questionIndex);

    SpreadsheetPane* m_pane;
    RoundProposalModel* m_model;
    CapsuleButton* m_proposeButton;
    QLabel* m_summary;
    QWidget* m_panel;
    QTableWidget* m_table;
    CapsuleButton* m_acceptButton;
    CapsuleButton* m_ignoreButton;
    bool m_filling = false;
    bool m_rebuildPending = false;
};

} // namespace tavrin
