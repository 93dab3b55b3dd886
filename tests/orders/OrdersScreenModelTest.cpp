#include "TestSupport.h"
#include "editing/PhotoRetouchSettings.h"
#include "orders/OrdersScreenModel.h"
#include "orders/OrdersStore.h"

#include <QDir>

#include <gtest/gtest.h>

using namespace tavrin;
using Kind = OrdersScreen::GalleryRow::Kind;
using ActionKind = OrdersScreen::Action::Kind;

namespace {

OrderMedia photo(const QString& name) { return {QStringLiteral("/commandes/A/") + name, false}; }
OrderMedia video(const QString& name) { return {QStringLiteral("/commandes/A/") + name, true}; }

QList<Kind> kinds(const QList<OrdersScreen::GalleryRow>& rows)
{
    QList<Kind> out;
    for (const auto& row : rows) out.push_back(row.kind);
    return out;
}

QStringList texts(const QList<OrdersScreen::Action>& actions)
{
    QStringList out;
    for (const auto& action : actions) out.push_back(action.text);
    return out;
}

const OrdersScreen::Action* find(const QList<OrdersScreen::Action>& actions, ActionKind kind)
{
    for (const auto& action : actions)
        if (action.kind == kind) return &action;
    return nullptr;
}

} // namespace

TEST(OrdersScreenRows, EachLayoutFlattensTheSections)
{
    const QList<OrderSection> sections{
        {QStringLiteral("IMPRESSION A5"), QStringLiteral("/commandes/A/IMPRESSION A5"),
         {photo("IMG_0101.JPG"), photo("IMG_0102.JPG"), photo("IMG_0110.JPG"), video("IMG_0130.MOV")}},
        {QStringLiteral("VIDE"), QStringLiteral("/commandes/A/VIDE"), {}},
    };
    const auto rows = OrdersScreen::galleryRows(sections, OrdersGalleryLayout::sections);
    EXPECT_EQ(kinds(rows), (QList<Kind>{Kind::sectionHeader, Kind::media, Kind::media, Kind::separator, Kind::media, Kind::media,
                                        Kind::sectionHeader, Kind::empty}));
    EXPECT_EQ(rows[0].text, QStringLiteral("IMPRESSION A5"));
    EXPECT_EQ(rows[3].text, QStringLiteral("Saut de numéros"));
    EXPECT_EQ(rows[4].media->url, QStringLiteral("/commandes/A/IMG_0110.JPG"));
    EXPECT_EQ(rows[6].section, 1);
    EXPECT_EQ(rows[7].text, QStringLiteral("Aucune photo ni vidéo"));

    // List and grid: only the files, in gallery order, each knowing its section.
    for (const auto layout : {OrdersGalleryLayout::list, OrdersGalleryLayout::grid}) {
        const auto flat = OrdersScreen::galleryRows(sections, layout);
        EXPECT_EQ(kinds(flat), QList<Kind>(4, Kind::media));
        EXPECT_EQ(flat[3].media->url, QStringLiteral("/commandes/A/IMG_0130.MOV"));
        EXPECT_EQ(flat[3].section, 0);
    }
    const auto nothing = OrdersScreen::galleryRows({sections[1]}, OrdersGalleryLayout::grid);
    ASSERT_EQ(nothing.size(), 1);
    EXPECT_EQ(nothing[0].kind, Kind::empty);
    EXPECT_EQ(nothing[0].text, QStringLiteral("Aucune photo ni vidéo"));

    EXPECT_EQ(OrdersScreen::galleryLayoutKey(), QStringLiteral("ordersGalleryLayout"));
    for (const auto layout : {OrdersGalleryLayout::sections, OrdersGalleryLayout::list, OrdersGalleryLayout::grid})
        EXPECT_EQ(OrdersScreen::galleryLayout(OrdersScreen::rawValue(layout)), layout);
    EXPECT_EQ(OrdersScreen::rawValue(OrdersGalleryLayout::grid), QStringLiteral("grid"));
    EXPECT_EQ(OrdersScreen::galleryLayout(QStringLiteral("mosaic")), OrdersGalleryLayout::sections);
    EXPECT_EQ(OrdersScreen::galleryLayout(QString()), OrdersGalleryLayout::sections);
}

TEST(OrdersScreenTexts, DetailAndOrderListFollowTheStore)
{
    test::TempDataDir data;
    OrdersStore store;
    EXPECT_EQ(OrdersScreen::detail(store), OrdersScreen::Detail::noRoot);
    EXPECT_EQ(OrdersScreen::orderListEmptyText(store.rootName(), store.folders(), QString()),
              QStringLiteral("Choisissez d’abord le dossier d’où extraire les données."));

    const QString root = data.file(QStringLiteral("Salon 2025"));
    QDir().mkpath(root);
    store.storeRoot(root);
    EXPECT_EQ(OrdersScreen::orderListEmptyText(store.rootName(), store.folders(), QString()),
              QStringLiteral("Aucun dossier dans « Salon 2025 »."));
    EXPECT_EQ(OrdersScreen::detail(store), OrdersScreen::Detail::noOrderSelected);

    QDir().mkpath(root + QStringLiteral("/IMPRESSION A4"));
    QDir().mkpath(root + QStringLiteral("/Dupont/IMPRESSION A5"));
    store.reload();
    EXPECT_EQ(OrdersScreen::orderListEmptyText(store.rootName(), store.folders(), QStringLiteral("  impr \n")), std::nullopt);
    EXPECT_EQ(OrdersScreen::orderListEmptyText(store.rootName(), store.folders(), QStringLiteral(" Martin ")),
              QStringLiteral("Aucune commande ne correspond à « Martin »."));

    store.selectFolder(root + QStringLiteral("/IMPRESSION A4"));
    EXPECT_EQ(OrdersScreen::detail(store), OrdersScreen::Detail::noSections);
    store.selectFolder(root + QStringLiteral("/Dupont"));
    EXPECT_EQ(OrdersScreen::detail(store), OrdersScreen::Detail::gallery);
    store.selectFolder(std::nullopt);
    EXPECT_EQ(OrdersScreen::detail(store), OrdersScreen::Detail::noOrderSelected);
}

TEST(OrdersScreenActions, FileAndSectionActionsFollowTheirState)
{
    OrdersScreen::ActionContext context; // neutral retouch, no watermark, nothing plugged in
    const auto plain = OrdersScreen::mediaActions(photo("IMG_0001.JPG"), context);
    EXPECT_EQ(texts(plain), (QStringList{"Appliquer les réglages de retouche", "Ajouter le filigrane sélectionné",
                                         "Annuler les modifications", "Partager par QR code", "Ouvrir avec",
                                         "Choisir une application…"}));
    EXPECT_FALSE(find(plain, ActionKind::retouch)->enabled);
    EXPECT_EQ(find(plain, ActionKind::retouch)->help, QStringLiteral("Réglez d’abord la retouche dans le panneau de gauche"));
    EXPECT_FALSE(find(plain, ActionKind::undo)->enabled);

    context.retouchNeutral = false;
    context.canUndo = context.canCrop = context.canPrint = true;
    const auto plugged = OrdersScreen::mediaActions(photo("IMG_0001.JPG"), context);
    EXPECT_EQ(plugged.first().text, QStringLiteral("Recadrer"));
    EXPECT_TRUE(find(plugged, ActionKind::retouch)->enabled);
    EXPECT_TRUE(find(plugged, ActionKind::undo)->enabled);
    EXPECT_EQ(find(plugged, ActionKind::print)->text, QStringLiteral("Imprimer en pleine résolution"));
    // A video is neither cropped nor edited; it is printed, shared and opened like a photo.
    EXPECT_EQ(texts(OrdersScreen::mediaActions(video("IMG_0002.MOV"), context)),
              (QStringList{"Imprimer en pleine résolution", "Partager par QR code", "Ouvrir avec", "Choisir une application…"}));

    OrdersScreen::ActionContext section;
    auto actions = OrdersScreen::sectionActions(section);
    EXPECT_EQ(texts(actions), (QStringList{"Appliquer les réglages de retouche à toutes les photos de cette section",
                                           "Ajouter le filigrane sélectionné à toutes les photos de cette section"}));
    EXPECT_FALSE(actions[0].enabled);
    EXPECT_FALSE(actions[1].enabled);
    EXPECT_EQ(actions[1].help, QStringLiteral("Choisissez d’abord un fichier filigrane"));
    section.retouchNeutral = false;
    section.watermarkSelected = true;
    section.canPrint = true;
    actions = OrdersScreen::sectionActions(section);
    EXPECT_TRUE(actions[0].enabled && actions[1].enabled);
    EXPECT_EQ(actions[2].text, QStringLiteral("Imprimer toutes les photos de cette section en pleine résolution"));
    // While a batch runs, no other one can start.
    section.batchRunning = true;
    actions = OrdersScreen::sectionActions(section);
    EXPECT_FALSE(actions[0].enabled || actions[1].enabled);

    test::TempDataDir data;
    OrdersStore store;
    EXPECT_TRUE(OrdersScreen::actionContext(store).retouchNeutral);
    PhotoRetouchSettings settings;
    settings.gamma = 1.3;
    store.setRetouch(settings);
    EXPECT_FALSE(OrdersScreen::actionContext(store).retouchNeutral);
    EXPECT_FALSE(OrdersScreen::actionContext(store).watermarkSelected);
}

TEST(OrdersScreenOpening, RememberedApplicationsAndDoubleClick)
{
    test::TempDataDir data;
    OrdersStore store;
    const QString app = data.file(QStringLiteral("retouche.desktop"));
    EXPECT_TRUE(OrdersScreen::rememberOpenWith(store, app, {"/a/IMG.JPEG", "/a/img.jpg", "/a/clip.MOV", "/a/README"}));
    EXPECT_EQ(store.openWithApps(), (QMap<QString, QString>{{"jpg", app}, {"mov", app}}));
    EXPECT_FALSE(OrdersScreen::rememberOpenWith(store, app, {"/b/other.jpg"}));
    EXPECT_FALSE(OrdersScreen::rememberOpenWith(store, QString(), {"/b/other.png"}));
    // Kept in the orders file.
    OrdersStore again;
    EXPECT_EQ(again.openWithApps().value("jpg"), app);

    const QList<OrderMedia> selected{photo("IMG_0001.JPG"), photo("IMG_0003.JPG")};
    EXPECT_EQ(OrdersScreen::doubleClickTargets(selected, photo("IMG_0003.JPG")),
              (QStringList{"/commandes/A/IMG_0001.JPG", "/commandes/A/IMG_0003.JPG"}));
    EXPECT_EQ(OrdersScreen::doubleClickTargets(selected, photo("IMG_0002.JPG")), QStringList{"/commandes/A/IMG_0002.JPG"});
    EXPECT_EQ(OrdersScreen::doubleClickTargets({}, photo("IMG_0002.JPG")), QStringList{"/commandes/A/IMG_0002.JPG"});
}
