#pragma once

// The file and folder choices of the organizer screens and the opening of a folder in the file
// manager. Tests answer them through the hooks instead of real dialogs.

#include <QString>

#include <functional>

class QWidget;

namespace tavrin::OrganizerDialogs {

// The dialogs are window-modal and do not block: `chosen` is called with the path when the user
// confirms, not at all when he cancels.

// "Importer le programme" with the button "Importer", PDF and workbook files.
void chooseProgrammeFile(QWidget* parent, const std::function<void(const QString& path)>& chosen);
// A folder, with the dialog's title and the button "Choisir".
void chooseFolder(QWidget* parent, const QString& title, const std::function<void(const QString& path)>& chosen);
// « Remplacer le programme ? … » with « Remplacer » and « Annuler », the latter by default.
void askReplaceProgramme(QWidget* parent, const QString& question, const std::function<void(bool replace)>& answered);
// Shows the folder in the user's file manager.
void openFolder(const QString& path);

// When set, these answer at once instead of the dialogs (an empty answer is a cancel) and of the
// file manager.
struct Hooks {
    std::function<QString()> programmeFile;
    std::function<QString(const QString& title)> folder;
    std::function<void(const QString& path)> openFolder;
    std::function<bool(const QString& question)> replaceProgramme;
};
Hooks& hooks();

} // namespace tavrin::OrganizerDialogs
