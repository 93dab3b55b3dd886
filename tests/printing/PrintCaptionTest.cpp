#include "TestSupport.h"

#include "printing/PrintCaption.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

using namespace tavrin;

namespace {

// The middle third of a rectangle, both ways.
QRectF centreThird(const QRectF& r) { return {r.x() + r.width() / 3, r.y() + r.height() / 3, r.width() / 3, r.height() / 3}; }

} // namespace

TEST(PrintCaption, GoesInTheWhiteBesideThePhotoOrOnItsEdgeNeverOnItsCentreThird)
{
    const CaptionStyle none;
    const CaptionStyle under{true, CaptionPosition::under, 10};
    const CaptionStyle over{true, CaptionPosition::over, 10};
    // A 3:2 photo on an A5 sheet: white above and below, the photo keeps its place.
    const QRectF a5(0, 0, 420, 595);
    const QRectF alone = PrintCaption::place({1500, 1000}, a5, none).photo;
    EXPECT_TRUE(PrintCaption::place({1500, 1000}, a5, none).band.isEmpty());
    for (const CaptionStyle& style : {under, over}) {
        const PrintCaption::Placement p = PrintCaption::place({1500, 1000}, a5, style);
        EXPECT_EQ(p.photo, alone);
        EXPECT_FALSE(p.onPhoto);
        EXPECT_FALSE(p.band.intersects(p.photo));
        EXPECT_TRUE(a5.contains(p.band));
        EXPECT_DOUBLE_EQ(p.band.height(), 15);
        EXPECT_DOUBLE_EQ(style.position == CaptionPosition::under ? p.band.top() : p.band.bottom(),
                         style.position == CaptionPosition::under ? p.photo.bottom() : p.photo.top());
    }
    // Borderless 10 × 15 of a 3:2 photo: no white, the caption lies on the photo's edge.
    const QRectF borderless(0, 0, 432, 288);
    for (const CaptionStyle& style : {under, over}) {
        const PrintCaption::Placement p = PrintCaption::place({3000, 2000}, borderless, style);
        EXPECT_TRUE(p.onPhoto);
        EXPECT_TRUE(p.photo.contains(p.band));
        EXPECT_FALSE(p.band.intersects(centreThird(p.photo)));
        EXPECT_DOUBLE_EQ(style.position == CaptionPosition::under ? p.band.bottom() : p.band.top(),
                         style.position == CaptionPosition::under ? p.photo.bottom() : p.photo.top());
    }
    // The largest text on a small print is made smaller rather than reach the centre third.
    const PrintCaption::Placement tiny = PrintCaption::place({300, 200}, QRectF(0, 0, 90, 60), {true, CaptionPosition::under, 24});
    EXPECT_LE(tiny.band.height(), tiny.photo.height() / 6 + 1e-9);
    EXPECT_LT(tiny.points, 24);
    EXPECT_FALSE(tiny.band.intersects(centreThird(tiny.photo)));
}

TEST(PrintCaption, NamesTheRiderHorseClassAndDayFromTheOrderAndTheClass)
{
    QTemporaryDir dir;
    const auto make = [](const QString& path) {
        QDir().mkpath(QFileInfo(path).path());
        test::writeFile(path, "jpeg");
    };
    // Two classes organised into their own folders; the rider rode both, this photo is the Grand Prix's.
    const QString grandPrix = dir.filePath("GP"), speed = dir.filePath("Vitesse");
    make(grandPrix + "/BERTIN CAMILLE/IMG_0042.jpg");
    make(speed + "/BERTIN CAMILLE/IMG_0007.jpg");
    make(grandPrix + "/MARTIN LEA/IMG_0050.jpg");
    PrintCaption::Sources sources;
    sources.classes.push_back({speed, "Vitesse 1,20 m", "Vendredi 11 décembre", {{"12", "Camille", "Bertin", 1, "Quaprice du Bois"}}});
    sources.classes.push_back({grandPrix, "Grand Prix 1,40 m", "Samedi 12 décembre",
                               {{"7", "Léa", "Martin", 1}, {"12", "Camille", "Bertin", 2, "Quaprice du Bois"}}});

    // The order's copy: its note names the rider's folder and number, a price may follow.
    const QString order = dir.filePath("Commandes/Camille 2026-12-12 10h02");
    make(order + "/IMPRESSION 10x15/IMG_0042.jpg");
    make(order + "/FICHIERS/IMG_0042.jpg");
    test::writeFile(order + "/commande.txt",
                    QString::fromUtf8("Nom : Camille\nTéléphone : \nDate : 12/12/2026 10:02:00\nPhotos :\n"
                                      "IMPRESSION 10x15 : IMG_0042.jpg — BERTIN CAMILLE (n° 12) — 15,00 €\n"
                                      "FICHIERS : IMG_0042.jpg — BERTIN CAMILLE (n° 12)\n")
                        .toUtf8());
    const QString expected = QString::fromUtf8("BERTIN Camille · Quaprice du Bois · Grand Prix 1,40 m · Samedi 12 décembre");
    EXPECT_EQ(PrintCaption::textFor(order + "/IMPRESSION 10x15/IMG_0042.jpg", sources), expected);
    EXPECT_EQ(PrintCaption::textFor(order + "/FICHIERS/IMG_0042.jpg", sources), expected);
    // Printed straight from the rider's folder.
    EXPECT_EQ(PrintCaption::textFor(grandPrix + "/BERTIN CAMILLE/IMG_0042.jpg", sources), expected);
    EXPECT_EQ(PrintCaption::textFor(speed + "/BERTIN CAMILLE/IMG_0007.jpg", sources),
              QString::fromUtf8("BERTIN Camille · Quaprice du Bois · Vitesse 1,20 m · Vendredi 11 décembre"));
    // No horse known, and a rider no class knows: what is known, no empty parts.
    EXPECT_EQ(PrintCaption::textFor(grandPrix + "/MARTIN LEA/IMG_0050.jpg", sources),
              QString::fromUtf8("MARTIN Léa · Grand Prix 1,40 m · Samedi 12 décembre"));
    make(dir.filePath("Ailleurs/DUPONT JEAN/IMG_0001.jpg"));
    EXPECT_EQ(PrintCaption::textFor(dir.filePath("Ailleurs/DUPONT JEAN/IMG_0001.jpg"), sources), "DUPONT JEAN");
}
