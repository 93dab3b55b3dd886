#include "ui/Theme.h"

#include <QApplication>
#include <QCheckBox>
#include <QStyle>
#include <QStyleOptionButton>

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

// In the dark appearance a checkbox must still read as a box, ticked or not: its outline stands
// out from the window, and a ticked one is filled with the accent.
TEST(Theme, CheckboxesShowInTheDarkAppearance)
{
    Theme::apply(AppearancePreference::dark);
    const auto indicator = [](bool checked) {
        QCheckBox box(QStringLiteral("Netteté optimisée"));
        box.setChecked(checked);
        box.resize(box.sizeHint());
        QStyleOptionButton option;
        option.initFrom(&box);
        const QRect square = box.style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, &box);
        return std::pair(box.grab().toImage().copy(square), box.palette().color(QPalette::Window));
    };
    const auto [off, window] = indicator(false);
    int strongest = 0;
    for (int y = 0; y < off.height(); ++y)
        for (int x = 0; x < off.width(); ++x)
            strongest = std::max(strongest, std::abs(off.pixelColor(x, y).lightness() - window.lightness()));
    EXPECT_GT(strongest, 60) << "the empty box's outline";

    const auto [on, unused] = indicator(true);
    const QColor accent = QApplication::palette().color(QPalette::Highlight);
    int filled = 0;
    for (int y = 0; y < on.height(); ++y)
        for (int x = 0; x < on.width(); ++x) {
            const QColor c = on.pixelColor(x, y);
            if (std::abs(c.red() - accent.red()) + std::abs(c.green() - accent.green()) + std::abs(c.blue() - accent.blue()) < 30) ++filled;
        }
    EXPECT_GT(filled, on.width() * on.height() / 4) << "the ticked box is filled with the accent";
    Theme::apply(AppearancePreference::light);
}
