#include "cli/Cli.h"
#include "orders/OrdersScreenModel.h"
#include "orders/OrdersStore.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>

namespace tavrin::cli {
namespace {

QJsonObject sectionJson(const OrdersStore& store, const OrderSection& section)
{
    QJsonArray items;
    for (const OrderGalleryItem& item : OrdersScreen::galleryItems(section)) {
        if (item.isSeparator()) {
            items.append(QJsonObject{{QStringLiteral("separator"), true}});
            continue;
        }
        items.append(QJsonObject{{QStringLiteral("file"), QFileInfo(item.media->url).fileName()},
                                 {QStringLiteral("isVideo"), item.media->isVideo},
                                 {QStringLiteral("delivered"), store.isDelivered(item.media->url)}});
    }
    return {{QStringLiteral("name"), section.name}, {QStringLiteral("items"), items}};
}

int show(const QStringList& raw)
{
    const Args args(raw, {QStringLiteral("root"), QStringLiteral("folder")});
    if (!args.positional().isEmpty()) throw UsageError(QStringLiteral("orders show ne prend pas d’argument"));
    OrdersStore store;
    if (const std::optional<QString> root = args.value(QStringLiteral("root"))) {
        const QFileInfo info(*root);
        if (!info.isDir())
            throw Error(QStringLiteral("Le dossier « ") + *root + QStringLiteral(" » est introuvable."));
        store.storeRoot(info.absoluteFilePath());
    } else {
        store.reload();
    }
    if (const std::optional<QString> name = args.value(QStringLiteral("folder"))) {
        const auto found = std::find_if(store.folders().cbegin(), store.folders().cend(),
                                        [&](const OrderFolder& f) { return f.name == *name; });
        if (found == store.folders().cend())
            throw Error(QStringLiteral("Aucune commande ne s’appelle « ") + *name + QStringLiteral(" »."));
        store.selectFolder(found->url);
    }
    store.reload();

    QJsonObject out;
    if (store.rootName()) out.insert(QStringLiteral("rootName"), *store.rootName());
    QJsonArray folders;
    for (const OrderFolder& folder : store.folders()) {
        folders.append(folder.name);
        if (store.selectedFolderID() == folder.url) out.insert(QStringLiteral("selectedFolder"), folder.name);
    }
    out.insert(QStringLiteral("folders"), folders);
    QJsonArray sections;
    for (const OrderSection& section : store.sections()) sections.append(sectionJson(store, section));
    out.insert(QStringLiteral("sections"), sections);
    out.insert(QStringLiteral("summaryLine"), OrdersScreen::summaryLine(store.sections()));
    if (store.errorMessage()) out.insert(QStringLiteral("errorMessage"), *store.errorMessage());
    printJson(out);
    return 0;
}

int deliver(const QStringList& raw)
{
    const Args args(raw, {});
    if (args.positional().isEmpty()) throw UsageError(QStringLiteral("indiquez au moins un fichier"));
    int status = 0;
    QStringList files;
    for (const QString& file : args.positional()) {
        if (!QFileInfo(file).isFile()) {
            printError(QStringLiteral("« ") + file + QStringLiteral(" » : fichier introuvable."));
            status = 1;
            continue;
        }
        files.push_back(QDir::isAbsolutePath(file) ? file : QDir::current().absoluteFilePath(file));
    }
    OrdersStore store;
    store.markDelivered(files);
    return status;
}

const Registration showCommand{{QStringLiteral("orders show"), QStringLiteral("orders show [--root DOSSIER] [--folder NOM]"),
                                QStringLiteral("Affiche les commandes, leurs types et leurs fichiers comme l’écran des commandes."),
                                show}};

const Registration deliverCommand{{QStringLiteral("orders deliver"), QStringLiteral("orders deliver FICHIER…"),
                                   QStringLiteral("Marque les fichiers comme transférés ou imprimés."), deliver}};

} // namespace
} // namespace tavrin::cli
