#pragma once

// The open panels of every screen behave alike: window-modal, gone once closed, « Annuler » and
// the screen's own prompt on their buttons, and nothing happens when the user cancels.

#include <QString>

#include <functional>

class QFileDialog;

namespace tavrin::FileDialogs {

// Shows the dialog; `chosen` gets the path picked.
void open(QFileDialog* dialog, const QString& prompt, const std::function<void(const QString&)>& chosen);
// Gives `chosen` the path unless it is empty (a cancelled choice).
void answer(const QString& path, const std::function<void(const QString&)>& chosen);

} // namespace tavrin::FileDialogs
