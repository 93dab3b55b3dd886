#pragma once

#include <QWidget>

class QLabel;
class QListWidget;

namespace tavrin {

class CapsuleButton;
class LinkedLabelValue;
class RiderFoldersModel;
class RiderFoldersStore;

// The "Paniers" section: a programme and a destination folder, the riders of the programme, and
// the button that prepares one empty "NOM PRENOM" folder per rider, with its report.
class RiderFoldersView : public QWidget {
    Q_OBJECT

public:
    explicit RiderFoldersView(RiderFoldersStore& store, QWidget* parent = nullptr);

    RiderFoldersModel* model() const { return m_model; }
    // "Importer le programme…" while this section is shown.
    void importProgramme();

    CapsuleButton* programmeButton() const { return m_programmeButton; }
    CapsuleButton* destinationButton() const { return m_destinationButton; }
    CapsuleButton* createButton() const { return m_createButton; }
    QListWidget* riders() const { return m_riders; }
    QLabel* summaryLabel() const { return m_summary; }
    QLabel* errorLabel() const { return m_error; }
    QLabel* reportLabel() const { return m_report; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void update();

    RiderFoldersModel* m_model;
    CapsuleButton* m_programmeButton;
    LinkedLabelValue* m_programme;
    CapsuleButton* m_destinationButton;
    LinkedLabelValue* m_destination;
    QLabel* m_summary;
    QListWidget* m_riders;
    CapsuleButton* m_createButton;
    QLabel* m_error;
    QLabel* m_report;
};

} // namespace tavrin
