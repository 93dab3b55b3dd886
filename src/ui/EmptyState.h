#pragma once

#include <QWidget>

class QLabel;
class QHBoxLayout;
class QVBoxLayout;

namespace tavrin {

class CapsuleButton;

// A calm, centred message for a screen with nothing to show yet: a large symbol, a title, a
// line of explanation and the buttons that get the user going.
class EmptyState : public QWidget {
    Q_OBJECT

public:
    EmptyState(const QString& symbol, const QString& title, const QString& text = QString(), QWidget* parent = nullptr);

    CapsuleButton* addButton(const QString& text, const QString& symbol = QString(), bool prominent = false);
    // A place under the buttons for a widget another screen provides (the sync badge…).
    QVBoxLayout* accessorySlot() const { return m_accessories; }
    QString title() const;
    QString text() const;

private:
    QLabel* m_title;
    QLabel* m_text;
    QHBoxLayout* m_buttons;
    QVBoxLayout* m_accessories;
};

} // namespace tavrin
