#pragma once

// « Vitrine »: starts and stops the stand's showcase for a folder of riders' folders (by default
// the destination of the last organisation), shows its address as a QR code with the visitors
// and orders counted, and writes the A4 poster. The showcase keeps running while the window is
// hidden; it stops with « Arrêter » or when the orders screen goes.

#include "showcase/ShowcaseService.h"

#include <QDialog>

#include <functional>

class QLabel;

namespace tavrin {

class CapsuleButton;
class OrdersStore;

class ShowcaseDialog : public QDialog {
    Q_OBJECT
public:
    ShowcaseDialog(OrdersStore& store, QWidget* parent = nullptr);
    ~ShowcaseDialog() override;

    // The « Vitrine » button of the orders screen, which opens the one dialog of `parent`.
    static CapsuleButton* button(OrdersStore& store, QWidget* parent);

    ShowcaseService& service() { return m_service; }
    void setFolder(const QString& folder);
    // Starts or stops; a failure is shown in the dialog.
    void toggle();
    // Writes the poster to `path`; false with the reason shown when it cannot.
    bool writePoster(const QString& path);

    QLabel* statusLabel() const { return m_status; }
    QLabel* addressLabel() const { return m_address; }
    QLabel* countsLabel() const { return m_counts; }
    QLabel* codeLabel() const { return m_code; }
    // « Aperçus prêts : 340 Mo sur 2 Go » while the showcase runs.
    QLabel* cacheLabel() const { return m_cache; }
    // « 340 Mo », « 1,2 Go ».
    static QString sizeText(qint64 bytes);

    // Options the dialog starts the showcase with (tests set the address and port).
    http::Server::Options serverOptions;
    // When set, answers the poster's save dialog.
    static std::function<QString()>& posterPathHook();

private:
    void refresh();

    OrdersStore& m_store;
    ShowcaseService m_service;
    QString m_folder;
    int m_orders = 0;
    QLabel* m_folderLabel;
    QLabel* m_code;
    QLabel* m_address;
    QLabel* m_counts;
    QLabel* m_status;
    QLabel* m_cache;
    CapsuleButton* m_choose;
    CapsuleButton* m_toggle;
    CapsuleButton* m_poster;
};

} // namespace tavrin
