#pragma once

#include <QWidget>

class QLabel;
class QListWidget;
class QShortcut;

namespace tavrin {

class CapsuleButton;
class LinkedLabelValue;
class RiderFoldersModel;
class RiderFoldersStore;
class UndoBanner;

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
    UndoBanner* programmeBanner() const { return m_programmeBanner; }

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
    UndoBanner* m_programmeBanner;
    QShortcut* m_undoShortcut;
};

} // namespace tavrin
