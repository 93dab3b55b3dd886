#include "organizer/views/OrganizerDialogs.h"

#include "ui/FileDialogs.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QUrl>

namespace tavrin::OrganizerDialogs {

Hooks& hooks()
{
    static Hooks instance;
    return instance;
}

void chooseProgrammeFile(QWidget* parent, const std::function<void(const QString&)>& chosen)
{
    if (hooks().programmeFile) return FileDialogs::answer(hooks().programmeFile(), chosen);
    auto* dialog = new QFileDialog(parent, QStringLiteral("Importer le programme"));
    dialog->setFileMode(QFileDialog::ExistingFile);
    dialog->setNameFilters({QStringLiteral("Programmes (*.pdf *.xlsx *.xlsm *.PDF *.XLSX *.XLSM)")});
    FileDialogs::open(dialog, QStringLiteral("Importer"), chosen);
}

void chooseFolder(QWidget* parent, const QString& title, const std::function<void(const QString&)>& chosen)
{
    if (hooks().folder) return FileDialogs::answer(hooks().folder(title), chosen);
    auto* dialog = new QFileDialog(parent, title);
    dialog->setFileMode(QFileDialog::Directory);
    dialog->setOption(QFileDialog::ShowDirsOnly);
    FileDialogs::open(dialog, QStringLiteral("Choisir"), chosen);
}

void openFolder(const QString& path)
{
    if (hooks().openFolder) return hooks().openFolder(path);
    QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

} // namespace tavrin::OrganizerDialogs
