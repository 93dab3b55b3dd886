#include "editing/views/RetouchPanel.h"
#include "ui/FineLineSlider.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QApplication>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QtTest/qtestspontaneevent.h>
#include <QWheelEvent>

#include <gtest/gtest.h>

using namespace tavrin;

namespace {

RetouchSliderRow* row(RetouchPanel& panel, const QString& title, int occurrence = 0)
{
    for (auto* r : panel.findChildren<RetouchSliderRow*>())
        if (r->setup().title == title && occurrence-- == 0) return r;
    return nullptr;
}

void type(RetouchSliderRow* r, const QString& text)
{
    auto* field = r->findChild<QLineEdit*>();
    field->setText(text);
    Q_EMIT field->editingFinished();
}

void turnWheel(QWidget* over, int notches)
{
    const QPointF at(over->width() / 2.0, over->height() / 2.0);
    QWheelEvent event(at, over->mapToGlobal(at), QPoint(), QPoint(0, -120 * notches), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    // As the mouse sends it: only spontaneous wheel events go on to the parents.
    QSpontaneKeyEvent::setSpontaneous(&event);
    qApp->notify(over, &event);
}

} // namespace

TEST(RetouchPanel, TheWheelScrollsThePanelAndTurnsOnlyAFocusedSlider)
{
    QScrollArea scroll;
    scroll.setWidgetResizable(true);
    auto* panel = new RetouchPanel;
    scroll.setWidget(panel);
    scroll.resize(360, 300); // far shorter than the panel, as on a laptop screen
    scroll.show();
    scroll.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&scroll));
    auto* slider = row(*panel, "Contraste")->findChild<FineLineSlider*>();
    const int before = slider->value();
    QSignalSpy spy(panel, &RetouchPanel::settingsChanged);

    ASSERT_GT(scroll.verticalScrollBar()->maximum(), 0);
    turnWheel(slider, 2);
    EXPECT_EQ(slider->value(), before);
    EXPECT_EQ(spy.count(), 0);
    EXPECT_GT(scroll.verticalScrollBar()->value(), 0);
    EXPECT_FALSE(slider->hasFocus()); // the wheel gives no focus either

    // Clicked or tabbed to, the slider takes the wheel.
    slider->setFocus(Qt::MouseFocusReason);
    const int scrolled = scroll.verticalScrollBar()->value();
    turnWheel(slider, 1);
    EXPECT_NE(slider->value(), before);
    EXPECT_EQ(spy.count(), 1);
    EXPECT_EQ(scroll.verticalScrollBar()->value(), scrolled);

    // The same rule for any value control given to takeWheelOnlyWhenFocused.
    auto* other = new QSlider(Qt::Horizontal, panel);
    takeWheelOnlyWhenFocused(other);
    other->show();
    turnWheel(other, 1);
    EXPECT_EQ(other->value(), 0);
}

TEST(RetouchPanel, SharpeningControlsWaitForOptimizedSharpness)
{
    RetouchPanel panel;
    const auto sharpening = {row(panel, "Quantité"), row(panel, "Rayon"), row(panel, "Réduction du bruit")};
    QCheckBox* lensBlur = panel.findChildren<QCheckBox*>()[1];
    for (auto* r : sharpening) EXPECT_FALSE(r->isEnabled()) << r->setup().title.toStdString();
    EXPECT_FALSE(lensBlur->isEnabled());
    EXPECT_TRUE(row(panel, "Contraste")->isEnabled());

    panel.findChildren<QCheckBox*>().first()->setChecked(true);
    for (auto* r : sharpening) EXPECT_TRUE(r->isEnabled());
    EXPECT_TRUE(lensBlur->isEnabled());

    panel.setSettings(PhotoRetouchSettings());
    EXPECT_FALSE(row(panel, "Quantité")->isEnabled());
}

TEST(RetouchPanel, ShowsEveryControlWithItsTexts)
{
    RetouchPanel panel;
    QStringList titles;
    for (auto* r : panel.findChildren<RetouchSliderRow*>()) {
        titles << r->setup().title;
        EXPECT_EQ(r->findChild<QLineEdit*>()->placeholderText(), QStringLiteral("Saisir une valeur"));
        EXPECT_FALSE(r->toolTip().isEmpty());
    }
    EXPECT_EQ(titles, (QStringList{"Quantité", "Rayon", "Réduction du bruit", "Contraste", "Luminosité", "Vibrance",
                                   "Saturation", "Gamma", "Exposition", "Intensité", "Gamme de tons", "Rayon", "Intensité",
                                   "Gamme de tons", "Rayon"}));
    QStringList boxes;
    for (auto* b : panel.findChildren<QCheckBox*>()) boxes << b->text();
    EXPECT_EQ(boxes, (QStringList{"Netteté optimisée", "Supprimer le flou de l’objectif", "Contraste auto"}));
    QStringList groups;
    for (auto* g : panel.findChildren<QGroupBox*>()) groups << g->title();
    EXPECT_EQ(groups, (QStringList{"Tons foncés", "Tons clairs"}));
    EXPECT_EQ(row(panel, "Réduction du bruit")->toolTip(), QStringLiteral("Limite l’accentuation du grain, en pourcentage"));

    // Gamma is drawn from 1,00, the others from the start of their range; fields show the defaults.
    auto* gammaSlider = row(panel, "Gamma")->findChild<FineLineSlider*>();
    EXPECT_EQ(gammaSlider->neutralValue(), 100);
    EXPECT_EQ(gammaSlider->value(), 100);
    auto* contrastSlider = row(panel, "Contraste")->findChild<FineLineSlider*>();
    EXPECT_EQ(contrastSlider->neutralValue(), contrastSlider->minimum());
    EXPECT_EQ(row(panel, "Gamma")->findChild<QLineEdit*>()->text(), QStringLiteral("1,00"));
    EXPECT_EQ(row(panel, "Rayon", 1)->findChild<QLineEdit*>()->text(), QStringLiteral("30,0"));
}

TEST(RetouchPanel, EveryChangeEmitsTheSettings)
{
    RetouchPanel panel;
    QSignalSpy spy(&panel, &RetouchPanel::settingsChanged);
    type(row(panel, "Contraste"), QStringLiteral("12,5 %"));
    ASSERT_EQ(spy.count(), 1);
    EXPECT_EQ(spy.last().first().value<PhotoRetouchSettings>().contrast, 12.5);
    type(row(panel, "Exposition"), QStringLiteral("-0.5 IL"));
    EXPECT_EQ(panel.settings().exposure, -0.5);
    EXPECT_EQ(row(panel, "Exposition")->findChild<QLineEdit*>()->text(), QString::fromUtf8("\u22120,50"));
    type(row(panel, "Luminosité"), QStringLiteral("400"));
    EXPECT_EQ(panel.settings().brightness, 100); // brought back into the slider's range
    type(row(panel, "Vibrance"), QStringLiteral("beaucoup"));
    EXPECT_EQ(panel.settings().vibrance, 0);
    EXPECT_EQ(spy.count(), 3);

    row(panel, "Intensité", 1)->findChild<FineLineSlider*>()->setValue(-250); // −25,0 %
    EXPECT_DOUBLE_EQ(panel.settings().highlights, -25);
    panel.findChildren<QCheckBox*>().last()->setChecked(true);
    EXPECT_TRUE(panel.settings().autoContrast);
    EXPECT_EQ(spy.count(), 5);

    PhotoRetouchSettings s;
    s.gamma = 1.8;
    panel.setSettings(s);
    EXPECT_EQ(spy.count(), 5);
    EXPECT_EQ(row(panel, "Gamma")->findChild<QLineEdit*>()->text(), QStringLiteral("1,80"));
    EXPECT_FALSE(panel.findChildren<QCheckBox*>().last()->isChecked());
}
