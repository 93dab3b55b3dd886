#include "app/AboutDialog.h"

#include "ui/CapsuleButton.h"
#include "ui/Theme.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QVBoxLayout>

namespace tavrin {

QString AboutDialog::versionText() { return QStringLiteral("Version " TAVRIN_VERSION); }

QString AboutDialog::description()
{
    return QStringLiteral("Des notes de piste aux commandes des clients, l’atelier du photographe de concours de saut d’obstacles.");
}

AboutDialog::AboutDialog(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("aboutDialog"));
    setWindowTitle(QStringLiteral("À propos de Tavrin"));
    setModal(true);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(Theme::largeSpacing * 2, Theme::largeSpacing * 2, Theme::largeSpacing * 2, Theme::largeSpacing);
    layout->setSpacing(Theme::spacing);

    auto* icon = new QLabel(this);
    icon->setPixmap(QApplication::windowIcon().pixmap(96, 96));
    icon->setAlignment(Qt::AlignHCenter);
    layout->addWidget(icon);

    auto* name = new QLabel(QStringLiteral("Tavrin"), this);
    name->setObjectName(QStringLiteral("aboutName"));
    QFont big = name->font();
    big.setPointSizeF(big.pointSizeF() * 1.8);
    big.setBold(true);
    name->setFont(big);
    name->setAlignment(Qt::AlignHCenter);
    layout->addWidget(name);

    auto* version = new QLabel(versionText(), this);
    version->setObjectName(QStringLiteral("aboutVersion"));
    version->setAlignment(Qt::AlignHCenter);
    // Copied into a message when something goes wrong.
    version->setTextInteractionFlags(Qt::TextSelectableByMouse);
    QPalette faint = version->palette();
    faint.setColor(QPalette::WindowText, Theme::secondaryText(faint));
    version->setPalette(faint);
    layout->addWidget(version);

    auto* text = new QLabel(description(), this);
    text->setObjectName(QStringLiteral("aboutDescription"));
    text->setWordWrap(true);
    text->setAlignment(Qt::AlignHCenter);
    text->setMinimumWidth(320);
    layout->addSpacing(Theme::spacing);
    layout->addWidget(text);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    auto* close = new CapsuleButton(CapsuleKind::prominent, QStringLiteral("Fermer"), QString(), this);
    close->setObjectName(QStringLiteral("aboutClose"));
    connect(close, &CapsuleButton::clicked, this, &QDialog::accept);
    buttons->addWidget(close);
    layout->addSpacing(Theme::largeSpacing);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

} // namespace tavrin
