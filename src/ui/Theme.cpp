#include "ui/Theme.h"

#include "ui/TavrinStyle.h"

#include <QApplication>
#include <QIcon>

// glib names a struct member "signals"; the keyword macros are off in this project.
#include <gio/gio.h>

namespace tavrin::Theme {

namespace {

struct State {
    bool styleInstalled = false;
    QPalette platformPalette;
    AppearancePreference preference = AppearancePreference::system;
    bool dark = false;
    GSettings* desktopInterface = nullptr;
};

State& state()
{
    static State s;
    return s;
}

QColor mixed(const QColor& a, const QColor& b, qreal t)
{
    return QColor::fromRgbF(a.redF() + (b.redF() - a.redF()) * t, a.greenF() + (b.greenF() - a.greenF()) * t,
                            a.blueF() + (b.blueF() - a.blueF()) * t);
}

QColor withAlpha(QColor c, qreal alpha)
{
    c.setAlphaF(alpha);
    return c;
}

bool desktopPrefersDark()
{
    State& s = state();
    if (s.desktopInterface) {
        gchar* scheme = g_settings_get_string(s.desktopInterface, "color-scheme");
        const bool dark = qstrcmp(scheme, "prefer-dark") == 0;
        g_free(scheme);
        if (dark) return true;
    }
    if (qEnvironmentVariable("GTK_THEME").endsWith(QStringLiteral(":dark"))) return true;
    return s.platformPalette.color(QPalette::Window).lightness() < 128;
}

void onDesktopSchemeChanged(GSettings*, gchar*, gpointer)
{
    if (state().preference == AppearancePreference::system) apply(AppearancePreference::system);
}

// The desktop's colour-scheme key, when its schema is installed; watched so that "Système"
// follows a change made while Tavrin runs.
void watchDesktopScheme()
{
    GSettingsSchemaSource* source = g_settings_schema_source_get_default();
    if (!source) return;
    GSettingsSchema* schema = g_settings_schema_source_lookup(source, "org.gnome.desktop.interface", TRUE);
    if (!schema) return;
    if (g_settings_schema_has_key(schema, "color-scheme")) {
        state().desktopInterface = g_settings_new("org.gnome.desktop.interface");
        g_signal_connect(state().desktopInterface, "changed::color-scheme", G_CALLBACK(onDesktopSchemeChanged), nullptr);
    }
    g_settings_schema_unref(schema);
}

void installStyleOnce()
{
    State& s = state();
    if (s.styleInstalled) return;
    s.styleInstalled = true;
    s.platformPalette = QApplication::palette();
    QApplication::setStyle(new TavrinStyle);
    // Desktops without an icon theme of their own (or the bare hicolor one) still find the
    // freedesktop icons of the Adwaita theme when it is installed.
    if (QIcon::fallbackThemeName().isEmpty() || QIcon::fallbackThemeName() == u"hicolor")
        QIcon::setFallbackThemeName(QStringLiteral("Adwaita"));
    watchDesktopScheme();
}

} // namespace

QColor accent(bool dark) { return dark ? QColor(0x4c, 0x8b, 0xf5) : QColor(0x2f, 0x6b, 0xd8); }
QColor red(bool dark) { return dark ? QColor(0xff, 0x5a, 0x4f) : QColor(0xd9, 0x3b, 0x30); }
QColor orange(bool dark) { return dark ? QColor(0xff, 0x9f, 0x0a) : QColor(0xe0, 0x86, 0x00); }
QColor green(bool dark) { return dark ? QColor(0x32, 0xc7, 0x5b) : QColor(0x2e, 0x9b, 0x4f); }

QPalette palette(bool dark)
{
    struct Colours {
        QColor window, text, base, alternate, button, light, midlight, mid, darkShade, shadow, placeholder, disabled;
    };
    const Colours c = dark ? Colours{QColor(0x1d, 0x1e, 0x21), QColor(0xe6, 0xe6, 0xe8), QColor(0x24, 0x25, 0x29),
                                     QColor(0x28, 0x29, 0x2d), QColor(0x2e, 0x2f, 0x34), QColor(0x3a, 0x3b, 0x40),
                                     QColor(0x30, 0x31, 0x36), QColor(0x45, 0x46, 0x4c), QColor(0x14, 0x15, 0x17),
                                     QColor(0x00, 0x00, 0x00), QColor(0x8c, 0x8d, 0x93), QColor(0x6a, 0x6b, 0x70)}
                           : Colours{QColor(0xf3, 0xf3, 0xf1), QColor(0x1f, 0x20, 0x23), QColor(0xff, 0xff, 0xff),
                                     QColor(0xf7, 0xf7, 0xf5), QColor(0xff, 0xff, 0xff), QColor(0xff, 0xff, 0xff),
                                     QColor(0xe8, 0xe8, 0xe6), QColor(0xc9, 0xc9, 0xc7), QColor(0xa0, 0xa0, 0x9e),
                                     QColor(0x6b, 0x6b, 0x6b), QColor(0x86, 0x87, 0x8c), QColor(0xa5, 0xa6, 0xaa)};
    QPalette p;
    p.setColor(QPalette::Window, c.window);
    p.setColor(QPalette::WindowText, c.text);
    p.setColor(QPalette::Base, c.base);
    p.setColor(QPalette::AlternateBase, c.alternate);
    p.setColor(QPalette::ToolTipBase, c.button);
    p.setColor(QPalette::ToolTipText, c.text);
    p.setColor(QPalette::PlaceholderText, c.placeholder);
    p.setColor(QPalette::Text, c.text);
    p.setColor(QPalette::Button, c.button);
    p.setColor(QPalette::ButtonText, c.text);
    p.setColor(QPalette::BrightText, Qt::white);
    p.setColor(QPalette::Light, c.light);
    p.setColor(QPalette::Midlight, c.midlight);
    p.setColor(QPalette::Mid, c.mid);
    p.setColor(QPalette::Dark, c.darkShade);
    p.setColor(QPalette::Shadow, c.shadow);
    p.setColor(QPalette::Highlight, accent(dark));
    p.setColor(QPalette::HighlightedText, Qt::white);
    p.setColor(QPalette::Link, accent(dark));
    p.setColor(QPalette::LinkVisited, accent(dark));
    for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        p.setColor(QPalette::Disabled, role, c.disabled);
    p.setColor(QPalette::Disabled, QPalette::Highlight, c.mid);
    p.setColor(QPalette::Inactive, QPalette::Highlight, accent(dark));
    return p;
}

void apply(AppearancePreference preference)
{
    installStyleOnce();
    State& s = state();
    s.preference = preference;
    s.dark = preference == AppearancePreference::dark
             || (preference == AppearancePreference::system && desktopPrefersDark());
    QApplication::setPalette(palette(s.dark));
}

bool isDark() { return state().dark; }

QColor secondaryText(const QPalette& palette) { return palette.color(QPalette::PlaceholderText); }

QColor capsuleFill(const QPalette& palette)
{
    return withAlpha(palette.color(QPalette::WindowText), palette.color(QPalette::Window).lightness() < 128 ? 0.10 : 0.06);
}

QColor divider(const QPalette& palette) { return withAlpha(palette.color(QPalette::WindowText), 0.13); }

QColor sidebarBackground(const QPalette& palette)
{
    return mixed(palette.color(QPalette::Window), palette.color(QPalette::WindowText), 0.035);
}

} // namespace tavrin::Theme
