#include "sales/views/SalesDialogs.h"

#include "base/Error.h"
#include "sales/Money.h"
#include "ui/CapsuleButton.h"
#include "ui/Theme.h"
#include "ui/UndoBanner.h"

#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QShortcut>
#include <QSpinBox>
#include <QTableWidget>
#include <QVBoxLayout>

namespace tavrin {

namespace {

QTableWidget* readOnlyTable(const QStringList& headers, QWidget* parent)
{
    auto* table = new QTableWidget(0, int(headers.size()), parent);
    table->setHorizontalHeaderLabels(headers);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    table->verticalHeader()->setVisible(false);
    table->horizontalHeader()->setStretchLastSection(true);
    table->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    // Amounts and means keep their heading whole: « Prix d’un fichier » must not read « rix d’un fichie ».
    for (int column = 1; column + 1 < table->columnCount(); ++column)
        table->horizontalHeader()->setSectionResizeMode(column, QHeaderView::ResizeToContents);
    return table;
}

QLabel* errorLine(QWidget* parent)
{
    auto* label = new QLabel(parent);
    label->setObjectName(QStringLiteral("salesError"));
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    label->setStyleSheet(QStringLiteral("color: #b3261e"));
    label->setVisible(false);
    return label;
}

void showError(QLabel* label, const std::optional<QString>& text)
{
    label->setText(text.value_or(QString()));
    label->setVisible(text.has_value());
}

template <typename Dialog>
void openOne(SalesBook& book, QWidget* parent)
{
    auto* dialog = parent->findChild<Dialog*>(QString(), Qt::FindDirectChildrenOnly);
    if (!dialog) dialog = new Dialog(book, parent);
    dialog->show();
    dialog->raise();
    dialog->activateWindow();
}

} // namespace

// --- Tarifs ------------------------------------------------------------------------------------

PricesDialog::PricesDialog(SalesBook& book, QWidget* parent)
    : QDialog(parent), m_book(book),
      m_table(readOnlyTable({QStringLiteral("Type"), QStringLiteral("Prix d’un fichier"), QStringLiteral("Lots")}, this)),
      m_section(new QComboBox(this)), m_price(new QLineEdit(this)), m_packCount(new QSpinBox(this)),
      m_packPrice(new QLineEdit(this)), m_standName(new QLineEdit(this)), m_standAddress(new QLineEdit(this)),
      m_error(errorLine(this)), m_banner(new UndoBanner(this))
{
    setObjectName(QStringLiteral("pricesDialog"));
    setWindowTitle(QStringLiteral("Tarifs"));
    resize(720, 480);
    auto* layout = new QVBoxLayout(this);
    auto* intro = new QLabel(QStringLiteral("Le prix d’un fichier pour chaque type de commande (le nom de son dossier), et des lots "
                                            "appliqués quand ils reviennent moins cher au client."),
                             this);
    intro->setWordWrap(true);
    layout->addWidget(intro);
    layout->addWidget(m_table, 1);

    m_section->setEditable(true);
    m_section->setObjectName(QStringLiteral("pricesSection"));
    m_section->setMinimumWidth(200);
    m_price->setPlaceholderText(QStringLiteral("15,00"));
    m_price->setObjectName(QStringLiteral("pricesPrice"));
    m_packCount->setRange(0, 999);
    m_packCount->setValue(5);
    m_packCount->setSpecialValueText(QStringLiteral("tous les fichiers d’un cavalier"));
    m_packCount->setSuffix(QStringLiteral(" fichiers"));
    m_packPrice->setPlaceholderText(QStringLiteral("35,00"));
    auto* savePriceButton = new CapsuleButton(CapsuleKind::glass, QStringLiteral("Enregistrer le prix"), QString(), this);
    auto* savePackButton = new CapsuleButton(CapsuleKind::glass, QStringLiteral("Ajouter le lot"), QString(), this);
    auto* removeButton = new CapsuleButton(CapsuleKind::glass, QStringLiteral("Retirer ce type"), QString(), this);
    auto* form = new QGridLayout();
    form->addWidget(new QLabel(QStringLiteral("Type"), this), 0, 0);
    form->addWidget(m_section, 0, 1);
    form->addWidget(new QLabel(QStringLiteral("Prix d’un fichier (€)"), this), 0, 2);
    form->addWidget(m_price, 0, 3);
    form->addWidget(savePriceButton, 0, 4);
    form->addWidget(new QLabel(QStringLiteral("Lot de"), this), 1, 0);
    form->addWidget(m_packCount, 1, 1);
    form->addWidget(new QLabel(QStringLiteral("Prix du lot (€)"), this), 1, 2);
    form->addWidget(m_packPrice, 1, 3);
    form->addWidget(savePackButton, 1, 4);
    form->addWidget(removeButton, 2, 4);
    // The stand, as the receipts name it.
    m_standName->setPlaceholderText(QStringLiteral("Photos du concours"));
    m_standAddress->setPlaceholderText(QStringLiteral("Adresse, code postal et ville"));
    auto* saveStandButton = new CapsuleButton(CapsuleKind::glass, QStringLiteral("Enregistrer le stand"), QString(), this);
    form->addWidget(new QLabel(QStringLiteral("Nom du stand"), this), 3, 0);
    form->addWidget(m_standName, 3, 1);
    form->addWidget(new QLabel(QStringLiteral("Adresse"), this), 3, 2);
    form->addWidget(m_standAddress, 3, 3);
    form->addWidget(saveStandButton, 3, 4);
    const Stand stand = m_book.stand();
    m_standName->setText(stand.name);
    m_standAddress->setText(QString(stand.address).replace(u'\n', QStringLiteral(", ")));
    connect(saveStandButton, &QAbstractButton::clicked, this, [this] { saveStand(m_standName->text(), m_standAddress->text()); });
    layout->addLayout(form);
    layout->addWidget(m_error);
    layout->addWidget(m_banner);
    m_banner->showText(std::nullopt);

    connect(savePriceButton, &QAbstractButton::clicked, this, [this] { savePrice(m_section->currentText(), m_price->text()); });
    connect(savePackButton, &QAbstractButton::clicked, this,
            [this] { savePack(m_section->currentText(), m_packCount->value(), m_packPrice->text()); });
    connect(removeButton, &QAbstractButton::clicked, this, [this] { removeSection(m_section->currentText()); });
    connect(m_banner, &UndoBanner::undoRequested, this, &PricesDialog::undo);
    auto* undoShortcut = new QShortcut(QKeySequence::Undo, this);
    connect(undoShortcut, &QShortcut::activated, this, &PricesDialog::undo);
    connect(m_table, &QTableWidget::currentCellChanged, this, [this](int row) {
        if (QTableWidgetItem* item = m_table->item(row, 0)) m_section->setCurrentText(item->text());
    });
    connect(&m_book, &SalesBook::changed, this, &PricesDialog::refresh);
    refresh();
}

void PricesDialog::apply(const PriceList& list, const QString& done)
{
    const PriceList before = m_book.prices();
    if (list == before) return;
    m_history.push_back({before, m_book.stand()});
    m_book.setPrices(list);
    showError(m_error, std::nullopt);
    m_banner->showText(done);
    // Saved: the fields are free for the next price, and Ctrl+Z reaches the list rather than
    // the text of a field.
    m_price->clear();
    m_packPrice->clear();
    m_table->setFocus();
}

bool PricesDialog::savePrice(const QString& section, const QString& euros)
{
    try {
        PriceList list = m_book.prices();
        list.setPrice(section, Money::parse(euros));
        apply(list, section.simplified() + QStringLiteral(" : ") + Money::text(Money::parse(euros)));
        return true;
    } catch (const Error& e) {
        showError(m_error, e.message());
        return false;
    }
}

bool PricesDialog::savePack(const QString& section, int count, const QString& euros)
{
    try {
        PriceList list = m_book.prices();
        const PricePack pack{count, Money::parse(euros)};
        list.addPack(section, pack);
        apply(list, section.simplified() + QStringLiteral(" : ") + packLabel(pack));
        return true;
    } catch (const Error& e) {
        showError(m_error, e.message());
        return false;
    }
}

void PricesDialog::removeSection(const QString& section)
{
    PriceList list = m_book.prices();
    list.remove(section);
    apply(list, section.simplified() + QStringLiteral(" retiré des tarifs"));
}

void PricesDialog::saveStand(const QString& name, const QString& address)
{
    // « 12 rue des Écuries, 41600 Lamotte-Beuvron » is two lines on the receipt.
    QStringList lines;
    for (const QString& part : address.split(u','))
        if (!part.trimmed().isEmpty()) lines.push_back(part.trimmed());
    const Stand stand{name.trimmed(), lines.join(u'\n')};
    if (stand == m_book.stand()) return;
    m_history.push_back({m_book.prices(), m_book.stand()});
    m_book.setStand(stand);
    m_banner->showText(QStringLiteral("Stand enregistré pour les reçus"));
}

void PricesDialog::undo()
{
    if (m_history.isEmpty()) return;
    const auto [prices, stand] = m_history.takeLast();
    m_book.setPrices(prices);
    m_book.setStand(stand);
    m_standName->setText(stand.name);
    m_standAddress->setText(QString(stand.address).replace(u'\n', QStringLiteral(", ")));
    if (m_history.isEmpty()) m_banner->showText(std::nullopt);
    else m_banner->showText(QStringLiteral("Modification annulée"));
}

void PricesDialog::refresh()
{
    const PriceList list = m_book.prices();
    m_table->setRowCount(int(list.sections.size()));
    for (int row = 0; row < list.sections.size(); ++row) {
        const SectionPrice& p = list.sections[row];
        QStringList packs;
        for (const PricePack& pack : p.packs) packs.push_back(packLabel(pack));
        m_table->setItem(row, 0, new QTableWidgetItem(p.section));
        m_table->setItem(row, 1, new QTableWidgetItem(Money::text(p.cents)));
        m_table->setItem(row, 2, new QTableWidgetItem(packs.join(QStringLiteral(" ; "))));
    }
    // The usual types and those of the selected order, to pick from.
    const QString typed = m_section->currentText();
    QStringList names{QStringLiteral("IMPRESSION A5"), QStringLiteral("IMPRESSION A4"), QStringLiteral("FICHIERS")};
    for (const SectionPrice& p : list.sections) names.push_back(p.section);
    for (const OrderSection& s : m_book.store().sections())
        if (s.name != OrdersStore::topLevelSectionName()) names.push_back(s.name);
    names.removeDuplicates();
    m_section->clear();
    m_section->addItems(names);
    m_section->setCurrentText(typed);
}

// --- Caisse du jour ----------------------------------------------------------------------------

std::function<QString()>& TakingsDialog::csvPathHook()
{
    static std::function<QString()> hook;
    return hook;
}

TakingsDialog::TakingsDialog(SalesBook& book, QWidget* parent)
    : QDialog(parent), m_book(book), m_day(new QDateEdit(QDate::currentDate(), this)),
      m_table(readOnlyTable({QStringLiteral("Commande"), QStringLiteral("Total"), QStringLiteral("État")}, this)),
      m_summary(new QLabel(this)), m_error(errorLine(this))
{
    setObjectName(QStringLiteral("takingsDialog"));
    setWindowTitle(QStringLiteral("Caisse du jour"));
    resize(720, 520);
    auto* layout = new QVBoxLayout(this);
    auto* top = new QHBoxLayout();
    top->addWidget(new QLabel(QStringLiteral("Jour"), this));
    m_day->setCalendarPopup(true);
    m_day->setDisplayFormat(QStringLiteral("dd/MM/yyyy"));
    top->addWidget(m_day);
    top->addStretch(1);
    auto* exportButton = new CapsuleButton(CapsuleKind::glass, QStringLiteral("Exporter en CSV…"), QString(), this);
    exportButton->setObjectName(QStringLiteral("takingsExport"));
    top->addWidget(exportButton);
    layout->addLayout(top);
    layout->addWidget(m_table, 1);
    m_summary->setObjectName(QStringLiteral("takingsSummary"));
    m_summary->setTextFormat(Qt::PlainText);
    m_summary->setWordWrap(true);
    layout->addWidget(m_summary);
    layout->addWidget(m_error);

    connect(m_day, &QDateEdit::dateChanged, this, &TakingsDialog::refresh);
    connect(exportButton, &QAbstractButton::clicked, this, [this] {
        const QString suggested = QDir::homePath() + QStringLiteral("/Caisse ") + m_takings.day.toString(Qt::ISODate) + QStringLiteral(".csv");
        const QString path = csvPathHook() ? csvPathHook()()
                                           : QFileDialog::getSaveFileName(this, QStringLiteral("Exporter la caisse du jour"), suggested,
                                                                          QStringLiteral("CSV (*.csv)"));
        if (!path.isEmpty()) exportCsv(path);
    });
    connect(&m_book, &SalesBook::changed, this, &TakingsDialog::refresh);
    connect(&m_book.store(), &OrdersStore::foldersChanged, this, &TakingsDialog::refresh);
    connect(&m_book.store(), &OrdersStore::sectionsChanged, this, &TakingsDialog::refresh);
    refresh();
}

void TakingsDialog::setDay(const QDate& day) { m_day->setDate(day); }

bool TakingsDialog::exportCsv(const QString& path)
{
    try {
        m_takings.writeCsv(path);
        showError(m_error, std::nullopt);
        return true;
    } catch (const Error& e) {
        showError(m_error, e.message());
        return false;
    }
}

void TakingsDialog::refresh()
{
    m_takings = m_book.takings(m_day->date());
    m_table->setRowCount(int(m_takings.rows.size()));
    for (int row = 0; row < m_takings.rows.size(); ++row) {
        const TakingsRow& r = m_takings.rows[row];
        m_table->setItem(row, 0, new QTableWidgetItem(r.folder));
        auto* total = new QTableWidgetItem(Money::text(r.total));
        total->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        m_table->setItem(row, 1, total);
        m_table->setItem(row, 2, new QTableWidgetItem(paymentStateText(r.payment)));
    }
    QStringList paid;
    for (PaymentMeans m : Payments::allMeans())
        paid.push_back(Payments::label(m) + QStringLiteral(" ") + Money::text(m_takings.paid.value(m)));
    const qsizetype n = m_takings.rows.size();
    m_summary->setText(QString::number(n) + (n > 1 ? QStringLiteral(" commandes") : QStringLiteral(" commande")) +
                       QStringLiteral(" · Total : ") + Money::text(m_takings.total) + QStringLiteral("\nPayé : ") +
                       paid.join(QStringLiteral(", ")) + QStringLiteral("\nReste à payer : ") + Money::text(m_takings.unpaid));
}

QWidget* SalesDialogs::buttons(SalesBook& book, QWidget* parent)
{
    auto* row = new QWidget(parent);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(Theme::spacing);
    auto* prices = new CapsuleButton(CapsuleKind::glass, QStringLiteral("Tarifs"), QString(), row);
    prices->setObjectName(QStringLiteral("ordersPrices"));
    prices->setToolTip(QStringLiteral("Le prix de chaque type de commande et ses lots"));
    auto* takings = new CapsuleButton(CapsuleKind::glass, QStringLiteral("Caisse du jour"), QString(), row);
    takings->setObjectName(QStringLiteral("ordersTakings"));
    takings->setToolTip(QStringLiteral("Les commandes du jour, ce qui a été payé et ce qui reste à payer"));
    layout->addWidget(prices);
    layout->addWidget(takings);
    layout->addStretch(1);
    QObject::connect(prices, &QAbstractButton::clicked, parent, [&book, parent] { openOne<PricesDialog>(book, parent); });
    QObject::connect(takings, &QAbstractButton::clicked, parent, [&book, parent] { openOne<TakingsDialog>(book, parent); });
    return row;
}

} // namespace tavrin
