#pragma once

#include <QDialog>

namespace tavrin {

// "À propos de Tavrin": the application's name, its version and what it is for.
class AboutDialog : public QDialog {
    Q_OBJECT

public:
    explicit AboutDialog(QWidget* parent = nullptr);

    // "Version 0.1.0", the version this program was built as.
    static QString versionText();
    static QString description();
};

} // namespace tavrin
