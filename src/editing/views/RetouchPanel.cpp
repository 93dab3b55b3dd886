#include "editing/views/RetouchPanel.h"

#include "ui/FineLineSlider.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpression>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include <cmath>

namespace tavrin {

namespace {

QString formatted(double value, int decimals)
{
    QString text = QString::number(value, 'f', decimals).replace(QLatin1Char('.'), QLatin1Char(','));
    if (text.startsWith(QLatin1Char('-'))) text.replace(0, 1, QChar(0x2212));
    return text;
}

} // namespace

std::optional<double> RetouchPanel::parseValue(const QString& text)
{
    QString t = text;
    t.replace(QChar(0x2212), QLatin1Char('-')).replace(QLatin1Char(','), QLatin1Char('.'));
    // Units typed after the number ("12 %", "1,5 px", "0,5 IL") and spaces of every kind.
    t.remove(QRegularExpression(QStringLiteral("[%\\s\\x{00A0}\\x{202F}]|px|IL"), QRegularExpression::CaseInsensitiveOption));
    bool ok = false;
    const double value = t.toDouble(&ok);
    if (!ok || !std::isfinite(value)) return std::nullopt;
    return value;
}

RetouchSliderRow::RetouchSliderRow(const Setup& setup, QWidget* parent) : QWidget(parent), m_setup(setup)
{
    setToolTip(setup.help);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 2, 0, 2);
    auto* top = new QHBoxLayout;
    auto* title = new QLabel(setup.title);
    title->setObjectName(QStringLiteral("title"));
    top->addWidget(title, 1);
    m_field = new QLineEdit;
    m_field->setPlaceholderText(QStringLiteral("Saisir une valeur"));
    m_field->setAlignment(Qt::AlignRight);
    m_field->setMaximumWidth(110);
    m_field->setToolTip(setup.help);
    top->addWidget(m_field);
    if (!setup.unit.isEmpty()) top->addWidget(new QLabel(setup.unit));
    layout->addLayout(top);
    // The slider counts steps, so every position is a value the row can show.
    m_slider = new FineLineSlider;
    m_slider->setOrientation(Qt::Horizontal);
    m_slider->setRange(int(std::lround(setup.minimum / setup.step)), int(std::lround(setup.maximum / setup.step)));
    m_slider->setNeutralValue(setup.drawnFromNeutral ? int(std::lround(1.0 / setup.step)) : m_slider->minimum());
    m_slider->setToolTip(setup.help);
    layout->addWidget(m_slider);

    connect(m_slider, &QSlider::valueChanged, this, [this](int position) {
        m_value = position * m_setup.step;
        showValue();
        Q_EMIT valueEdited(m_value);
    });
    connect(m_field, &QLineEdit::editingFinished, this, [this] {
        const auto typed = RetouchPanel::parseValue(m_field->text());
        if (!typed) {
            showValue();
            return;
        }
        setValue(std::clamp(*typed, m_setup.minimum, m_setup.maximum));
        Q_EMIT valueEdited(m_value);
    });
}

void RetouchSliderRow::setValue(double value)
{
    m_value = value;
    const QSignalBlocker blocker(m_slider);
    m_slider->setValue(int(std::lround(value / m_setup.step)));
    showValue();
}

void RetouchSliderRow::showValue() { m_field->setText(formatted(m_value, m_setup.decimals)); }

RetouchPanel::RetouchPanel(QWidget* parent) : QWidget(parent)
{
    auto* layout = new QVBoxLayout(this);
    const QString percent = QStringLiteral("%");
    auto addSwitch = [&](QVBoxLayout* into, const QString& title, const QString& subtitle, const QString& help,
                         bool PhotoRetouchSettings::*field) {
        auto* box = new QCheckBox(title);
        box->setToolTip(help);
        into->addWidget(box);
        auto* sub = new QLabel(subtitle);
        sub->setToolTip(help);
        sub->setObjectName(QStringLiteral("subtitle"));
        into->addWidget(sub);
        m_switches.push_back({box, field});
        connect(box, &QCheckBox::toggled, this, [this, field](bool on) {
            if (m_updating) return;
            m_settings.*field = on;
            refreshEnabled();
            Q_EMIT settingsChanged(m_settings);
        });
    };
    auto addRow = [&](QVBoxLayout* into, const RetouchSliderRow::Setup& setup, double PhotoRetouchSettings::*field) {
        auto* row = new RetouchSliderRow(setup);
        into->addWidget(row);
        m_rows.push_back({row, field});
        connect(row, &RetouchSliderRow::valueEdited, this, [this, field](double value) {
            if (m_updating) return;
            m_settings.*field = value;
            Q_EMIT settingsChanged(m_settings);
        });
    };

    addSwitch(layout, QStringLiteral("Netteté optimisée"), QStringLiteral("Masque flou : quantité, rayon, bruit"),
              QStringLiteral("Active le masque flou. Définissez la quantité, le rayon et la réduction du bruit."),
              &PhotoRetouchSettings::optimizedSharpness);
    addRow(layout, {QStringLiteral("Quantité"), 0, 300, 0.5, 0, percent,
                    QStringLiteral("Amplitude de la netteté, en pourcentage (100 % = référence Photoshop)")},
           &PhotoRetouchSettings::sharpnessAmount);
    addRow(layout, {QStringLiteral("Rayon"), 0.1, 64, 0.1, 1, QStringLiteral("px"),
                    QStringLiteral("Taille du détail à accentuer, en pixels (1 px par défaut)")},
           &PhotoRetouchSettings::sharpnessRadius);
    addRow(layout, {QStringLiteral("Réduction du bruit"), 0, 100, 0.5, 0, percent,
                    QStringLiteral("Limite l’accentuation du grain, en pourcentage")},
           &PhotoRetouchSettings::sharpnessNoiseReduction);
    addSwitch(layout, QStringLiteral("Supprimer le flou de l’objectif"), QStringLiteral("Déconvolution par noyau disque"),
              QStringLiteral("Utilise un noyau disque au lieu d’un flou gaussien, pour corriger le flou de l’objectif"),
              &PhotoRetouchSettings::removeLensBlur);
    // The amount, radius and noise rows and the lens-blur switch only act through the sharpening.
    for (const Binding& b : m_rows) m_sharpening.push_back(b.row);
    m_sharpening.push_back(m_switches.back().box);
    addRow(layout, {QStringLiteral("Contraste"), -100, 100, 0.1, 1, percent, QStringLiteral("Courbe en S autour des tons moyens")},
           &PhotoRetouchSettings::contrast);
    addSwitch(layout, QStringLiteral("Contraste auto"), QStringLiteral("Étire la luminance, couleurs préservées"),
              QStringLiteral("Contraste auto photographique : étire les noirs et les blancs sans saturer les couleurs"),
              &PhotoRetouchSettings::autoContrast);
    addRow(layout, {QStringLiteral("Luminosité"), -100, 100, 0.1, 1, percent,
                    QStringLiteral("Lift des tons moyens, ombres et hautes lumières préservées")},
           &PhotoRetouchSettings::brightness);
    addRow(layout, {QStringLiteral("Vibrance"), -100, 100, 0.1, 1, percent,
                    QStringLiteral("Saturation intelligente : tons peu saturés renforcés, tons chair préservés")},
           &PhotoRetouchSettings::vibrance);
    addRow(layout, {QStringLiteral("Saturation"), -100, 100, 0.1, 1, percent, QStringLiteral("Saturation uniforme de tous les tons")},
           &PhotoRetouchSettings::saturation);
    addRow(layout, {QStringLiteral("Gamma"), 0.1, 3, 0.01, 2, QString(),
                    QStringLiteral("Correction des tons moyens : 1,00 = neutre, < 1 éclaircit, > 1 assombrit"), true},
           &PhotoRetouchSettings::gamma);
    addRow(layout, {QStringLiteral("Exposition"), -2, 2, 0.01, 2, QStringLiteral("IL"),
                    QStringLiteral("Stops, comme dans Camera Raw / Photoshop")},
           &PhotoRetouchSettings::exposure);

    auto addGroup = [&](const QString& title, const QString& help, double PhotoRetouchSettings::*amount,
                        double PhotoRetouchSettings::*width, double PhotoRetouchSettings::*radius) {
        auto* group = new QGroupBox(title);
        group->setToolTip(help);
        auto* inner = new QVBoxLayout(group);
        addRow(inner, {QStringLiteral("Intensité"), -100, 100, 0.1, 1, percent, QStringLiteral("Amplitude de la correction, en pourcentage")},
               amount);
        addRow(inner, {QStringLiteral("Gamme de tons"), 0, 100, 0.5, 0, percent,
                       QStringLiteral("Étendue de la correction : 0 % = tons extrêmes seulement, 100 % = jusqu’aux tons moyens")},
               width);
        addRow(inner, {QStringLiteral("Rayon"), 0, 250, 0.1, 1, QStringLiteral("px"),
                       QStringLiteral("Taille du voisinage local, comme Photoshop (30 px par défaut)")},
               radius);
        layout->addWidget(group);
    };
    addGroup(QStringLiteral("Tons foncés"),
             QStringLiteral("Récupère ou assombrit les ombres, avec gamme de tons et rayon local comme Photoshop"),
             &PhotoRetouchSettings::shadows, &PhotoRetouchSettings::shadowTonalWidth, &PhotoRetouchSettings::shadowRadius);
    addGroup(QStringLiteral("Tons clairs"),
             QStringLiteral("Récupère ou ouvre les hautes lumières, avec gamme de tons et rayon local comme Photoshop"),
             &PhotoRetouchSettings::highlights, &PhotoRetouchSettings::highlightTonalWidth,
             &PhotoRetouchSettings::highlightRadius);
    layout->addStretch(1);
    refresh();
}

void RetouchPanel::setSettings(const PhotoRetouchSettings& settings)
{
    m_settings = settings;
    refresh();
}

void RetouchPanel::refresh()
{
    m_updating = true;
    for (const Binding& b : m_rows) b.row->setValue(m_settings.*(b.field));
    for (const Switch& s : m_switches) s.box->setChecked(m_settings.*(s.field));
    m_updating = false;
    refreshEnabled();
}

void RetouchPanel::refreshEnabled()
{
    for (QWidget* control : m_sharpening) control->setEnabled(m_settings.optimizedSharpness);
}

} // namespace tavrin
