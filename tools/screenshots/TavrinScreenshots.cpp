// Renders the main states of the window, on the offscreen platform, to PNG files:
//   tavrin-screenshots OUTPUT_FOLDER
#include "app/MacRootView.h"
#include "app/SingleInstance.h"
#include "app/TavrinApp.h"
#include "base/AppSupport.h"
#include "base/TavrinJSON.h"
#include "base/UserDefaults.h"
#include "editing/PhotoComposer.h"
#include "editing/RetouchBridges.h"
#include "editing/views/PhotoCropEditorView.h"
#include "photofiles/MediaThumbnailer.h"
#include "orders/views/OrdersGallery.h"
#include "handover/views/HandOverDialog.h"
#include "orders/views/OrdersCropEditor.h"
#include "orders/views/OrdersView.h"
#include "organizer/PhotoOrganizer.h"
#include "printing/PrintInfoMemory.h"
#include "printing/PrinterMedia.h"
#include "printing/views/PrintPhotosMenu.h"
#include "printing/views/PrintSession.h"
#include "organizer/SpreadsheetWorkspaceModel.h"
#include "organizer/views/OrganizerDialogs.h"
#include "organizer/views/SpreadsheetWorkspaceView.h"
#include "reception/ReceptionController.h"
#include "sales/SalesBook.h"
#include "sales/views/SalesDialogs.h"
#include "ui/CapsuleButton.h"
#include "ui/Theme.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QEventLoop>
#include <QTimeZone>
#include <QTimer>

#include <QElapsedTimer>
#include <QProcess>

#include <vips/vips8>

#include <cstdio>
#include <functional>

using namespace tavrin;

namespace {

// A competition weekend as the photographer would have typed it.
void fillLibrary(LibraryStore& store)
{
    const DayRecord saturday = store.addDay(QStringLiteral("Samedi 14 juin"));
    const DayRecord sunday = store.addDay(QStringLiteral("Dimanche 15 juin"));
    store.addSpreadsheet(saturday.id, QStringLiteral("Épreuve 1 · 1,05 m"));
    store.addSpreadsheet(saturday.id, QStringLiteral("Épreuve 2 · 1,15 m"));
    store.addSpreadsheet(sunday.id, QStringLiteral("Grand Prix 1,35 m"));
    const SpreadsheetRecord sheet = store.addSpreadsheet(sunday.id, QStringLiteral("Épreuve 4 · 1,20 m"));
    const QList<std::pair<const char*, const char*>> rows{
        {"0012", "104"}, {"0027", "87"}, {"0041", "112"}, {"0058", "9"},  {"0066", "131"}, {"0079", "56"},
        {"0093", "148"}, {"0105", "23"}, {"0118", "77"},  {"0131", "140"}, {"0146", "12"},
    };
    for (const auto& [photo, assigned] : rows) {
        const QUuid rowID = store.snapshot().spreadsheet(sheet.id)->rows.last().id;
        store.updateRow(sheet.id, rowID, QString::fromLatin1(photo), QString::fromLatin1(assigned));
    }
    store.updateUIState(sunday.id, sheet.id);
}

// The spreadsheet of fillLibrary organised at the end of its class: the programme with its day
// and event, the card's photos and the clients' folder, a first run done for the first riders,
// a rider missing from the programme and a number typed twice.
void fillWorkspace(TavrinApp& app, const QString& folder)
{
    LibraryStore& library = app.libraryStore;
    WorkspaceStore& workspace = app.workspaceStore;
    fillLibrary(library);
    const QUuid sheet = *library.uiState().selectedSpreadsheetID;
    library.updateRow(sheet, library.snapshot().spreadsheet(sheet)->rows.last().id, QStringLiteral("0158"), QStringLiteral("87"));
    ProgrammeEvent event{QStringLiteral("Dimanche|Épreuve 4 · 1,20 m"), QStringLiteral("Épreuve 4 · 1,20 m"), {}};
    const QList<std::tuple<const char*, const char*, const char*>> riders{
        {"104", "DUPONT", "Jean"},   {"87", "MARTIN", "Léa"},     {"112", "DE LA TOUR", "Marie"}, {"9", "LEROY", "Élodie"},
        {"131", "BERNARD", "Luc"},   {"56", "MOREAU", "Chloé"},   {"148", "FONTAINE", "Léa"},     {"23", "GIRAUD", "Hugo"},
        {"77", "ROUSSEL", "Camille"}, {"140", "VAN DER BERG", "Anna"}};
    for (const auto& [number, last, first] : riders)
        event.people.push_back(ImportedPerson{QString::fromLatin1(number), QString::fromUtf8(first), QString::fromUtf8(last), 1});
    workspace.adoptProgramme(ProgrammeDocument{QStringLiteral("CSI Lamotte — programme.xlsx"), {{QStringLiteral("Dimanche"), {event}}}});
    workspace.selectDay(QStringLiteral("Dimanche"), sheet);
    workspace.selectEvent(event.id, sheet);
    const QString card = folder + QStringLiteral("/Carte SD"), clients = folder + QStringLiteral("/Clients");
    QDir().mkpath(card);
    for (int n = 10; n <= 170; ++n) QFile(card + QStringLiteral("/DSC_%1.JPG").arg(n, 4, 10, QLatin1Char('0'))).open(QIODevice::WriteOnly);
    workspace.storeFolder(card, WorkspaceStore::FolderKind::source, sheet);
    workspace.storeFolder(clients, WorkspaceStore::FolderKind::destination, sheet);
    const QList<PhotoGroup> done = PhotoOrganizer::plan(*library.snapshot().spreadsheet(sheet), event.people, card).first(4);
    workspace.rememberTransfers(done, sheet);
    workspace.recordOrganizer(PhotoOrganizer::execute(done, clients), sheet, QStringLiteral("Épreuve 4 · 1,20 m"));
}

// A show-jumping photo as libvips draws it: sky, arena sand, a coloured fence and a rider's
// shape, varied by `n` so that every cell of the gallery looks different.
void makeArenaPhoto(const QString& path, int n)
{
    using vips::VImage;
    const int width = 900, height = 600;
    const double hue = (n * 37) % 100 / 100.0;
    VImage xy = VImage::xyz(width, height);
    VImage x = xy[0] / double(width), y = xy[1] / double(height);
    VImage r = (y < 0.55).ifthenelse(150 + 70 * y + 20 * hue, 190 - 40 * y + 15 * x);
    VImage g = (y < 0.55).ifthenelse(190 + 40 * y - 30 * hue, 160 - 40 * y);
    VImage b = (y < 0.55).ifthenelse(235 - 20 * y, 120 - 30 * y);
    VImage image = r.bandjoin(g).bandjoin(b).cast(VIPS_FORMAT_UCHAR);
    const std::vector<double> pole{255.0 * (0.5 + 0.5 * hue), 60.0 + 120 * (1 - hue), 40.0 + 150 * hue};
    const int fence = 250 + (n * 53) % 350;
    for (int bar = 0; bar < 3; ++bar)
        image.draw_rect(bar % 2 ? std::vector<double>{245, 245, 245} : pole, fence - 120, 300 + bar * 28, 240, 10,
                        VImage::option()->set("fill", true));
    image.draw_rect({90, 70, 60}, fence - 130, 250, 12, 140, VImage::option()->set("fill", true));
    image.draw_rect({90, 70, 60}, fence + 118, 250, 12, 140, VImage::option()->set("fill", true));
    // The horse and rider over the fence.
    const int jump = fence - 40 + (n % 3) * 30, top = 170 - (n % 4) * 12;
    image.draw_circle({70 + 10.0 * (n % 5), 45, 30}, jump, top + 60, 60, VImage::option()->set("fill", true));
    image.draw_rect({70 + 10.0 * (n % 5), 45, 30}, jump + 40, top + 10, 50, 28, VImage::option()->set("fill", true));
    image.draw_circle({30, 30, 60}, jump - 5, top, 16, VImage::option()->set("fill", true));
    image.jpegsave(QFile::encodeName(path).constData(), VImage::option()->set("Q", 88)->set("strip", true));
}

// Three orders of a show's stand; the first one open with its two types, a jump in the
// numbers, two files already handed over and a watermark chosen.
void fillOrders(TavrinApp& app, const QString& folder)
{
    RetouchBridges::ensureVips();
    UserDefaults::standard().setString(QStringLiteral("macWorkspaceSection"), QStringLiteral("commandes"));
    const QString root = folder + QStringLiteral("/Commandes CSI Lamotte");
    const QString order = root + QStringLiteral("/0142 DUPONT Jean");
    QDir().mkpath(order + QStringLiteral("/IMPRESSION A5"));
    QDir().mkpath(order + QStringLiteral("/FICHIERS"));
    QDir().mkpath(root + QStringLiteral("/0143 MARTIN Léa"));
    QDir().mkpath(root + QStringLiteral("/0150 LEROY Élodie"));
    int n = 0;
    for (const char* name : {"DSC_0412.JPG", "DSC_0413.JPG", "DSC_0415.JPG", "DSC_0431.JPG", "DSC_0432.JPG"})
        makeArenaPhoto(order + QStringLiteral("/IMPRESSION A5/") + QLatin1String(name), n++);
    for (const char* name : {"DSC_0412.JPG", "DSC_0413.JPG", "DSC_0414.JPG", "DSC_0415.JPG", "DSC_0416.JPG", "DSC_0417.JPG"})
        makeArenaPhoto(order + QStringLiteral("/FICHIERS/") + QLatin1String(name), n++);
    const QString logo = folder + QStringLiteral("/Filigrane CSI.png");
    vips::VImage::black(240, 120, vips::VImage::option()->set("bands", 4))
        .new_from_image({20, 60, 140, 230})
        .cast(VIPS_FORMAT_UCHAR)
        .pngsave(QFile::encodeName(logo).constData());
    // A white watermark too, as most are: its thumbnail stands on a checkerboard.
    const QString white = folder + QStringLiteral("/Filigrane blanc.png");
    const vips::VImage wx = vips::VImage::xyz(240, 120)[0];
    const vips::VImage ink = (wx > 30) & (wx < 210);
    (vips::VImage::black(240, 120) + 255)
        .bandjoin(vips::VImage::black(240, 120) + 255)
        .bandjoin(vips::VImage::black(240, 120) + 255)
        .bandjoin(ink.ifthenelse(230, 0))
        .cast(VIPS_FORMAT_UCHAR)
        .copy(vips::VImage::option()->set("interpretation", VIPS_INTERPRETATION_sRGB))
        .pngsave(QFile::encodeName(white).constData());
    OrdersStore& store = app.ordersStore;
    store.storeRoot(root);
    store.selectFolder(order);
    store.addWatermark(white);
    store.addWatermark(logo);
    store.markDelivered({order + QStringLiteral("/FICHIERS/DSC_0412.JPG"), order + QStringLiteral("/FICHIERS/DSC_0413.JPG")});
}

// A day at the stand with prices: four orders from the showcase, two paid, the first one open.
void fillStand(TavrinApp& app, const QString& folder)
{
    RetouchBridges::ensureVips();
    UserDefaults::standard().setString(QStringLiteral("macWorkspaceSection"), QStringLiteral("commandes"));
    const QString root = folder + QStringLiteral("/Commandes CSI Lamotte");
    const QStringList names{QStringLiteral("DUPONT Jean 2025-06-15 14h05"), QStringLiteral("MARTIN Léa 2025-06-15 14h32"),
                            QStringLiteral("LEROY Élodie 2025-06-15 15h10"), QStringLiteral("BERTIN Camille 2025-06-15 16h02")};
    const QList<QList<int>> counts{{2, 6}, {1, 0}, {0, 3}, {3, 1}};
    int n = 0;
    for (int i = 0; i < names.size(); ++i) {
        const QString order = root + u'/' + names[i];
        for (int k = 0; k < counts[i][0]; ++k) {
            QDir().mkpath(order + QStringLiteral("/IMPRESSION A5"));
            makeArenaPhoto(order + QStringLiteral("/IMPRESSION A5/DSC_%1.JPG").arg(412 + n, 4, 10, QLatin1Char('0')), n);
            ++n;
        }
        for (int k = 0; k < counts[i][1]; ++k) {
            QDir().mkpath(order + QStringLiteral("/FICHIERS"));
            makeArenaPhoto(order + QStringLiteral("/FICHIERS/DSC_%1.JPG").arg(412 + n, 4, 10, QLatin1Char('0')), n);
            ++n;
        }
    }
    OrdersStore& store = app.ordersStore;
    store.storeRoot(root);
    store.selectFolder(root + u'/' + names[0]);
    SalesBook book(store);
    PriceList prices;
    prices.setPrice(QStringLiteral("IMPRESSION A5"), 1500);
    prices.setPrice(QStringLiteral("IMPRESSION A4"), 2500);
    prices.setPrice(QStringLiteral("FICHIERS"), 1000);
    prices.addPack(QStringLiteral("FICHIERS"), {5, 3500});
    prices.addPack(QStringLiteral("FICHIERS"), {0, 6000});
    book.setPrices(prices);
    book.setStand({QStringLiteral("Photos Martin"), QStringLiteral("12 rue des Écuries\n41600 Lamotte-Beuvron")});
    const QDateTime at(QDate(2025, 6, 15), QTime(14, 20), QTimeZone("Europe/Paris"));
    for (int i : {0, 2}) {
        const QString order = root + u'/' + names[i];
        book.setPayment(order, Payment{i == 0 ? PaymentMeans::card : PaymentMeans::cash, at, book.bill(order).total});
    }
}

void settle(int milliseconds);

// « Caisse du jour » of that day.
bool renderTakings(const QString& path)
{
    QTemporaryDir data;
    AppSupport::setDataDirectoryOverride(data.path());
    UserDefaults::resetStandard();
    SingleInstance instance(data.path());
    TavrinApp app(instance);
    fillStand(app, data.path());
    app.ordersStore.reload();
    SalesBook book(app.ordersStore);
    TakingsDialog dialog(book);
    dialog.setDay(QDate(2025, 6, 15));
    dialog.resize(640, 420);
    dialog.show();
    settle(200);
    const bool saved = dialog.grab().save(path);
    dialog.close();
    UserDefaults::resetStandard();
    return saved;
}

// Waits until the orders gallery shows every thumbnail it asked for.
void waitForOrders(MacRootView& window)
{
    auto* orders = window.findChild<OrdersView*>();
    if (!orders || !orders->isBuilt()) return;
    QElapsedTimer clock;
    clock.start();
    QEventLoop loop;
    while (clock.elapsed() < 20000) {
        orders->gallery()->viewport()->repaint();
        QTimer::singleShot(50, &loop, &QEventLoop::quit);
        loop.exec();
        if (orders->galleryModel()->pendingThumbnails() == 0) break;
    }
}

// Selects two photos as the photographer would, to show the selection's actions.
void selectTwo(MacRootView& window, const QString&)
{
    auto* orders = window.findChild<OrdersView*>();
    if (!orders || !orders->isBuilt()) return;
    const QList<OrderMedia> files = OrdersScreen::allFiles(orders->store().sections());
    if (files.size() < 5) return;
    orders->clickMedia(files[2], Qt::NoModifier);
    orders->clickMedia(files[4], Qt::ControlModifier);
}

void settle(int milliseconds)
{
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

// The next run after fillWorkspace, with a file standing where BERNARD LUC’s folder goes: the run
// does not start and says why.
void runIntoBlockedFolder(MacRootView& window, const QString& folder)
{
    QFile(folder + QStringLiteral("/Clients/BERNARD LUC")).open(QIODevice::WriteOnly);
    OrganizerDialogs::hooks().openFolder = [](const QString&) {};
    auto* workspace = window.findChild<SpreadsheetWorkspaceView*>();
    if (!workspace) return;
    workspace->runButton()->click();
    for (int i = 0; i < 50 && workspace->model()->isRunning(); ++i) settle(20);
    settle(100);
}

// « Suivre l’arrivée des photos » switched on, caught before the card's photos have settled: the
// toggle reads « Arrêter le suivi » and the line beside it counts nothing yet.
void startFollowing(MacRootView& window, const QString&)
{
    if (auto* workspace = window.findChild<SpreadsheetWorkspaceView*>()) workspace->followButton()->click();
}

// The reception running: two cameras have sent photos (one frame never came), the backup disk
// is not plugged in, and the class being shot is the spreadsheet shown.
void receiveFromCameras(MacRootView& window, const QString& folder)
{
    // The panel shows its folders: a fixed place rather than the random temporary one, so the
    // picture is the same bytes on every run.
    static const QString shown = QDir::temp().filePath(QStringLiteral("tavrin-captures"));
    QDir(shown).removeRecursively();
    ReceptionController& reception = *window.reception();
    reception.setRootFolder(shown + QStringLiteral("/Réception"));
    reception.setBackupFolder(shown + QStringLiteral("/Disque de sauvegarde"));
    window.currentClassButton()->click();
    reception.start();
    if (!reception.isRunning()) return;
    const QString camera = folder + QStringLiteral("/appareil");
    QDir().mkpath(camera);
    QStringList first, second;
    for (int n : {410, 411, 414}) first.append(camera + QStringLiteral("/DSC_%1.JPG").arg(n, 4, 10, QLatin1Char('0')));
    for (int n : {7, 8}) second.append(camera + QStringLiteral("/IMG_%1.JPG").arg(n, 4, 10, QLatin1Char('0')));
    for (const QString& path : first + second) makeArenaPhoto(path, int(path.size()));
    const QString upload = QStringLiteral(
        "import ftplib, sys\n"
        "f = ftplib.FTP(source_address=(sys.argv[1], 0))\n"
        "f.connect('127.0.0.1', int(sys.argv[2]))\n"
        "f.login(sys.argv[3], sys.argv[4])\n"
        "for p in sys.argv[5:]:\n"
        "    f.storbinary('STOR ' + p.rsplit('/', 1)[1], open(p, 'rb'))\n");
    const auto send = [&](const QString& from, const QStringList& files) {
        QProcess python;
        python.start(QStringLiteral("/usr/bin/python3"),
                     QStringList{QStringLiteral("-c"), upload, from, QString::number(reception.ftpSettings().port), reception.ftpSettings().login,
                                 reception.ftpSettings().password} + files);
        QElapsedTimer clock;
        clock.start();
        while (python.state() != QProcess::NotRunning && clock.elapsed() < 20000) settle(50);
    };
    send(QStringLiteral("127.0.0.1"), first);
    send(QStringLiteral("127.0.0.2"), second);
    QElapsedTimer clock;
    clock.start();
    while (reception.session()->receivedCount() < 5 && clock.elapsed() < 20000) settle(50);
    window.showReception(true);
}

// The crop editor opened beside the gallery on the second print, framed in A5 and turned a little.
void cropBesideGallery(MacRootView& window, const QString&)
{
    auto* orders = window.findChild<OrdersView*>();
    auto* editor = orders ? orders->findChild<OrdersCropEditor*>() : nullptr;
    if (!editor) return;
    const QList<OrderMedia> files = OrdersScreen::allFiles(orders->store().sections());
    if (files.size() < 8) return;
    orders->clickMedia(files[7], Qt::NoModifier);
    editor->openCrop(files[7].url);
    CropEditorModel& model = editor->model();
    const auto idle = [&model] {
        for (int i = 0; i < 400 && (model.isLoading() || model.jobsInFlight() > 0 || model.hasPendingPersist()); ++i) settle(25);
    };
    idle();
    model.beginGesture(CropHandle::ofEdge(CropEdge::bottomRight), QSizeF(0, 0));
    model.applyGesture(QPointF(-90, -90), 1);
    model.finishGesture();
    model.beginGesture(CropHandle::rotate(), QSizeF(200, 0));
    model.applyGesture(QPointF(0, 7), 1);
    model.finishGesture();
    idle();
    settle(100);
}

bool render(const QString& path, const std::function<void(TavrinApp&, const QString&)>& prepare, QSize size = {1180, 760},
            const std::function<void(MacRootView&, const QString&)>& shown = {})
{
    TavrinJSON::setSteppingClock(QDateTime(QDate(2025, 6, 15), QTime(16, 42), QTimeZone("Europe/Paris")));
    QTemporaryDir data;
    AppSupport::setDataDirectoryOverride(data.path());
    UserDefaults::resetStandard();
    SingleInstance instance(data.path());
    TavrinApp app(instance);
    prepare(app, data.path());
    MacRootView window(app);
    window.resize(size);
    window.show();
    settle(100);
    if (shown) shown(window, data.path());
    waitForOrders(window);
    const bool saved = window.grab().save(path);
    window.close();
    UserDefaults::resetStandard();
    return saved;
}

// "Partager par QR code" for three photos, on a fixed address, port and token so that the code
// is the same picture on every run.
bool renderHandOver(const QString& path)
{
    QTemporaryDir folder;
    QStringList photos;
    for (int n : {42, 43, 47}) {
        const QString photo = folder.filePath(QStringLiteral("DSC_%1.JPG").arg(n, 4, 10, QLatin1Char('0')));
        makeArenaPhoto(photo, n);
        photos.push_back(photo);
    }
    HandOverService::Options options;
    options.address = QHostAddress::LocalHost;
    options.port = 47913;
    options.token = "5F3A9C21D07B4E68A1C2F09B3D5E7A14";
    HandOverDialog dialog(photos, [](const QStringList&) {}, nullptr, options);
    dialog.show();
    settle(300);
    const bool saved = dialog.grab().save(path);
    dialog.close();
    return saved;
}

// The print menu with the stand's dye-sub printer chosen: its own sizes as its driver describes
// them (a DNP-like 15 × 20 roll), and what it said was left after the last job.
bool renderStandPrintMenu(const QString& path)
{
    QTemporaryDir folder;
    UserDefaults::resetStandard();
    const QString order = folder.filePath(QStringLiteral("BERTIN Camille 2025-06-15 16h42/IMPRESSION 10x15"));
    QDir().mkpath(order);
    QStringList photos;
    for (int n : {42, 43}) {
        photos << order + QStringLiteral("/DSC_%1.JPG").arg(n, 4, 10, QLatin1Char('0'));
        makeArenaPhoto(photos.last(), n);
    }
    const auto size = [](const char* name, const char* label, double w, double h, QRectF printable, int prints) {
        return PrinterMedia{name, QString::fromUtf8(label), {w, h}, printable, false, prints};
    };
    PrinterMedias::preset(QStringLiteral("DS620"),
                          {{size("w288h432", "4x6", 297.6, 460.8, {9.12, 0, 279.36, 460.8}, 1),
                            size("w360h504", "5x7", 460.8, 513.12, {9.12, 0, 442.56, 513.12}, 1),
                            size("w432h576", "6x8", 460.8, 584.64, {9.12, 0, 442.56, 584.64}, 1),
                            size("w288h432-div2", "2x6*2", 297.6, 460.8, {9.12, 0, 279.36, 460.8}, 2),
                            size("w360h504-div2", "3.5x5*2", 460.8, 522.24, {9.12, 0, 442.56, 522.24}, 2),
                            size("w432h576-div2", "4x6*2", 460.8, 599.52, {9.12, 0, 442.56, 599.52}, 2)},
                           {"StpNoCutWaste", "False"}});
    PrintInfoMemory::restoreSharedIfNeeded();
    PrintInfoMemory::shared().printerName = QStringLiteral("DS620");
    PrintSession::noteSupplies(QStringLiteral("DS620"), QStringLiteral("Ruban : 340 tirages restants"));
    PrintPhotosMenu menu(photos, QStringLiteral("Imprimer"));
    menu.popup(QPoint(0, 0));
    settle(300);
    const bool saved = menu.grab().save(path);
    menu.close();
    UserDefaults::resetStandard();
    return saved;
}

// A jump as libvips draws it: a sky fading to the horizon, the arena's sand, a red and white
// pole on two wings, and a watermark band with a darker strip.
void makeCropPhotos(const QString& photo, const QString& watermark)
{
    using vips::VImage;
    PhotoComposer::ensureVips();
    const int w = 1800, h = 1200;
    const VImage xy = VImage::xyz(w, h);
    const VImage x = xy[0], y = xy[1];
    const VImage t = y / double(h);
    const VImage ground = y > h * 0.62;
    const VImage sky = (t * 90 + 120).bandjoin(t * 70 + 165).bandjoin(VImage::black(w, h) + 235);
    const VImage sand = (VImage::black(w, h) + 196 - t * 40).bandjoin(VImage::black(w, h) + 160 - t * 40)
                            .bandjoin(VImage::black(w, h) + 112 - t * 30);
    VImage picture = ground.ifthenelse(sand, sky);
    const VImage pole = (y > h * 0.50) & (y < h * 0.53) & (x > w * 0.22) & (x < w * 0.78);
    const VImage stripe = ((x / 90).cast(VIPS_FORMAT_INT) % 2) == 0;
    picture = pole.ifthenelse(stripe.ifthenelse(std::vector<double>{205, 32, 38}, std::vector<double>{245, 245, 245}),
                              picture);
    const VImage wings = (y > h * 0.36) & (y < h * 0.66) &
                         (((x > w * 0.18) & (x < w * 0.22)) | ((x > w * 0.78) & (x < w * 0.82)));
    picture = wings.ifthenelse(std::vector<double>{40, 92, 160}, picture);
    picture.cast(VIPS_FORMAT_UCHAR)
        .copy(VImage::option()->set("interpretation", VIPS_INTERPRETATION_sRGB))
        .write_to_file(photo.toUtf8().constData(), VImage::option()->set("Q", 92));

    const int mw = 1000, mh = 130;
    const VImage my = VImage::xyz(mw, mh)[1];
    const VImage band = VImage::black(mw, mh) + 255;
    const VImage alpha = (my > mh * 0.55).ifthenelse(170, 95);
    band.bandjoin(band).bandjoin(band).bandjoin(alpha)
        .cast(VIPS_FORMAT_UCHAR)
        .copy(VImage::option()->set("interpretation", VIPS_INTERPRETATION_sRGB))
        .write_to_file(watermark.toUtf8().constData());
}

// The crop editor alone on a photo framed in A4, turned a little, with its watermark; with
// `beyond`, framed whole and turned further, so that the frame's corners leave the photo.
bool renderCropEditor(const QString& path, bool beyond = false)
{
    QTemporaryDir folder;
    AppSupport::setDataDirectoryOverride(folder.path());
    UserDefaults::resetStandard();
    Theme::apply(AppearancePreference::light);
    const QString photo = folder.filePath(QStringLiteral("DSC_0158.jpg"));
    const QString watermark = folder.filePath(QStringLiteral("filigrane.png"));
    makeCropPhotos(photo, watermark);

    PhotoCropEditorView view;
    view.resize(560, 900);
    view.show();
    CropEditorModel& model = view.model();
    const auto settle = [&model] {
        QEventLoop loop;
        for (int i = 0; i < 400 && (model.isLoading() || model.jobsInFlight() > 0 || model.hasPendingPersist()); ++i) {
            QTimer::singleShot(25, &loop, &QEventLoop::quit);
            loop.exec();
        }
    };
    view.open(photo, watermark);
    settle();
    if (model.preview().isNull()) return false;
    model.setFormat(PrintFormat::a4);
    if (!beyond) {
        model.beginGesture(CropHandle::ofEdge(CropEdge::bottomRight), QSizeF(0, 0));
        model.applyGesture(QPointF(-150, -150), 1);
        model.finishGesture();
    }
    model.beginGesture(CropHandle::rotate(), QSizeF(200, 0));
    model.applyGesture(QPointF(0, beyond ? 24 : 10), 1);
    model.finishGesture();
    model.setIncludeWatermark(true);
    PhotoRetouchSettings preset;
    preset.contrast = 12;
    preset.vibrance = 18;
    view.setPreset(preset);
    settle();
    QEventLoop paint;
    QTimer::singleShot(100, &paint, &QEventLoop::quit);
    paint.exec();
    const bool saved = view.grab().save(path);
    view.onClose = nullptr;
    view.close();
    UserDefaults::resetStandard();
    return saved;
}

} // namespace

int main(int argc, char** argv)
{
    // An offscreen screen larger than every picture and windows without a frame: each state is
    // drawn at its own size, as a window manager would leave it.
    QTemporaryDir screenConfig;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") || qgetenv("QT_QPA_PLATFORM") == "offscreen") {
        QFile config(screenConfig.filePath(QStringLiteral("screen.json")));
        if (config.open(QIODevice::WriteOnly))
            config.write(R"({"windowFrameMargins": false, "screens": [{"name": "large", "x": 0, "y": 0, "width": 1920,
                            "height": 1080, "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})");
        qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + QFile::encodeName(config.fileName()));
    }
    // The pictures are committed: regenerating them must give the same bytes on any machine, so
    // dates come from a stepping clock in a fixed time zone, and the sync status never depends on
    // whether this machine runs a DNS-SD daemon (no system bus: « Wi‑Fi local indisponible »).
    qputenv("TZ", "Europe/Paris");
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/tavrin-screenshots");
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    QApplication application(argc, argv);
    // The thumbnails are made afresh, never read from or left in the user's thumbnail folders.
    MediaThumbnailer::shared().setSharedCacheEnabled(false);
    if (argc < 2) {
        std::fprintf(stderr, "Utilisation : tavrin-screenshots DOSSIER\n");
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    QDir().mkpath(out.path());
    const QSize large(1440, 860);
    const QSize laptop(1280, 720);
    using Shown = std::function<void(MacRootView&, const QString&)>;
    const QList<std::tuple<QString, std::function<void(TavrinApp&, const QString&)>, QSize, Shown>> states{
        {QStringLiteral("tableur-empty.png"), [](TavrinApp&, const QString&) {}, {1180, 760}, {}},
        {QStringLiteral("tableur-filled.png"), [](TavrinApp& app, const QString&) { fillLibrary(app.libraryStore); }, {1180, 760}, {}},
        {QStringLiteral("tableur-dark.png"),
         [](TavrinApp& app, const QString&) {
             fillLibrary(app.libraryStore);
             app.libraryStore.setAppearance(AppearancePreference::dark);
         },
         {1180, 760}, {}},
        {QStringLiteral("tableur-workspace.png"), fillWorkspace, large, {}},
        {QStringLiteral("tableur-workspace-dark.png"),
         [](TavrinApp& app, const QString& folder) {
             fillWorkspace(app, folder);
             app.libraryStore.setAppearance(AppearancePreference::dark);
         },
         large, {}},
        {QStringLiteral("paniers.png"),
         [](TavrinApp& app, const QString& folder) {
             UserDefaults::standard().setString(QStringLiteral("macWorkspaceSection"), QStringLiteral("paniers"));
             RiderFoldersStore& store = app.riderFoldersStore;
             store.adoptProgramme(ProgrammeDocument{
                 QStringLiteral("CSI Lamotte — programme.xlsx"),
                 {{QStringLiteral("Samedi"),
                   {{QStringLiteral("Samedi|GP"), QStringLiteral("Grand Prix"),
                     {ImportedPerson{QStringLiteral("101"), QStringLiteral("Jean"), QStringLiteral("DUPONT"), 1},
                      ImportedPerson{QStringLiteral("102"), QStringLiteral("Marie Anne"), QStringLiteral("DE LA TOUR"), 2},
                      ImportedPerson{QStringLiteral("103"), QStringLiteral("Jean-Pierre"), QStringLiteral("MARTIN"), 3},
                      ImportedPerson{QStringLiteral("104"), QStringLiteral("Élodie"), QStringLiteral("LEROY"), 4},
                      ImportedPerson{QStringLiteral("230"), QStringLiteral("Anna"), QStringLiteral("VAN DER BERG"), 5}}}}}}});
             QDir().mkpath(folder + QStringLiteral("/Paniers/Dupont Jean"));
             store.storeDestination(folder + QStringLiteral("/Paniers"));
         },
         {1180, 760}, {}},
        {QStringLiteral("commandes.png"), fillOrders, large, selectTwo},
        {QStringLiteral("commandes-dark.png"),
         [](TavrinApp& app, const QString& folder) {
             fillOrders(app, folder);
             app.libraryStore.setAppearance(AppearancePreference::dark);
         },
         large, selectTwo},
        {QStringLiteral("commandes-recadrage.png"), fillOrders, large, cropBesideGallery},
        {QStringLiteral("erreur-copie.png"), fillWorkspace, large, runIntoBlockedFolder},
        {QStringLiteral("tableur-suivi.png"), fillWorkspace, large, startFollowing},
        // A 1280 × 720 laptop: the smallest screen the window is made for.
        {QStringLiteral("portable-tableur.png"), fillWorkspace, laptop, {}},
        {QStringLiteral("portable-commandes-recadrage.png"), fillOrders, laptop, cropBesideGallery},
        {QStringLiteral("commandes-paiement.png"), fillStand, laptop, {}},
        {QStringLiteral("reception.png"),
         [](TavrinApp& app, const QString& folder) {
             fillWorkspace(app, folder);
             UserDefaults::standard().setString(QStringLiteral("reception.ftpPort"), QStringLiteral("2121"));
             // The same picture on every run: the password is otherwise drawn at random.
             UserDefaults::standard().setString(QStringLiteral("reception.ftpPassword"), QStringLiteral("4827"));
         },
         laptop, receiveFromCameras},
    };
    int failures = 0;
    const auto check = [&failures](bool saved, const QString& file) {
        if (saved) return;
        std::fprintf(stderr, "Impossible d’écrire %s\n", qPrintable(file));
        ++failures;
    };
    // Names after the folder render only those pictures.
    QStringList only;
    for (int i = 2; i < argc; ++i) only << QString::fromLocal8Bit(argv[i]);
    const auto wanted = [&only](const QString& name) { return only.isEmpty() || only.contains(name); };
    for (const auto& [name, prepare, size, shown] : states)
        if (wanted(name)) check(render(out.filePath(name), prepare, size, shown), out.filePath(name));
    const QString handOver = out.filePath(QStringLiteral("partage-qr.png"));
    if (wanted(QStringLiteral("partage-qr.png"))) check(renderHandOver(handOver), handOver);
    const QString crop = out.filePath(QStringLiteral("recadrage.png"));
    if (wanted(QStringLiteral("recadrage.png"))) check(renderCropEditor(crop), crop);
    const QString beyond = out.filePath(QStringLiteral("recadrage-hors-photo.png"));
    if (wanted(QStringLiteral("recadrage-hors-photo.png"))) check(renderCropEditor(beyond, true), beyond);
    const QString takings = out.filePath(QStringLiteral("caisse-du-jour.png"));
    if (wanted(QStringLiteral("caisse-du-jour.png"))) check(renderTakings(takings), takings);
    const QString stand = out.filePath(QStringLiteral("imprimer-au-stand.png"));
    if (wanted(QStringLiteral("imprimer-au-stand.png"))) check(renderStandPrintMenu(stand), stand);
    return failures == 0 ? 0 : 1;
}
