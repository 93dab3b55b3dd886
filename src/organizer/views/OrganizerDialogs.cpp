#include "organizer/views/OrganizerDialogs.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QUrl>

namespace tavrin::OrganizerDialogs {

Hooks& hooks()
{
    static Hooks instance;
    return instance;
}

QString chooseProgrammeFile(QWidget* parent)
{
    if (hooks().programmeFile) return hooks().programmeFile();
    QFileDialog dialog(parent, QStringLiteral("Importer le programme"));
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setNameFilters({QStringLiteral("Programmes (*.pdf *.xlsx *.xlsm *.PDF *.XLSX *.XLSM)")});
    dialog.setLabelText(QFileDialog::Accept, QStringLiteral("Importer"));
    dialog.setLabelText(QFileDialog::Reject, QStringLiteral("Annuler"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().first();
}

QString chooseFolder(QWidget* parent, const QString& title)
{
    if (hooks().folder) return hooks().folder(title);
    QFileDialog dialog(parent, title);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    dialog.setLabelText(QFileDialog::Accept, QStringLiteral("Choisir"));
    dialog.setLabelText(QFileDialog::Reject, QStringLiteral("Annuler"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().first();
}

void openFolder(const QString& path)
{
    if (hooks().openFolder) return hooks().openFolder(path);
    QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

} // namespace tavrin::OrganizerDialogs
