#pragma once

#include "ui/CapsuleButton.h"

class QFrame;

namespace tavrin {

class SyncService;

// The sidebar's device button: the chosen devices at a glance; clicking it shows or hides the
// device panel above it.
class NearbyDevicePicker : public CapsuleButton {
    Q_OBJECT

public:
    explicit NearbyDevicePicker(SyncService& service, QWidget* parent = nullptr);

    bool showPanel() const;
    void setShowPanel(bool shown);
    QWidget* panel() const;

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void refresh();

    SyncService& m_service;
    QFrame* m_popover = nullptr;
};

} // namespace tavrin
