#include "orders/views/ApplicationChooserDialog.h"

#include <QDialogButtonBox>
#include <QFileInfo>
#include <QIcon>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace tavrin {

namespace {

QIcon appIcon(const QString& icon)
{
    if (icon.startsWith(u'/')) return QIcon(icon);
    return QIcon::fromTheme(icon, QIcon::fromTheme(QStringLiteral("application-x-executable")));
}

QString folded(const QString& text)
{
    QString out = text.normalized(QString::NormalizationForm_D);
    out.removeIf([](QChar c) { return c.category() == QChar::Mark_NonSpacing; });
    return out.toCaseFolded();
}

} // namespace

ApplicationChooserDialog::ApplicationChooserDialog(QWidget* parent, QList<OpenWithApp> apps)
    : QDialog(parent), m_apps(std::move(apps)), m_search(new QLineEdit(this)), m_list(new QListWidget(this))
{
    setWindowTitle(QStringLiteral("Choisir une application"));
    m_search->setPlaceholderText(QStringLiteral("Rechercher"));
    m_search->setClearButtonEnabled(true);
    m_list->setIconSize(QSize(24, 24));
    m_list->setUniformItemSizes(true);
    for (int i = 0; i < m_apps.size(); ++i) {
        auto* item = new QListWidgetItem(appIcon(m_apps[i].icon), m_apps[i].name, m_list);
        item->setData(Qt::UserRole, i);
        item->setToolTip(m_apps[i].id);
    }
    auto* buttons = new QDialogButtonBox(this);
    m_open = buttons->addButton(QStringLiteral("Ouvrir"), QDialogButtonBox::AcceptRole);
    buttons->addButton(QStringLiteral("Annuler"), QDialogButtonBox::RejectRole);
    m_open->setEnabled(false);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_search);
    layout->addWidget(m_list, 1);
    layout->addWidget(buttons);
    resize(420, 520);

    connect(m_search, &QLineEdit::textChanged, this, &ApplicationChooserDialog::filter);
    connect(m_list, &QListWidget::currentRowChanged, this, [this] { m_open->setEnabled(m_list->currentItem() && !m_list->currentItem()->isHidden()); });
    connect(m_list, &QListWidget::itemActivated, this, &ApplicationChooserDialog::confirm);
    connect(buttons, &QDialogButtonBox::accepted, this, &ApplicationChooserDialog::confirm);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

void ApplicationChooserDialog::filter(const QString& text)
{
    const QString query = folded(text.trimmed());
    QListWidgetItem* firstShown = nullptr;
    for (int row = 0; row < m_list->count(); ++row) {
        QListWidgetItem* item = m_list->item(row);
        const bool shown = query.isEmpty() || folded(item->text()).contains(query);
        item->setHidden(!shown);
        if (shown && !firstShown) firstShown = item;
    }
    if (m_list->currentItem() && m_list->currentItem()->isHidden()) m_list->setCurrentItem(firstShown);
    m_open->setEnabled(m_list->currentItem() && !m_list->currentItem()->isHidden());
}

void ApplicationChooserDialog::confirm()
{
    QListWidgetItem* item = m_list->currentItem();
    if (!item || item->isHidden()) return;
    const OpenWithApp app = m_apps.value(item->data(Qt::UserRole).toInt());
    accept();
    Q_EMIT chosen(app);
}

} // namespace tavrin
