#pragma once

// The line under the selected order's title: what it costs (following the photos its sections
// hold), whether it was paid and by what, one click to mark it paid, and « Annuler » after.

#include "sales/SalesBook.h"

#include <QWidget>

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

    void pay(PaymentMeans means);
    void unpay();
    // Takes back the last payment change of this order.
    void undo();
    void refresh();

    // The line of an order in the list: « 85,00 € · À payer »; none without a price list.
    static QString orderNote(const SalesBook& book, const OrderFolder& folder);

private:
    void change(const std::optional<Payment>& payment, const QString& done);

    SalesBook& m_book;
    QLabel* m_total;
    QLabel* m_state;
    QList<CapsuleButton*> m_pay;
    CapsuleButton* m_unpay;
    UndoBanner* m_banner;
    // What the undo brings back, for the order it was made on.
    QString m_undoOrder;
    std::optional<Payment> m_undoPayment;
};

} // namespace tavrin
