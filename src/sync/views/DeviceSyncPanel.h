#pragma once

#include <QWidget>

class QLabel;
class QVBoxLayout;

namespace tavrin {

class SyncService;

// The list of devices to sync with: one row per listed device with its state, a switch to
// choose it and a button to forget it.
class DeviceSyncPanel : public QWidget {
    Q_OBJECT

public:
    explicit DeviceSyncPanel(SyncService& service, QWidget* parent = nullptr);

private:
    void rebuild();
    QWidget* deviceRow(const QString& name);

    SyncService& m_service;
    QVBoxLayout* m_rows;
    QLabel* m_empty;
};

} // namespace tavrin
