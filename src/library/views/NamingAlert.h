#pragma once

#include <QDialog>

#include <functional>

class QLineEdit;

namespace tavrin {

class CapsuleButton;

// The alert that names or renames a day or a spreadsheet: a title ("Nom du jour", "Renommer le
// tableur"…), one text field, "Annuler" and "Enregistrer". Return saves, Escape cancels.
class NamingAlert : public QDialog {
    Q_OBJECT

public:
    NamingAlert(const QString& title, const QString& text, QWidget* parent);

    // Opens a window-modal alert that calls `onSave` with the typed text on "Enregistrer".
    static NamingAlert* ask(QWidget* parent, const QString& title, const QString& text,
                            std::function<void(const QString&)> onSave);

    QLineEdit* field() const { return m_field; }
    CapsuleButton* saveButton() const { return m_save; }
    CapsuleButton* cancelButton() const { return m_cancel; }

private:
    QLineEdit* m_field;
    CapsuleButton* m_cancel;
    CapsuleButton* m_save;
};

} // namespace tavrin
