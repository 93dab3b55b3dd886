#include "ui/FileDialogs.h"

#include <QFileDialog>

namespace tavrin::FileDialogs {

void open(QFileDialog* dialog, const QString& prompt, const std::function<void(const QString&)>& chosen)
{
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowModality(Qt::WindowModal);
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    dialog->setLabelText(QFileDialog::Accept, prompt);
    dialog->setLabelText(QFileDialog::Reject, QStringLiteral("Annuler"));
    QObject::connect(dialog, &QFileDialog::fileSelected, dialog, [chosen](const QString& path) { answer(path, chosen); });
    dialog->open();
}

void answer(const QString& path, const std::function<void(const QString&)>& chosen)
{
    if (!path.isEmpty()) chosen(path);
}

} // namespace tavrin::FileDialogs
