#include "organizer/views/OrganizerDialogs.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QUrl>

namespace tavrin::OrganizerDialogs {

namespace {

void openDialog(QFileDialog* dialog, const std::function<void(const QString&)>& chosen)
{
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowModality(Qt::WindowModal);
    dialog->setLabelText(QFileDialog::Reject, QStringLiteral("Annuler"));
    QObject::connect(dialog, &QFileDialog::fileSelected, dialog, [chosen](const QString& path) {
        if (!path.isEmpty()) chosen(path);
    });
    dialog->open();
}

void answer(const QString& path, const std::function<void(const QString&)>& chosen)
{
    if (!path.isEmpty()) chosen(path);
}

} // namespace

Hooks& hooks()
{
    static Hooks instance;
    return instance;
}

void chooseProgrammeFile(QWidget* parent, const std::function<void(const QString&)>& chosen)
{
    if (hooks().programmeFile) return answer(hooks().programmeFile(), chosen);
    auto* dialog = new QFileDialog(parent, QStringLiteral("Importer le programme"));
    dialog->setFileMode(QFileDialog::ExistingFile);
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    dialog->setNameFilters({QStringLiteral("Programmes (*.pdf *.xlsx *.xlsm *.PDF *.XLSX *.XLSM)")});
    dialog->setLabelText(QFileDialog::Accept, QStringLiteral("Importer"));
    openDialog(dialog, chosen);
}

void chooseFolder(QWidget* parent, const QString& title, const std::function<void(const QString&)>& chosen)
{
    if (hooks().folder) return answer(hooks().folder(title), chosen);
    auto* dialog = new QFileDialog(parent, title);
    dialog->setFileMode(QFileDialog::Directory);
    dialog->setOption(QFileDialog::ShowDirsOnly);
    dialog->setLabelText(QFileDialog::Accept, QStringLiteral("Choisir"));
    openDialog(dialog, chosen);
}

void openFolder(const QString& path)
{
    if (hooks().openFolder) return hooks().openFolder(path);
    QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

} // namespace tavrin::OrganizerDialogs
