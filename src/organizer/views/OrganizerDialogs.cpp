#include "organizer/views/OrganizerDialogs.h"

#include "ui/FileDialogs.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
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

void askReplaceProgramme(QWidget* parent, const QString& question, const std::function<void(bool)>& answered)
{
    if (hooks().replaceProgramme) return answered(hooks().replaceProgramme(question));
    auto* box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Remplacer le programme"), question, QMessageBox::NoButton, parent);
    box->setObjectName(QStringLiteral("replaceProgrammeQuestion"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    QPushButton* replace = box->addButton(QStringLiteral("Remplacer"), QMessageBox::DestructiveRole);
    QPushButton* cancel = box->addButton(QStringLiteral("Annuler"), QMessageBox::RejectRole);
    // A wrong file chosen in a hurry: Entrée keeps the programme.
    box->setDefaultButton(cancel);
    box->setEscapeButton(cancel);
    QObject::connect(box, &QMessageBox::buttonClicked, box, [answered, replace](QAbstractButton* button) { answered(button == replace); });
    box->open();
}

void openFolder(const QString& path)
{
    if (hooks().openFolder) return hooks().openFolder(path);
    QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

} // namespace tavrin::OrganizerDialogs
