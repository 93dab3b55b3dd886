#pragma once

#include <QString>
#include <QStringList>

namespace tavrin {

// The window's colour scheme; offered in this order everywhere.
enum class AppearancePreference { system, light, dark };

QString rawValue(AppearancePreference preference);
// Anything that is not one of the three raw values reads as system.
AppearancePreference appearancePreferenceFrom(const QString& raw);
// "Système", "Clair", "Sombre".
QString title(AppearancePreference preference);
inline constexpr AppearancePreference allAppearancePreferences[] = {
    AppearancePreference::system, AppearancePreference::light, AppearancePreference::dark};

} // namespace tavrin
