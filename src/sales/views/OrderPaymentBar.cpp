#include "sales/views/OrderPaymentBar.h"

#include "base/Error.h"
#include "sales/Money.h"
#include "sales/Receipt.h"
#include "ui/CapsuleButton.h"
#include "ui/Theme.h"
#include "ui/UndoBanner.h"

#include <QAction>
#include <QDesktopServices>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QUrl>

namespace tavrin {

namespace {

QString capitalised(const QString& text) { return text.left(1).toUpper() + text.mid(1); }

} // namespace

OrderPaymentBar::OrderPaymentBar(SalesBook& book, QWidget* parent)
    : QWidget(parent), m_book(book), m_total(new QLabel(this)), m_state(new QLabel(this)),
      m_unpay(new CapsuleButton(CapsuleKind::glass, QStringLiteral("Remettre à payer"), QString(), this)),
      m_receipt(new CapsuleMenu(CapsuleKind::glass, QStringLiteral("Reçu"), QString(), this)), m_error(new QLabel(this)),
      m_banner(new UndoBanner(this))
{
    setObjectName(QStringLiteral("orderPaymentBar"));
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(Theme::largeSpacing, 0, Theme::largeSpacing, Theme::smallSpacing);
    layout->setSpacing(Theme::spacing);
    m_total->setObjectName(QStringLiteral("orderTotal"));
    m_total->setTextFormat(Qt::PlainText);
    QFont bold = m_total->font();
    bold.setWeight(QFont::DemiBold);
    m_total->setFont(bold);
    m_state->setObjectName(QStringLiteral("orderPaymentState"));
    m_state->setTextFormat(Qt::PlainText);
    layout->addWidget(m_total);
    layout->addWidget(m_state);
    for (PaymentMeans means : Payments::allMeans()) {
        auto* button = new CapsuleButton(CapsuleKind::glass, capitalised(Payments::label(means)), QString(), this);
        button->setToolTip(QStringLiteral("Marquer la commande payée en ") + Payments::label(means));
        connect(button, &QAbstractButton::clicked, this, [this, means] { pay(means); });
        layout->addWidget(button);
        m_pay.push_back(button);
    }
    layout->addWidget(m_unpay);
    layout->addWidget(m_receipt);
    m_receipt->setObjectName(QStringLiteral("orderReceipt"));
    m_receipt->setToolTip(QStringLiteral("Le reçu de la commande payée, en PDF"));
    // The printer entry names the printer of the moment, so the menu is made as it opens.
    connect(m_receipt->menu(), &QMenu::aboutToShow, this, [this] {
        QMenu* menu = m_receipt->menu();
        for (QAction* a : menu->actions())
            if (a->property("printsReceipt").toBool()) delete a;
        const std::optional<QString> printer = receiptPrinter ? receiptPrinter() : std::nullopt;
        if (!printer || !printReceipt) return;
        QAction* print = new QAction(QStringLiteral("Imprimer le reçu sur « ") + *printer + QStringLiteral(" »"), menu);
        print->setProperty("printsReceipt", true);
        connect(print, &QAction::triggered, this, [this, printer = *printer] {
            const std::optional<QString> file = writeReceipt();
            if (!file) return;
            try {
                printReceipt(printer, *file);
            } catch (const Error& e) {
                m_error->setText(e.message());
                m_error->setVisible(true);
            }
        });
        menu->insertAction(menu->actions().value(0), print);
    });
    m_receipt->menu()->addAction(QStringLiteral("Ouvrir le reçu (PDF)"), this, [this] {
        if (const std::optional<QString> file = writeReceipt()) QDesktopServices::openUrl(QUrl::fromLocalFile(*file));
    });
    m_receipt->menu()->addAction(QStringLiteral("Donner le reçu par QR code"), this, [this] {
        if (!handOver) return;
        if (const std::optional<QString> file = writeReceipt()) handOver(*file, window());
    });
    m_error->setObjectName(QStringLiteral("orderReceiptError"));
    m_error->setTextFormat(Qt::PlainText);
    m_error->setWordWrap(true);
    m_error->setVisible(false);
    layout->addWidget(m_error, 1);
    layout->addWidget(m_banner);
    layout->addStretch(1);
    m_banner->showText(std::nullopt);
    connect(m_unpay, &QAbstractButton::clicked, this, &OrderPaymentBar::unpay);
    connect(m_banner, &UndoBanner::undoRequested, this, &OrderPaymentBar::undo);
    connect(&m_book, &SalesBook::changed, this, &OrderPaymentBar::refresh);
    connect(&m_book.store(), &OrdersStore::sectionsChanged, this, [this] {
        // Another order: its undo is not this one's.
        if (m_book.store().selectedFolderID().value_or(QString()) != m_undoOrder) m_banner->showText(std::nullopt);
        refresh();
    });
    refresh();
}

QAbstractButton* OrderPaymentBar::payButton(PaymentMeans means) const { return m_pay.value(Payments::allMeans().indexOf(means)); }

QAbstractButton* OrderPaymentBar::unpayButton() const { return m_unpay; }

QAbstractButton* OrderPaymentBar::receiptButton() const { return m_receipt; }

std::optional<QString> OrderPaymentBar::writeReceipt()
{
    const std::optional<QString> order = m_book.store().selectedFolderID();
    const std::optional<Payment> payment = order ? m_book.payment(*order) : std::nullopt;
    if (!payment) return std::nullopt;
    try {
        const QString file = Receipt::defaultPath(*order);
        Receipt::write(m_book.stand(), QFileInfo(*order).fileName(), m_book.bill(*order, m_book.store().sections()), *payment, file);
        m_error->setVisible(false);
        return file;
    } catch (const Error& e) {
        m_error->setText(e.message());
        m_error->setVisible(true);
        return std::nullopt;
    }
}

void OrderPaymentBar::change(const std::optional<Payment>& payment, const QString& done)
{
    const std::optional<QString> order = m_book.store().selectedFolderID();
    if (!order) return;
    m_undoOrder = *order;
    m_undoPayment = m_book.payment(*order);
    m_book.setPayment(*order, payment);
    m_banner->showText(done);
}

void OrderPaymentBar::pay(PaymentMeans means)
{
    const std::optional<QString> order = m_book.store().selectedFolderID();
    if (!order) return;
    const Payment payment{means, QDateTime::currentDateTime(), m_book.bill(*order, m_book.store().sections()).total};
    change(payment, paymentStateText(payment));
}

void OrderPaymentBar::unpay() { change(std::nullopt, QStringLiteral("Commande remise à payer")); }

void OrderPaymentBar::undo()
{
    if (m_undoOrder.isEmpty()) return;
    m_book.setPayment(m_undoOrder, m_undoPayment);
    m_undoOrder.clear();
    m_banner->showText(std::nullopt);
}

void OrderPaymentBar::refresh()
{
    const std::optional<QString> order = m_book.store().selectedFolderID();
    if (!order) return;
    const Bill bill = m_book.bill(*order, m_book.store().sections());
    const std::optional<Payment> payment = m_book.payment(*order);
    m_total->setText(QStringLiteral("Total : ") + Money::text(bill.total));
    QStringList lines;
    for (const BillLine& line : bill.lines)
        lines.push_back(line.section + QStringLiteral(" : ") +
                        (line.priced ? line.detail + QStringLiteral(" = ") + Money::text(line.cents) : QStringLiteral("sans tarif")));
    m_total->setToolTip(lines.join(u'\n'));
    QString state = paymentStateText(payment);
    // Photos added after the payment: what is left is shown.
    if (payment && bill.total > payment->cents)
        state += QStringLiteral(" · reste ") + Money::text(bill.total - payment->cents);
    m_state->setText(state);
    // A photographer who does not sell at the stand sees no till until a price is set.
    const bool selling = payment || !m_book.prices().sections.isEmpty();
    m_total->setVisible(selling);
    m_state->setVisible(selling);
    for (CapsuleButton* button : m_pay) button->setVisible(selling && !payment);
    m_unpay->setVisible(payment.has_value());
    m_receipt->setVisible(payment.has_value());
}

QString OrderPaymentBar::orderNote(const SalesBook& book, const OrderFolder& folder)
{
    if (book.prices().sections.isEmpty()) return {};
    return Money::text(book.bill(folder.url).total) + QStringLiteral(" · ") + paymentStateText(book.payment(folder.url));
}

} // namespace tavrin
