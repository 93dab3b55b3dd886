#include "ui/FileDialogs.h"

#include "base/UserDefaults.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

namespace tavrin::FileDialogs {

namespace {

QString defaultsKey(const QString& title) { return QStringLiteral("tavrin.lastChoice.") + title; }

void remember(const QString& title, const QString& path)
{
    UserDefaults& defaults = UserDefaults::standard();
    defaults.setString(defaultsKey(title), QFileInfo(path).absoluteFilePath());
    defaults.synchronize();
}

// In the folder of the last choice, that file or folder selected; else in its nearest folder that
// still exists (a card unplugged since, a folder renamed).
void startAtLastChoice(QFileDialog* dialog)
{
    const QString last = lastChoice(dialog->windowTitle());
    if (last.isEmpty()) return;
    QString folder = QFileInfo(last).absolutePath();
    const bool unchanged = QFileInfo(folder).isDir();
    while (!QFileInfo(folder).isDir() && folder != QDir::rootPath()) folder = QFileInfo(folder).absolutePath();
    dialog->setDirectory(folder);
    if (unchanged && QFileInfo::exists(last)) dialog->selectFile(QFileInfo(last).fileName());
}

} // namespace

QString lastChoice(const QString& title) { return UserDefaults::standard().string(defaultsKey(title)).value_or(QString()); }

void open(QFileDialog* dialog, const QString& prompt, const std::function<void(const QString&)>& chosen)
{
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowModality(Qt::WindowModal);
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    dialog->setLabelText(QFileDialog::Accept, prompt);
    dialog->setLabelText(QFileDialog::Reject, QStringLiteral("Annuler"));
    // Qt's catalogue says « Voir dans » where the house wording is « Regarder dans ».
    dialog->setLabelText(QFileDialog::LookIn, QStringLiteral("Regarder dans :"));
    startAtLastChoice(dialog);
    const QString title = dialog->windowTitle();
    QObject::connect(dialog, &QFileDialog::fileSelected, dialog, [chosen, title](const QString& path) {
        if (!path.isEmpty()) remember(title, path);
        answer(path, chosen);
    });
    dialog->open();
}

void answer(const QString& path, const std::function<void(const QString&)>& chosen)
{
    if (!path.isEmpty()) chosen(path);
}

} // namespace tavrin::FileDialogs
