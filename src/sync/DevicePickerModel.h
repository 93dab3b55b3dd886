#pragma once

#include "sync/SyncStatus.h"

#include <QString>

namespace tavrin {

class SyncService;

// What the device picker, its panel and the sync badge show, read from the sync service.
// Symbols are the names the icon table of the views maps onto the icon theme.
namespace DevicePickerModel {

// "Choisir un appareil", "3 appareils à proximité", "iPhone 1A2B · hors de portée", "2 appareils · 1 en ligne"…
QString labelTitle(const SyncService& service);
QString pickerSymbol(const SyncService& service);
// "candybarphone" for Android devices, "iphone" otherwise.
QString deviceSymbol(const QString& name);
// "Synchronisé", "Lien en cours", "En ligne" or "Hors de portée".
QString deviceState(const SyncService& service, const QString& name);
// The badge's help: the status title while synced, an invitation to restart otherwise.
QString badgeHelp(const SyncStatus& status, const QString& statusTitle);

} // namespace DevicePickerModel

} // namespace tavrin
