#include "base/AppearancePreference.h"

namespace tavrin {

QString rawValue(AppearancePreference preference)
{
    switch (preference) {
    case AppearancePreference::light: return QStringLiteral("light");
    case AppearancePreference::dark: return QStringLiteral("dark");
    case AppearancePreference::system: break;
    }
    return QStringLiteral("system");
}

AppearancePreference appearancePreferenceFrom(const QString& raw)
{
    if (raw == u"light") return AppearancePreference::light;
    if (raw == u"dark") return AppearancePreference::dark;
    return AppearancePreference::system;
}

QString title(AppearancePreference preference)
{
    switch (preference) {
    case AppearancePreference::light: return QStringLiteral("Clair");
    case AppearancePreference::dark: return QStringLiteral("Sombre");
    case AppearancePreference::system: break;
    }
    return QStringLiteral("Système");
}

} // namespace tavrin
