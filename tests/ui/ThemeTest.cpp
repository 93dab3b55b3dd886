#include "ui/Theme.h"

#include <QApplication>

#include <gtest/gtest.h>

using namespace tavrin;

TEST(Theme, SystemFollowsTheDesktopAndTheChoiceOverridesIt)
{
    const QByteArray saved = qgetenv("GTK_THEME");
    qputenv("GTK_THEME", "Adwaita:dark");
    Theme::apply(AppearancePreference::system);
    EXPECT_TRUE(Theme::isDark()) << "a dark desktop theme";
    Theme::apply(AppearancePreference::light);
    EXPECT_FALSE(Theme::isDark());
    EXPECT_GT(QApplication::palette().color(QPalette::Base).lightness(), 200);
    qputenv("GTK_THEME", "Adwaita");
    Theme::apply(AppearancePreference::system);
    EXPECT_FALSE(Theme::isDark()) << "the offscreen platform's palette is light";
    Theme::apply(AppearancePreference::dark);
    EXPECT_TRUE(Theme::isDark());
    EXPECT_LT(QApplication::palette().color(QPalette::Base).lightness(), 60);
    if (saved.isNull()) qunsetenv("GTK_THEME");
    else qputenv("GTK_THEME", saved);
    Theme::apply(AppearancePreference::light);
}
