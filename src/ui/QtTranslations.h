#pragma once

// Qt's own dialogs (files, printing, colours, message-box buttons) speak French like the rest of
// the window, whatever the machine's language: Qt's French catalogue is installed once, at
// start-up, before any dialog is built, and Qt takes the system's locale to be French.

namespace tavrin::QtTranslations {

// Makes Qt's view of the system's locale French (the dates of the file dialog's detail view, the
// default locale of every widget) while the C library and the environment passed to the programs
// started from here stay the user's. Call it first thing, before the application object exists.
void useFrenchSystemLocale();

// Installs qtbase_fr from Qt's translations folder into the running application, with the few
// texts that catalogue lacks (« Dossier » in the file dialog); once only. False when the catalogue
// is not installed (Debian: qt6-translations-l10n): the dialogs then keep Qt's English texts.
bool installFrench();

} // namespace tavrin::QtTranslations
