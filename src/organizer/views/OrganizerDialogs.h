#pragma once

// The file and folder choices of the organizer screens and the opening of a folder in the file
// manager. Tests answer them through the hooks instead of real dialogs.

#include <QString>

#include <functional>

class QWidget;

namespace tavrin::OrganizerDialogs {

// "Importer le programme" with the button "Importer", PDF and workbook files; empty when
// cancelled.
QString chooseProgrammeFile(QWidget* parent);
// A folder, with the dialog's title and the button "Choisir"; empty when cancelled.
QString chooseFolder(QWidget* parent, const QString& title);
// Shows the folder in the user's file manager.
void openFolder(const QString& path);

// When set, these answer instead of the dialogs and the file manager.
struct Hooks {
    std::function<QString()> programmeFile;
    std::function<QString(const QString& title)> folder;
    std::function<void(const QString& path)> openFolder;
};
Hooks& hooks();

} // namespace tavrin::OrganizerDialogs
