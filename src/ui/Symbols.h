#pragma once

#include <QColor>
#include <QIcon>
#include <QString>
#include <QStringList>

// Icons by the interface's symbol names ("basket", "trash", "checkmark.circle.fill"…). One
// table maps each symbol to a freedesktop icon name; the icon theme's symbolic icon is used when
// it has one, otherwise our own drawing. Both are tinted when painted (with the palette's text
// colour, or a fixed colour for status marks), so they follow light and dark.
namespace tavrin::Symbols {

QIcon icon(const QString& symbol);
QIcon icon(const QString& symbol, const QColor& tint);

// The freedesktop name of a symbol; empty for symbols we always draw ourselves.
QString freedesktopName(const QString& symbol);
// Every symbol of the table.
QStringList all();

} // namespace tavrin::Symbols
