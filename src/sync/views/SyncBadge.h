#pragma once

#include "sync/SyncStatus.h"

#include <QWidget>

#include <functional>
#include <optional>

namespace tavrin {

class SyncService;

// A capsule with a coloured dot and the sync status; clicking it runs onRetry.
class SyncBadge : public QWidget {
    Q_OBJECT

public:
    explicit SyncBadge(QWidget* parent = nullptr);

    const SyncStatus& status() const { return m_status; }
    void setStatus(const SyncStatus& status);
    // Shown instead of the status's own title when set.
    const std::optional<QString>& title() const { return m_title; }
    void setTitle(const std::optional<QString>& title);
    std::function<void()> onRetry;

    // Shows the service's status with its friendly title; a click restarts the sync.
    void follow(SyncService& service);

    QString text() const;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void refresh();

    SyncStatus m_status;
    std::optional<QString> m_title;
};

} // namespace tavrin
