#pragma once

#include "base/AppearancePreference.h"

#include <QColor>
#include <QPalette>

namespace tavrin {

// Light and dark palettes, the one accent colour, spacing and radii. Every screen takes its
// colours from the application palette and its shapes from TavrinStyle, so switching the
// appearance is one call here.
namespace Theme {

inline constexpr int spacing = 8;
inline constexpr int smallSpacing = 4;
inline constexpr int largeSpacing = 16;
inline constexpr int controlHeight = 28;
inline constexpr int tinyControlHeight = 22;

QPalette palette(bool dark);
// The accent of highlights and of the prominent button.
QColor accent(bool dark);
// The three status colours of the spreadsheet screen.
QColor red(bool dark);
QColor orange(bool dark);
QColor green(bool dark);

// Installs the style on first use and the palette of `preference` on the application; system
// follows the desktop's colour scheme.
void apply(AppearancePreference preference);
bool isDark();

// Secondary text (counts, help lines) and the faint fills of capsules and dividers, taken from a
// palette so they follow the appearance.
QColor secondaryText(const QPalette& palette);
QColor capsuleFill(const QPalette& palette);
QColor divider(const QPalette& palette);
QColor sidebarBackground(const QPalette& palette);

} // namespace Theme

} // namespace tavrin
