#include "SyncTestSupport.h"
#include "TestSupport.h"
#include "base/UserDefaults.h"
#include "sync/DevicePickerModel.h"
#include "sync/SyncService.h"
#include "sync/views/DeviceSyncPanel.h"
#include "sync/views/NearbyDevicePicker.h"
#include "sync/views/SyncBadge.h"

#include <QCheckBox>
#include <QLabel>
#include <QTest>

#include <gtest/gtest.h>

using namespace tavrin;
using namespace tavrin::test;

namespace {

struct Views {
    TempDataDir data;
    FakeDiscovery* discovery = nullptr;
    std::unique_ptr<SyncService> service;

    explicit Views(const QStringList& preferred)
    {
        UserDefaults::standard().setString(QStringLiteral("tavrin.peerName.mac.v3"), QStringLiteral("TAVRIN Mac 9Z9Z"));
        UserDefaults::standard().setStringList(QStringLiteral("tavrin.preferredPeerNames.mac.v2"), preferred);
        auto fake = std::make_unique<FakeDiscovery>();
        discovery = fake.get();
        service = std::make_unique<SyncService>(QStringLiteral("mac"), std::move(fake));
        service->start(false);
    }
};

// State text of each row of the panel, by friendly name.
QMap<QString, QString> rows(const QWidget& panel)
{
    QMap<QString, QString> out;
    for (QWidget* row : panel.findChildren<QWidget*>("deviceRow"))
        out.insert(row->findChild<QLabel*>("friendlyName")->text(), row->findChild<QLabel*>("deviceState")->text());
    return out;
}

QWidget* row(const QWidget& panel, const QString& name)
{
    for (QWidget* r : panel.findChildren<QWidget*>("deviceRow"))
        if (r->property("deviceName").toString() == name) return r;
    return nullptr;
}

} // namespace

TEST(NearbyDevicePicker, LabelAndSymbolFollowChosenAndNearbyDevices)
{
    {
        Views v({});
        NearbyDevicePicker picker(*v.service);
        EXPECT_EQ(picker.text(), "Choisir un appareil");
        EXPECT_EQ(DevicePickerModel::pickerSymbol(*v.service), "iphone");
        v.discovery->found({phoneAt("TAVRIN Android 1111", 1, "android"), phoneAt("TAVRIN iOS 2222", 2)});
        EXPECT_EQ(picker.text(), "2 appareils à proximité");
        EXPECT_EQ(DevicePickerModel::pickerSymbol(*v.service), "candybarphone") << "the first listed is an Android";
        EXPECT_EQ(picker.toolTip(), "Choisir un ou plusieurs appareils à synchroniser.");
    }
    {
        Views v({"TAVRIN iOS 2222 (2)"});
        NearbyDevicePicker picker(*v.service);
        EXPECT_EQ(picker.text(), "iPhone 2222 · hors de portée");
        v.discovery->found({phoneAt("TAVRIN iOS 2222", 2)});
        EXPECT_EQ(picker.text(), "iPhone 2222");
    }
    Views v({"TAVRIN iOS 2222", "TAVRIN Android 1111"});
    NearbyDevicePicker picker(*v.service);
    v.discovery->found({phoneAt("TAVRIN iOS 2222", 2)});
    EXPECT_EQ(picker.text(), "2 appareils · 1 en ligne");
    EXPECT_EQ(DevicePickerModel::pickerSymbol(*v.service), "antenna.radiowaves.left.and.right");

    EXPECT_FALSE(picker.showPanel());
    QTest::mouseClick(&picker, Qt::LeftButton);
    EXPECT_TRUE(picker.showPanel());
    EXPECT_EQ(rows(*picker.panel()).size(), 2);
    picker.setShowPanel(false);
    EXPECT_FALSE(picker.showPanel());
}

TEST(DeviceSyncPanel, RowsShowEachDeviceStateAndTheirControlsChooseOrForget)
{
    Views v({"TAVRIN iOS 2222", "TAVRIN Android 1111"});
    DeviceSyncPanel panel(*v.service);
    panel.show();
    v.discovery->found({phoneAt("TAVRIN iOS 2222", 2), phoneAt("TAVRIN iOS 3333", 3)});
    EXPECT_EQ(rows(panel), (QMap<QString, QString>{
                               {"Android 1111", "Hors de portée"}, {"iPhone 2222", "Lien en cours"}, {"iPhone 3333", "En ligne"}}));

    QCheckBox* choose = row(panel, "TAVRIN iOS 3333")->findChild<QCheckBox*>("Synchroniser");
    EXPECT_FALSE(choose->isChecked());
    EXPECT_EQ(choose->toolTip(), "Synchroniser cet appareil");
    choose->click();
    EXPECT_TRUE(v.service->isPreferred("TAVRIN iOS 3333"));
    EXPECT_EQ(rows(panel).value("iPhone 3333"), "Lien en cours");
    row(panel, "TAVRIN iOS 3333")->findChild<QCheckBox*>("Synchroniser")->click();
    EXPECT_FALSE(v.service->isPreferred("TAVRIN iOS 3333"));

    // Forgetting: a device away leaves the list; one still nearby comes back as merely online.
    const auto forget = [&](const QString& name) { QTest::mouseClick(row(panel, name)->findChild<QWidget*>("Supprimer"), Qt::LeftButton); };
    forget("TAVRIN Android 1111");
    EXPECT_FALSE(rows(panel).contains("Android 1111"));
    forget("TAVRIN iOS 2222");
    v.discovery->browseAgain();
    EXPECT_EQ(rows(panel), (QMap<QString, QString>{{"iPhone 2222", "En ligne"}, {"iPhone 3333", "En ligne"}}));
    EXPECT_TRUE(v.service->preferredPeerNames().isEmpty());

    v.discovery->found({});
    EXPECT_TRUE(rows(panel).isEmpty());
    const auto labels = panel.findChildren<QLabel*>();
    EXPECT_TRUE(std::any_of(labels.begin(), labels.end(), [](QLabel* l) { return !l->isHidden() && l->text() == "Aucun appareil détecté"; }));
}

TEST(SyncBadge, ShowsTheStatusAndRetriesOnClick)
{
    Views v({});
    SyncBadge badge;
    badge.follow(*v.service);
    EXPECT_EQ(badge.text(), "Recherche…");
    EXPECT_EQ(badge.toolTip(), "Cliquer pour relancer la synchro");

    int browses = v.discovery->browseStarts;
    QTest::mouseClick(&badge, Qt::LeftButton);
    EXPECT_EQ(v.discovery->browseStarts, browses + 1) << "a click restarts the sync";

    SyncBadge fixed;
    fixed.setStatus(SyncStatus::synced(QStringLiteral("TAVRIN iOS 1A2B")));
    EXPECT_EQ(fixed.text(), "Synchronisé · TAVRIN iOS 1A2B");
    fixed.setTitle(QStringLiteral("Synchronisé · iPhone 1A2B"));
    EXPECT_EQ(fixed.text(), "Synchronisé · iPhone 1A2B");
    EXPECT_EQ(fixed.toolTip(), "Synchronisé · iPhone 1A2B") << "while synced the help is the status";
}
