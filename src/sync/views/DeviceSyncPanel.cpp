#include "sync/views/DeviceSyncPanel.h"

#include "sync/DevicePickerModel.h"
#include "sync/SyncService.h"
#include "ui/CapsuleButton.h"
#include "ui/Symbols.h"
#include "ui/Theme.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace tavrin {

namespace {

QLabel* secondaryLabel(const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, Theme::secondaryText(palette));
    label->setPalette(palette);
    return label;
}

} // namespace

DeviceSyncPanel::DeviceSyncPanel(SyncService& service, QWidget* parent) : QWidget(parent), m_service(service)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(Theme::largeSpacing, Theme::spacing, Theme::largeSpacing, Theme::largeSpacing);
    layout->setSpacing(Theme::spacing);

    auto* header = new QHBoxLayout;
    auto* title = new QLabel(QStringLiteral("Appareils"), this);
    QFont bold = title->font();
    bold.setBold(true);
    title->setFont(bold);
    auto* refresh = new CapsuleButton(CapsuleKind::glass, QStringLiteral("Actualiser"), QStringLiteral("arrow.clockwise"), this);
    refresh->setObjectName(QStringLiteral("refreshPeers"));
    connect(refresh, &CapsuleButton::clicked, this, [this] { m_service.refreshPeers(); });
    header->addWidget(title);
    header->addStretch(1);
    header->addWidget(refresh);
    layout->addLayout(header);

    m_rows = new QVBoxLayout;
    m_rows->setSpacing(Theme::smallSpacing);
    layout->addLayout(m_rows);
    m_empty = secondaryLabel(QStringLiteral("Aucun appareil détecté"), this);
    layout->addWidget(m_empty);

    auto* footnote = secondaryLabel(QStringLiteral("Cochez plusieurs appareils pour les synchroniser ensemble. "
                                                   "Supprimer retire un appareil mémorisé de la liste."),
                                    this);
    footnote->setWordWrap(true);
    QFont small = footnote->font();
    small.setPointSizeF(small.pointSizeF() * 0.9);
    footnote->setFont(small);
    layout->addWidget(footnote);
    setMinimumWidth(340);

    connect(&m_service, &SyncService::changed, this, &DeviceSyncPanel::rebuild);
    rebuild();
}

void DeviceSyncPanel::rebuild()
{
    // Rows may be rebuilt from inside one of their own switches: the old ones go later.
    while (QLayoutItem* item = m_rows->takeAt(0)) {
        if (QWidget* w = item->widget()) {
            w->hide();
            w->setParent(nullptr);
            w->deleteLater();
        }
        delete item;
    }
    const QStringList names = m_service.listedPeerNames();
    for (const QString& name : names) m_rows->addWidget(deviceRow(name));
    m_empty->setVisible(names.isEmpty());
}

QWidget* DeviceSyncPanel::deviceRow(const QString& name)
{
    auto* row = new QWidget(this);
    row->setObjectName(QStringLiteral("deviceRow"));
    row->setProperty("deviceName", name);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(Theme::spacing);

    auto* symbol = new QLabel(row);
    symbol->setPixmap(Symbols::icon(DevicePickerModel::deviceSymbol(name)).pixmap(18, 18));
    auto* texts = new QVBoxLayout;
    texts->setSpacing(0);
    auto* friendly = new QLabel(SyncService::friendlyName(name), row);
    friendly->setObjectName(QStringLiteral("friendlyName"));
    auto* state = secondaryLabel(DevicePickerModel::deviceState(m_service, name), row);
    state->setObjectName(QStringLiteral("deviceState"));
    texts->addWidget(friendly);
    texts->addWidget(state);

    auto* choose = new QCheckBox(row);
    choose->setObjectName(QStringLiteral("Synchroniser"));
    choose->setAccessibleName(QStringLiteral("Synchroniser"));
    choose->setToolTip(QStringLiteral("Synchroniser cet appareil"));
    choose->setChecked(m_service.isPreferred(name));
    connect(choose, &QCheckBox::toggled, this, [this, name](bool on) { m_service.setPeerEnabled(name, on); });

    auto* forget = new CapsuleButton(CapsuleKind::tinyIcon, QStringLiteral("Supprimer"), QStringLiteral("trash"), row);
    forget->setObjectName(QStringLiteral("Supprimer"));
    forget->setToolTip(QStringLiteral("Retirer cet appareil de la liste"));
    connect(forget, &CapsuleButton::clicked, this, [this, name] { m_service.forgetPeer(name); });

    layout->addWidget(symbol);
    layout->addLayout(texts, 1);
    layout->addWidget(choose);
    layout->addWidget(forget);
    return row;
}

} // namespace tavrin
