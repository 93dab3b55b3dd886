#pragma once

#include "ui/TavrinStyle.h"

#include <QToolButton>

namespace tavrin {

// Every button of the screens. glass is the everyday button, prominent the one main action of a
// screen, icon and tinyIcon show only their symbol (their text becomes the help), fused and
// fusedIcon are the members of a FusedGroup.
class CapsuleButton : public QToolButton {
    Q_OBJECT

public:
    using Kind = CapsuleKind;

    explicit CapsuleButton(Kind kind, QWidget* parent = nullptr);
    CapsuleButton(Kind kind, const QString& text, const QString& symbol = QString(), QWidget* parent = nullptr);

    Kind kind() const { return m_kind; }
    // Switches between a labelled and an icon-only look (a narrow bar falls back to icons).
    void setKind(Kind kind);
    // The width the button takes as a labelled glass capsule, whatever its kind of the moment.
    int labelledWidth() const;
    // The icon of an interface symbol name (see Symbols).
    void setSymbol(const QString& symbol);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void initStyleOption(StyleOptionCapsule* option) const;
    bool event(QEvent* event) override;

private:
    Kind m_kind;
};

// A capsule that opens a menu (day, event, print paper, open with…).
class CapsuleMenu : public CapsuleButton {
    Q_OBJECT

public:
    // The menu (menu()) is owned by the button.
    explicit CapsuleMenu(Kind kind, const QString& text = QString(), const QString& symbol = QString(),
                         QWidget* parent = nullptr);
};

} // namespace tavrin
