#pragma once

// The open panels of every screen behave alike: window-modal, gone once closed, « Annuler » and
// the screen's own prompt on their buttons, and nothing happens when the user cancels. Each opens
// where the photographer last chose that kind of file or folder, remembered in the user defaults.

#include <QString>

#include <functional>

class QFileDialog;

namespace tavrin::FileDialogs {

// Shows the dialog; `chosen` gets the path picked. Each kind of choice has a title of its own
// (« Importer le programme », « Dossier des photos », « Fichier filigrane »…), so the title keys
// the folder remembered for it.
void open(QFileDialog* dialog, const QString& prompt, const std::function<void(const QString&)>& chosen);
// Gives `chosen` the path unless it is empty (a cancelled choice).
void answer(const QString& path, const std::function<void(const QString&)>& chosen);

// The path last chosen in dialogs titled `title`, if any.
QString lastChoice(const QString& title);

} // namespace tavrin::FileDialogs
