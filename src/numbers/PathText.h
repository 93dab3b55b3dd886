#pragma once

// Path extensions as file browsers see them: the text after the last dot of the last path
// component, where a leading dot (a hidden file's name) starts no extension.

#include <QString>
#include <QStringView>

namespace tavrin::PathText {

QStringView lastPathComponent(QStringView path);
// Without the dot; empty when there is none.
QStringView pathExtension(QStringView path);
// The path up to (not including) the extension's dot; the path itself when it has none.
QStringView deletingPathExtension(QStringView path);

} // namespace tavrin::PathText
