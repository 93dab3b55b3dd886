#pragma once

// The open panels of the orders screens (and any other screen): window-modal file dialogs that
// call `chosen` with the path when the user confirms, not at all when he cancels. They go through
// QFileDialog so that desktop portals serve them where present.

#include "orders/OpenWithApps.h"

#include <QString>
#include <QStringList>

#include <functional>

class QWidget;

namespace tavrin::OpenPanels {

// Folders only, with a "new folder" button: the orders root ("Dossier des commandes", "Choisir").
void pickFolder(QWidget* parent, const QString& title, const QString& prompt, const std::function<void(const QString&)>& chosen);
// An image file: a watermark ("Fichier filigrane", "Choisir").
void pickImage(QWidget* parent, const QString& title, const QString& prompt, const std::function<void(const QString&)>& chosen);
// "Choisir une application" / "Ouvrir": every installed application, by name and icon.
void pickApplication(QWidget* parent, const std::function<void(const OpenWithApp&)>& chosen);
// "Importer le programme" / "Importer": PDF, xlsx and xlsm files.
void pickProgramme(QWidget* parent, const std::function<void(const QString&)>& chosen);

// The image patterns offered: PNG, JPEG, TIFF, GIF, WebP, and HEIC/HEIF when libvips reads them.
QStringList imagePatterns();

// When set, these answer at once instead of the dialogs (an empty answer is a cancel).
struct Hooks {
    std::function<QString(const QString& title)> folder;
    std::function<QString(const QString& title)> image;
    std::function<QString()> application; // a desktop-entry id
    std::function<QString()> programme;
};
Hooks& hooks();

} // namespace tavrin::OpenPanels
