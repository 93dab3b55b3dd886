#pragma once

#include "orders/OrdersScreenModel.h"

#include <QList>
#include <QWidget>

#include <utility>

class QLabel;

namespace tavrin {

class CapsuleButton;

// The name and actions of a section (or of the whole order): retouch, watermark, print.
class OrdersSectionHeader : public QWidget {
    Q_OBJECT
public:
    OrdersSectionHeader(const QString& title, const QString& detail, QWidget* parent = nullptr);
    void setActions(const QList<OrdersScreen::Action>& actions);
    CapsuleButton* button(OrdersScreen::Action::Kind kind) const;
    QString title() const;
    QLabel* countLabel() const { return m_count; }
    // The buttons show their symbol alone: the header is too narrow for their labels.
    bool isCompact() const;

Q_SIGNALS:
    void actionTriggered(OrdersScreen::Action::Kind kind, QWidget* anchor);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void fitToWidth();

    QLabel* m_title;
    QLabel* m_count = nullptr;
    QList<std::pair<OrdersScreen::Action::Kind, CapsuleButton*>> m_buttons;
};

} // namespace tavrin
