#pragma once

#include <QStringList>

#include <functional>

namespace tavrin::cli {

// Marks handed-over files delivered, as the orders screen does after a hand-over. Set by the
// orders commands (the orders store's markDelivered); unset, nothing is recorded.
std::function<void(const QStringList& paths)>& handOverMarkDelivered();

} // namespace tavrin::cli
