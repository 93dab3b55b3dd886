#pragma once

// "Choisir une application": every installed application, by name and icon, with a search field;
// replaces the folder panel of applications other desktops have.

#include "orders/OpenWithApps.h"

#include <QDialog>

class QLineEdit;
class QListWidget;
class QPushButton;

namespace tavrin {

class ApplicationChooserDialog : public QDialog {
    Q_OBJECT
public:
    explicit ApplicationChooserDialog(QWidget* parent = nullptr, QList<OpenWithApp> apps = OpenWithApps::allApps());

    QListWidget* list() const { return m_list; }
    QLineEdit* search() const { return m_search; }

Q_SIGNALS:
    void chosen(const OpenWithApp& app);

private:
    void filter(const QString& text);
    void confirm();

    QList<OpenWithApp> m_apps;
    QLineEdit* m_search;
    QListWidget* m_list;
    QPushButton* m_open;
};

} // namespace tavrin
