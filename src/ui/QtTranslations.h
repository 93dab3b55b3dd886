#pragma once

// Qt's own dialogs (files, printing, colours, message-box buttons) speak French like the rest of
// the window: Qt's French catalogue is installed once, at start-up, before any dialog is built.

namespace tavrin::QtTranslations {

// Installs qtbase_fr from Qt's translations folder into the running application; once only.
// False when the catalogue is not installed (Debian: qt6-translations-l10n): the dialogs then keep
// Qt's English texts.
bool installFrench();

} // namespace tavrin::QtTranslations
