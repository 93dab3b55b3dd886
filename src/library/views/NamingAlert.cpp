#include "library/views/NamingAlert.h"

#include "ui/CapsuleButton.h"
#include "ui/Theme.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

namespace tavrin {

NamingAlert::NamingAlert(const QString& title, const QString& text, QWidget* parent)
    : QDialog(parent), m_field(new QLineEdit(text, this)),
      m_cancel(new CapsuleButton(CapsuleKind::glass, QStringLiteral("Annuler"), QString(), this)),
      m_save(new CapsuleButton(CapsuleKind::prominent, QStringLiteral("Enregistrer"), QString(), this))
{
    setWindowTitle(title);
    setObjectName(QStringLiteral("namingAlert"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(Theme::largeSpacing + 4, Theme::largeSpacing, Theme::largeSpacing + 4, Theme::largeSpacing);
    layout->setSpacing(Theme::spacing + 4);

    auto* heading = new QLabel(title, this);
    QFont font = heading->font();
    font.setWeight(QFont::DemiBold);
    heading->setFont(font);
    layout->addWidget(heading);

    m_field->setMinimumWidth(300);
    m_field->setMinimumHeight(Theme::controlHeight);
    m_field->selectAll();
    layout->addWidget(m_field);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_cancel);
    buttons->addWidget(m_save);
    layout->addLayout(buttons);

    connect(m_cancel, &QAbstractButton::clicked, this, &QDialog::reject);
    connect(m_save, &QAbstractButton::clicked, this, &QDialog::accept);
    connect(m_field, &QLineEdit::returnPressed, this, &QDialog::accept);
}

NamingAlert* NamingAlert::ask(QWidget* parent, const QString& title, const QString& text,
                              std::function<void(const QString&)> onSave)
{
    auto* alert = new NamingAlert(title, text, parent);
    alert->setAttribute(Qt::WA_DeleteOnClose);
    connect(alert, &QDialog::accepted, alert, [alert, onSave = std::move(onSave)] { onSave(alert->field()->text()); });
    alert->open();
    alert->field()->setFocus();
    return alert;
}

} // namespace tavrin
