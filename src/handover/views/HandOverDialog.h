#pragma once

// "Partager par QR code": serves the chosen files to the customer's phone while open, showing the
// page's address as a QR code with the file count. Closing it stops the service; the completion
// runs only when every file was fetched in full.

#include "handover/HandOverService.h"

#include <QDialog>
#include <QIcon>

class QLabel;
class QPushButton;

namespace tavrin {

class HandOverDialog : public QDialog {
    Q_OBJECT
public:
    HandOverDialog(const QStringList& paths, std::function<void(const QStringList& delivered)> completion,
                   QWidget* parent = nullptr, const HandOverService::Options& options = {});

    // The screens' entry: nothing for an empty list; otherwise a window-modal dialog that deletes
    // itself when closed. The orders screen passes a completion that marks the files delivered.
    static HandOverDialog* send(QWidget* parent, const QStringList& paths,
                                std::function<void(const QStringList& delivered)> completion);
    // The hand-over's symbol at that size, for buttons and menus.
    static QIcon icon(int size);

    HandOverService& service() { return m_service; }
    QLabel* codeLabel() const { return m_code; }
    QLabel* addressLabel() const { return m_address; }
    QLabel* countLabel() const { return m_count; }
    QLabel* statusLabel() const { return m_status; }

protected:
    void done(int result) override;

private:
    void showProgress();

    HandOverService m_service;
    QLabel* m_code;
    QLabel* m_address;
    QLabel* m_count;
    QLabel* m_status;
    QPushButton* m_close;
    int m_total = 0;
};

} // namespace tavrin
