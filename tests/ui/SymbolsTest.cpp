#include "ui/Symbols.h"
#include "ui/Theme.h"

#include <QApplication>
#include <QImage>

#include <gtest/gtest.h>

using namespace tavrin;

namespace {

struct Ink {
    int pixels = 0;
    int meanLightness = 0;
};

Ink inkOf(const QIcon& icon)
{
    const QImage image = icon.pixmap(QSize(24, 24), 1.0).toImage().convertToFormat(QImage::Format_ARGB32);
    Ink ink;
    qint64 lightness = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c.alpha() < 128) continue;
            ++ink.pixels;
            lightness += c.lightness();
        }
    if (ink.pixels) ink.meanLightness = int(lightness / ink.pixels);
    return ink;
}

class ThemeName {
public:
    explicit ThemeName(const QString& name) : m_theme(QIcon::themeName()), m_fallback(QIcon::fallbackThemeName())
    {
        QIcon::setThemeName(name);
        QIcon::setFallbackThemeName(name);
    }
    ~ThemeName()
    {
        QIcon::setThemeName(m_theme);
        QIcon::setFallbackThemeName(m_fallback);
    }

private:
    QString m_theme, m_fallback;
};

} // namespace

TEST(Symbols, EverySymbolIsDrawnFromTheIconThemeOrOurOwnAndFollowsTheAppearance)
{
    for (const char* theme : {"Adwaita", "no-such-theme"}) {
        ThemeName name{QString::fromLatin1(theme)};
        for (AppearancePreference appearance : {AppearancePreference::light, AppearancePreference::dark}) {
            Theme::apply(appearance);
            for (const QString& symbol : Symbols::all()) {
                const Ink ink = inkOf(Symbols::icon(symbol));
                SCOPED_TRACE(symbol.toStdString() + " in " + theme);
                EXPECT_GT(ink.pixels, 8) << "drawn";
                if (appearance == AppearancePreference::dark) EXPECT_GT(ink.meanLightness, 150) << "light on dark";
                else EXPECT_LT(ink.meanLightness, 100) << "dark on light";
            }
        }
    }
    Theme::apply(AppearancePreference::light);
    const QColor red = Theme::red(false);
    const QImage mark = Symbols::icon("checkmark.circle.fill", red).pixmap(QSize(24, 24), 1.0).toImage();
    EXPECT_EQ(mark.pixelColor(12, 4).rgb(), red.rgb()) << "status marks keep their own colour";
    EXPECT_EQ(mark.pixelColor(10, 15).alpha(), 0) << "the check is cut out of the disc";
}
