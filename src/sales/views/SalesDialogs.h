#pragma once

// « Tarifs » (the price per section name and its packs, every edit undoable) and « Caisse du
// jour » (a day's orders, what was paid by each means, what is left, the CSV export), opened
// from the orders screen's left column.

#include "sales/SalesBook.h"

#include <QDialog>

#include <functional>

class QComboBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QSpinBox;
class QTableWidget;

namespace tavrin {

class CapsuleButton;
class UndoBanner;

class PricesDialog : public QDialog {
    Q_OBJECT
public:
    explicit PricesDialog(SalesBook& book, QWidget* parent = nullptr);

    // The form's actions; a bad amount or a pack without a price is said in the dialog.
    bool savePrice(const QString& section, const QString& euros);
    bool savePack(const QString& section, int count, const QString& euros);
    void removeSection(const QString& section);
    // The stand's name and address for the receipts.
    void saveStand(const QString& name, const QString& address);
    void undo();

    QTableWidget* table() const { return m_table; }
    QLabel* errorLabel() const { return m_error; }
    UndoBanner* undoBanner() const { return m_banner; }

private:
    // Saves `list`, keeping the one before for « Annuler ».
    void apply(const PriceList& list, const QString& done);
    void refresh();

    SalesBook& m_book;
    // What each edit replaced, for « Annuler ».
    QList<std::pair<PriceList, Stand>> m_history;
    QTableWidget* m_table;
    QComboBox* m_section;
    QLineEdit* m_price;
    QSpinBox* m_packCount;
    QLineEdit* m_packPrice;
    QLineEdit* m_standName;
    QLineEdit* m_standAddress;
    QLabel* m_error;
    UndoBanner* m_banner;
};

class TakingsDialog : public QDialog {
    Q_OBJECT
public:
    explicit TakingsDialog(SalesBook& book, QWidget* parent = nullptr);

    void setDay(const QDate& day);
    const Takings& takings() const { return m_takings; }
    // Writes the CSV; false with the reason shown when it cannot.
    bool exportCsv(const QString& path);

    QTableWidget* table() const { return m_table; }
    QLabel* summaryLabel() const { return m_summary; }
    // When set, answers the export's save dialog.
    static std::function<QString()>& csvPathHook();

private:
    void refresh();

    SalesBook& m_book;
    Takings m_takings;
    QDateEdit* m_day;
    QTableWidget* m_table;
    QLabel* m_summary;
    QLabel* m_error;
};

namespace SalesDialogs {
// « Tarifs » and « Caisse du jour » side by side; each opens the one dialog of `parent`.
QWidget* buttons(SalesBook& book, QWidget* parent);
} // namespace SalesDialogs

} // namespace tavrin
