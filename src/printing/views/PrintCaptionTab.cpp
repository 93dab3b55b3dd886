#include "printing/views/PrintCaptionTab.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QLabel>
#include <QSpinBox>
#include <QVBoxLayout>

namespace tavrin {

PrintCaptionTab::PrintCaptionTab(const CaptionStyle& style, const QString& example, QWidget* parent) : QWidget(parent)
{
    setWindowTitle(QStringLiteral("Légende"));
    m_shown = new QCheckBox(QStringLiteral("Imprimer une légende avec chaque photo"), this);
    m_shown->setChecked(style.shown);
    m_position = new QComboBox(this);
    m_position->addItem(QStringLiteral("Sous la photo"));
    m_position->addItem(QStringLiteral("Au-dessus de la photo"));
    m_position->setCurrentIndex(style.position == CaptionPosition::over ? 1 : 0);
    m_size = new QSpinBox(this);
    m_size->setRange(int(PrintCaption::minimumPoints), int(PrintCaption::maximumPoints));
    m_size->setSuffix(QStringLiteral(" pt"));
    m_size->setValue(qRound(style.points));
    m_example = new QLabel(this);
    m_example->setWordWrap(true);
    m_example->setText(example.isEmpty() ? QStringLiteral("Le cavalier, son cheval, l’épreuve et le jour, quand Tavrin les connaît.")
                                         : QStringLiteral("Première photo : « %1 »").arg(example));
    auto* hint = new QLabel(QStringLiteral("La légende ne couvre jamais le tiers central de la photo."), this);
    hint->setWordWrap(true);

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Position :"), m_position);
    form->addRow(QStringLiteral("Taille :"), m_size);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_shown);
    layout->addLayout(form);
    layout->addWidget(m_example);
    layout->addWidget(hint);
    layout->addStretch(1);
    connect(m_shown, &QCheckBox::toggled, this, &PrintCaptionTab::follow);
    follow();
}

void PrintCaptionTab::follow()
{
    m_position->setEnabled(m_shown->isChecked());
    m_size->setEnabled(m_shown->isChecked());
}

CaptionStyle PrintCaptionTab::style() const
{
    return {m_shown->isChecked(), m_position->currentIndex() == 1 ? CaptionPosition::over : CaptionPosition::under, double(m_size->value())};
}

} // namespace tavrin
