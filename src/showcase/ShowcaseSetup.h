#pragma once

// Where the showcase takes its folders from when none is given: the orders root of the orders
// screen, and the destination of the last organisation (the riders' folders).

#include <QString>

#include <optional>

namespace tavrin::ShowcaseSetup {

// `settingsFile`: the orders store's file (OrdersStore::fileURL()).
std::optional<QString> ordersRoot(const QString& settingsFile);
std::optional<QString> lastOrganisedFolder();

} // namespace tavrin::ShowcaseSetup
