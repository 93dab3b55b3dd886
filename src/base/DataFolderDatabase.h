#pragma once

// "tavrin.sqlite" in the data folder: what grows with the show (one record per photo, per
// payment), where JSON files would be read and rewritten whole on every change. Its schema is
// one ordered list of steps for every room, so that one version number says what a file holds.

#include "base/Database.h"

#include <memory>

namespace tavrin::DataFolderDatabase {

inline constexpr QLatin1StringView fileName{"tavrin.sqlite"};

// A connection to the file of that data folder, its schema brought up to date. Throws Error.
std::unique_ptr<Database> open(const QString& dataFolder);

// Every step of the schema, in order.
const QList<Database::Migration>& migrations();

} // namespace tavrin::DataFolderDatabase
