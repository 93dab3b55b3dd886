#pragma once

// The menu that starts a print: one entry per photo paper, then the print panel with its own
// settings. Files that are not photos are left out.

#include <QMenu>
#include <QStringList>

namespace tavrin {

class PrintPhotosMenu : public QMenu {
    Q_OBJECT
public:
    PrintPhotosMenu(const QStringList& files, const QString& label, QWidget* parent = nullptr);

    // The factory the orders screen is given.
    static QMenu* create(const QStringList& files, QWidget* parent);

    const QStringList& photos() const { return m_photos; }

private:
    QStringList m_photos;
};

} // namespace tavrin
