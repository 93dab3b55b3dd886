#pragma once

// The « Réception » panel: where the photos of the day arrive, what to type into the cameras
// (in large type, read from a few steps away), each camera seen, the backup's state, and the card
// just inserted with its import and eject buttons.

#include <QTimer>
#include <QWidget>

class QLabel;

namespace tavrin {

class CapsuleButton;
class ReceptionController;

class ReceptionPanel : public QWidget {
    Q_OBJECT

public:
    explicit ReceptionPanel(ReceptionController& controller, QWidget* parent = nullptr);

    QLabel* settingsLabel() const { return m_settings; }
    QLabel* backupLabel() const { return m_backup; }
    QLabel* camerasLabel() const { return m_cameras; }
    QLabel* cardLabel() const { return m_card; }
    CapsuleButton* startButton() const { return m_start; }
    CapsuleButton* importButton() const { return m_import; }

    // Re-reads every line from the controller.
    void refresh();

private:
    ReceptionController& m_controller;
    QLabel* m_folder;
    QLabel* m_backupFolder;
    QLabel* m_settings;
    QLabel* m_message;
    QLabel* m_backup;
    QLabel* m_cameras;
    QLabel* m_unclassed;
    QLabel* m_card;
    CapsuleButton* m_chooseFolder;
    CapsuleButton* m_chooseBackup;
    CapsuleButton* m_start;
    CapsuleButton* m_import;
    CapsuleButton* m_eject;
    // « il y a 3 s » moves on by itself.
    QTimer m_clock;
};

} // namespace tavrin
