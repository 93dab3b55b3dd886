#pragma once

// The line under the selected order's title: what it costs (following the photos its sections
// hold), whether it was paid and by what, one click to mark it paid, and « Annuler » after.

#include "sales/SalesBook.h"

#include <QWidget>

#include <functional>

class QAbstractButton;
class QLabel;

namespace tavrin {

class CapsuleButton;
class UndoBanner;

class OrderPaymentBar : public QWidget {
    Q_OBJECT
public:
    OrderPaymentBar(SalesBook& book, QWidget* parent = nullptr);

    // « Espèces », « Carte », « Virement », in the order of Payments::allMeans().
    QAbstractButton* payButton(PaymentMeans means) const;
    QAbstractButton* unpayButton() const;
    QLabel* totalLabel() const { return m_total; }
    QLabel* stateLabel() const { return m_state; }
    UndoBanner* undoBanner() const { return m_banner; }
    QAbstractButton* receiptButton() const;

    void pay(PaymentMeans means);
    void unpay();
    // Takes back the last payment change of this order.
    void undo();
    void refresh();

    // Writes the paid order's receipt in its folder; none with the reason shown when it cannot.
    std::optional<QString> writeReceipt();
    // Plugged in by the window: gives a file to the customer's phone by QR code, like a hand-over.
    std::function<void(const QString& file, QWidget* parent)> handOver;
    // Plugged in by the window: the printer photos last went to, and sending a PDF there (throws
    // tavrin::Error in French).
    std::function<std::optional<QString>()> receiptPrinter;
    std::function<void(const QString& printer, const QString& pdf)> printReceipt;

    // The line of an order in the list: « 85,00 € · À payer »; none without a price list.
    static QString orderNote(const SalesBook& book, const OrderFolder& folder);

private:
    void change(const std::optional<Payment>& payment, const QString& done);

    SalesBook& m_book;
    QLabel* m_total;
    QLabel* m_state;
    QList<CapsuleButton*> m_pay;
    CapsuleButton* m_unpay;
    class CapsuleMenu* m_receipt;
    QLabel* m_error;
    UndoBanner* m_banner;
    // What the undo brings back, for the order it was made on.
    QString m_undoOrder;
    std::optional<Payment> m_undoPayment;
};

} // namespace tavrin
