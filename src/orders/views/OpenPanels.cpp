#include "orders/views/OpenPanels.h"

#include "orders/views/ApplicationChooserDialog.h"
#include "ui/FileDialogs.h"

#include <QFileDialog>

#include <vips/vips.h>

namespace tavrin::OpenPanels {

namespace {

QString filter(const QString& label, const QStringList& patterns)
{
    QStringList both;
    for (const QString& p : patterns) both << p << p.toUpper();
    return label + QStringLiteral(" (") + both.join(u' ') + u')';
}

} // namespace

Hooks& hooks()
{
    static Hooks instance;
    return instance;
}

QStringList imagePatterns()
{
    QStringList patterns{"*.png", "*.jpg", "*.jpeg", "*.tif", "*.tiff", "*.gif", "*.webp"};
    if (vips_type_find("VipsOperation", "heifload") != 0) patterns << "*.heic" << "*.heif";
    return patterns;
}

void pickFolder(QWidget* parent, const QString& title, const QString& prompt, const std::function<void(const QString&)>& chosen)
{
    if (hooks().folder) return FileDialogs::answer(hooks().folder(title), chosen);
    auto* dialog = new QFileDialog(parent, title);
    dialog->setFileMode(QFileDialog::Directory);
    dialog->setOption(QFileDialog::ShowDirsOnly);
    FileDialogs::open(dialog, prompt, chosen);
}

void pickImage(QWidget* parent, const QString& title, const QString& prompt, const std::function<void(const QString&)>& chosen)
{
    if (hooks().image) return FileDialogs::answer(hooks().image(title), chosen);
    auto* dialog = new QFileDialog(parent, title);
    dialog->setFileMode(QFileDialog::ExistingFile);
    dialog->setNameFilters({filter(QStringLiteral("Images"), imagePatterns())});
    FileDialogs::open(dialog, prompt, chosen);
}

void pickProgramme(QWidget* parent, const std::function<void(const QString&)>& chosen)
{
    if (hooks().programme) return FileDialogs::answer(hooks().programme(), chosen);
    auto* dialog = new QFileDialog(parent, QStringLiteral("Importer le programme"));
    dialog->setFileMode(QFileDialog::ExistingFile);
    dialog->setNameFilters({filter(QStringLiteral("Programmes"), {"*.pdf", "*.xlsx", "*.xlsm"})});
    FileDialogs::open(dialog, QStringLiteral("Importer"), chosen);
}

void pickApplication(QWidget* parent, const std::function<void(const OpenWithApp&)>& chosen)
{
    if (hooks().application) {
        if (const auto app = OpenWithApps::app(hooks().application())) chosen(*app);
        return;
    }
    auto* dialog = new ApplicationChooserDialog(parent);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowModality(Qt::WindowModal);
    QObject::connect(dialog, &ApplicationChooserDialog::chosen, dialog, [chosen](const OpenWithApp& app) { chosen(app); });
    dialog->open();
}

} // namespace tavrin::OpenPanels
