#include "handover/views/HandOverDialog.h"

#include "base/Error.h"
#include "net/QrCode.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>

namespace tavrin {

HandOverDialog::HandOverDialog(const QStringList& paths, std::function<void(const QStringList&)> completion, QWidget* parent,
                               const HandOverService::Options& options)
    : QDialog(parent), m_code(new QLabel(this)), m_address(new QLabel(this)), m_count(new QLabel(this)),
      m_status(new QLabel(this)), m_total(int(paths.size()))
{
    setWindowTitle(QStringLiteral("Partager par QR code"));
    m_code->setAlignment(Qt::AlignCenter);
    m_address->setAlignment(Qt::AlignCenter);
    m_address->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_count->setAlignment(Qt::AlignCenter);
    QFont bold = m_count->font();
    bold.setBold(true);
    m_count->setFont(bold);
    m_status->setAlignment(Qt::AlignCenter);
    m_status->setWordWrap(true);
    auto* buttons = new QDialogButtonBox(this);
    m_close = buttons->addButton(QStringLiteral("Fermer"), QDialogButtonBox::RejectRole);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_count);
    layout->addWidget(m_code, 1);
    layout->addWidget(m_address);
    layout->addWidget(m_status);
    layout->addWidget(buttons);

    m_count->setText(fileCountText(m_total) + QStringLiteral(" à récupérer"));
    m_service.setOptions(options);
    connect(&m_service, &HandOverService::progressChanged, this, &HandOverDialog::showProgress);
    connect(&m_service, &HandOverService::delivered, this, [this] {
        m_code->setEnabled(false);
        m_status->setText(m_total == 1 ? QStringLiteral("Le fichier a été récupéré par le téléphone.")
                                       : QStringLiteral("Tous les fichiers ont été récupérés par le téléphone."));
    });
    try {
        m_service.send(paths, std::move(completion));
        const QString url = m_service.url().toString();
        // Whole pixels per module keep the code sharp; the quiet zone is part of the image.
        const QrCode code = QrCode::encode(url);
        const int side = code.width + 2 * QrCode::quietZone;
        m_code->setPixmap(QPixmap::fromImage(code.image(std::max(4, 320 / side))));
        m_address->setText(url);
        m_status->setText(QStringLiteral("Scannez ce QR code avec l’appareil photo du téléphone, connecté au même Wi‑Fi."));
    } catch (const Error& error) {
        m_code->setText(QString());
        m_status->setText(error.message());
    }
}

HandOverDialog* HandOverDialog::send(QWidget* parent, const QStringList& paths, std::function<void(const QStringList&)> completion)
{
    if (paths.isEmpty()) return nullptr;
    auto* dialog = new HandOverDialog(paths, std::move(completion), parent);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowModality(Qt::WindowModal);
    dialog->open();
    return dialog;
}

QIcon HandOverDialog::icon(int size)
{
    const QIcon themed = QIcon::fromTheme(QStringLiteral("view-barcode-qr"));
    if (!themed.isNull()) return themed;
    // Our own drawing: a small real QR code, which reads as the symbol at any size.
    const QImage code = QrCode::encode(QStringLiteral("TAVRIN")).image(1);
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.drawImage(QRect(0, 0, size, size), code);
    return QIcon(pixmap);
}

void HandOverDialog::showProgress()
{
    if (!m_service.isRunning()) return;
    const int fetched = m_service.fetchedCount();
    if (fetched > 0) m_status->setText(QStringLiteral("%1 sur %2 récupérés").arg(fetched).arg(m_total));
}

void HandOverDialog::done(int result)
{
    m_service.stop(); // closing ends the hand-over; nothing fetched after counts
    QDialog::done(result);
}

} // namespace tavrin
