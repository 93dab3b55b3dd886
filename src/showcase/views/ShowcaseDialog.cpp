#include "showcase/views/ShowcaseDialog.h"

#include "base/Error.h"
#include "net/HttpServer.h"
#include "orders/OrdersStore.h"
#include "sales/SalesBook.h"
#include "net/QrCode.h"
#include "showcase/ShowcasePoster.h"
#include "showcase/ShowcaseSetup.h"
#include "orders/views/OpenPanels.h"
#include "ui/CapsuleButton.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QTimer>
#include <QPixmap>
#include <QPointer>
#include <QVBoxLayout>

namespace tavrin {

namespace {

constexpr quint16 showcasePort = 8765; // the port the printed poster names

} // namespace

std::function<QString()>& ShowcaseDialog::posterPathHook()
{
    static std::function<QString()> hook;
    return hook;
}

ShowcaseDialog::ShowcaseDialog(OrdersStore& store, QWidget* parent)
    : QDialog(parent), m_store(store), m_folderLabel(new QLabel(this)), m_code(new QLabel(this)), m_address(new QLabel(this)),
      m_counts(new QLabel(this)), m_status(new QLabel(this)), m_cache(new QLabel(this)),
      m_choose(new CapsuleButton(CapsuleKind::glass, QStringLiteral("Choisir…"), QString(), this)),
      m_toggle(new CapsuleButton(CapsuleKind::prominent, QStringLiteral("Ouvrir la vitrine"), QString(), this)),
      m_poster(new CapsuleButton(CapsuleKind::glass, QStringLiteral("Affiche à imprimer…"), QString(), this))
{
    setWindowTitle(QStringLiteral("Vitrine"));
    setObjectName(QStringLiteral("showcaseDialog"));
    serverOptions = ShowcaseService::defaultServerOptions();
    serverOptions.port = showcasePort;
    m_folderLabel->setWordWrap(true);
    m_folderLabel->setTextFormat(Qt::PlainText);
    m_code->setAlignment(Qt::AlignCenter);
    m_code->setMinimumSize(240, 240);
    m_address->setAlignment(Qt::AlignCenter);
    m_address->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_counts->setAlignment(Qt::AlignCenter);
    m_status->setAlignment(Qt::AlignCenter);
    m_status->setWordWrap(true);

    auto* folderRow = new QHBoxLayout;
    folderRow->addWidget(new QLabel(QStringLiteral("Dossiers des cavaliers :"), this));
    folderRow->addWidget(m_folderLabel, 1);
    folderRow->addWidget(m_choose);
    auto* actions = new QHBoxLayout;
    actions->addWidget(m_poster);
    actions->addStretch(1);
    actions->addWidget(m_toggle);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(folderRow);
    layout->addWidget(m_code, 1);
    layout->addWidget(m_address);
    layout->addWidget(m_counts);
    m_cache->setAlignment(Qt::AlignCenter);
    layout->addWidget(m_cache);
    layout->addWidget(m_status);
    layout->addLayout(actions);

    connect(m_choose, &QAbstractButton::clicked, this, [this] {
        OpenPanels::pickFolder(this, QStringLiteral("Dossiers des cavaliers"), QStringLiteral("Choisir"),
                               [this, guard = QPointer(this)](const QString& folder) {
                                   if (guard) setFolder(folder);
                               });
    });
    connect(m_toggle, &QAbstractButton::clicked, this, &ShowcaseDialog::toggle);
    connect(m_poster, &QAbstractButton::clicked, this, [this] {
        const QString path = posterPathHook() ? posterPathHook()()
                                              : QFileDialog::getSaveFileName(this, QStringLiteral("Affiche à imprimer"),
                                                                             QDir::homePath() + QStringLiteral("/Affiche vitrine.pdf"),
                                                                             QStringLiteral("PDF (*.pdf)"));
        if (!path.isEmpty()) writePoster(path);
    });
    connect(&m_service, &ShowcaseService::visitorsChanged, this, &ShowcaseDialog::refresh);
    connect(&m_service, &ShowcaseService::orderPlaced, this, [this] {
        ++m_orders;
        refresh();
    });
    m_folder = ShowcaseSetup::lastOrganisedFolder().value_or(QString());
    // The previews made ahead fill the cache while the dialog shows.
    auto* cacheTimer = new QTimer(this);
    cacheTimer->setInterval(2000);
    connect(cacheTimer, &QTimer::timeout, this, [this] {
        if (m_service.isRunning()) refresh();
    });
    cacheTimer->start();
    refresh();
}

QString ShowcaseDialog::sizeText(qint64 bytes)
{
    const QLocale french(QLocale::French, QLocale::France);
    constexpr double mega = 1024.0 * 1024.0, giga = mega * 1024.0;
    if (bytes >= giga) return french.toString(bytes / giga, 'f', bytes >= 10 * giga ? 0 : 1).replace(QStringLiteral(",0"), QString()) + QStringLiteral("\u00A0Go");
    return french.toString(qRound64(bytes / mega)) + QStringLiteral("\u00A0Mo");
}

ShowcaseDialog::~ShowcaseDialog() { m_service.stop(); }

CapsuleButton* ShowcaseDialog::button(OrdersStore& store, QWidget* parent)
{
    auto* button = new CapsuleButton(CapsuleKind::glass, QStringLiteral("Vitrine"), QString(), parent);
    button->setObjectName(QStringLiteral("ordersShowcase"));
    button->setToolTip(QStringLiteral("Ouvrir la vitrine du stand aux téléphones des visiteurs"));
    QObject::connect(button, &QAbstractButton::clicked, parent, [&store, parent] {
        auto* dialog = parent->findChild<ShowcaseDialog*>(QString(), Qt::FindDirectChildrenOnly);
        if (!dialog) dialog = new ShowcaseDialog(store, parent);
        dialog->show();
        dialog->raise();
        dialog->activateWindow();
    });
    return button;
}

void ShowcaseDialog::setFolder(const QString& folder)
{
    m_folder = folder;
    refresh();
}

void ShowcaseDialog::toggle()
{
    if (m_service.isRunning()) {
        m_service.stop();
        m_status->setText(QStringLiteral("La vitrine est fermée."));
        refresh();
        return;
    }
    try {
        const std::optional<QString> root = ShowcaseSetup::ordersRoot(m_store.fileURL());
        if (!root) throw Error(QStringLiteral("Choisissez d’abord le dossier des commandes."));
        if (m_folder.isEmpty()) throw Error(QStringLiteral("Choisissez d’abord le dossier des cavaliers."));
        ShowcaseService::Options options;
        options.photos = m_folder;
        options.orders = *root;
        options.watermark = m_store.resolveWatermark();
        options.prices = SalesBook(m_store).prices();
        options.programmes = ShowcaseCatalogue::knownProgrammes();
        options.server = serverOptions;
        if (options.server.address.isNull()) options.server.address = http::Server::localNetworkAddress();
        if (options.server.address.isNull())
            throw Error(QStringLiteral("Aucun réseau local : connectez l’ordinateur au Wi‑Fi du stand."));
        m_service.start(options);
        m_status->setText(QStringLiteral("Les visiteurs scannent ce code avec l’appareil photo de leur téléphone, connecté au Wi‑Fi du stand."));
    } catch (const Error& error) {
        m_status->setText(error.message());
    }
    refresh();
}

bool ShowcaseDialog::writePoster(const QString& path)
{
    QHostAddress address = m_service.isRunning() ? QHostAddress(m_service.url().host()) : serverOptions.address;
    if (address.isNull()) address = http::Server::localNetworkAddress();
    const quint16 port = m_service.isRunning() ? quint16(m_service.url().port()) : serverOptions.port;
    try {
        if (address.isNull()) throw Error(QStringLiteral("Aucun réseau local : connectez l’ordinateur au Wi‑Fi du stand."));
        ShowcasePoster::write(QStringLiteral("http://%1:%2/").arg(address.toString()).arg(port), path);
        m_status->setText(QStringLiteral("Affiche enregistrée : %1").arg(QFileInfo(path).fileName()));
        return true;
    } catch (const Error& error) {
        m_status->setText(error.message());
        return false;
    }
}

void ShowcaseDialog::refresh()
{
    const bool running = m_service.isRunning();
    m_folderLabel->setText(m_folder.isEmpty() ? QStringLiteral("aucun") : QFileInfo(m_folder).fileName());
    m_folderLabel->setToolTip(m_folder);
    m_choose->setEnabled(!running);
    m_toggle->setText(running ? QStringLiteral("Arrêter la vitrine") : QStringLiteral("Ouvrir la vitrine"));
    if (running) {
        const QString url = m_service.url().toString();
        const QrCode code = QrCode::encode(url);
        m_code->setPixmap(QPixmap::fromImage(code.image(std::max(4, 240 / (code.width + 2 * QrCode::quietZone)))));
        m_address->setText(url);
        const int visitors = m_service.visitorCount();
        m_counts->setText(QStringLiteral("%1 visiteur%2 · %3 commande%4")
                              .arg(visitors)
                              .arg(visitors > 1 ? QStringLiteral("s") : QString())
                              .arg(m_orders)
                              .arg(m_orders > 1 ? QStringLiteral("s") : QString()));
        if (const ShowcasePreviews* previews = m_service.previews())
            m_cache->setText(QStringLiteral("Aperçus prêts : %1 sur %2").arg(sizeText(previews->cacheBytes()), sizeText(previews->bound())));
    } else {
        m_code->clear();
        m_address->clear();
        m_counts->clear();
        m_cache->clear();
    }
}

} // namespace tavrin
