#pragma once

#include "ui/CapsuleButton.h"

#include <QButtonGroup>
#include <QWidget>

class QHBoxLayout;

namespace tavrin {

// Capsules joined on one track with thin dividers: the section bar, print formats, gallery
// layouts. An exclusive group keeps exactly one member checked, like a segmented control.
class FusedGroup : public QWidget {
    Q_OBJECT

public:
    explicit FusedGroup(bool exclusive, QWidget* parent = nullptr);

    // Adds a fused (or fusedIcon) capsule; checkable when the group is exclusive. `id` is what
    // checkedId() and idClicked() report.
    CapsuleButton* addButton(const QString& text, const QString& symbol, int id, bool iconOnly = false);
    CapsuleButton* button(int id) const;
    int checkedId() const { return m_group.checkedId(); }
    void setChecked(int id);

Q_SIGNALS:
    void idClicked(int id);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QButtonGroup m_group;
    QHBoxLayout* m_layout;
};

} // namespace tavrin
