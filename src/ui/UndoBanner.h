#pragma once

// A line along a screen after a change that can be taken back: what was done, and « Annuler ».
// It stays until hidden (the change undone, or replaced by another).

#include <QFrame>

#include <optional>

class QAbstractButton;
class QLabel;

namespace tavrin {

class UndoBanner : public QFrame {
    Q_OBJECT

public:
    explicit UndoBanner(QWidget* parent = nullptr);

    // Shows the text, or hides the banner for none.
    void showText(const std::optional<QString>& text);
    QString text() const;
    QAbstractButton* undoButton() const { return m_undo; }

Q_SIGNALS:
    void undoRequested();

private:
    QLabel* m_text;
    QAbstractButton* m_undo;
};

} // namespace tavrin
