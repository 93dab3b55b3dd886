#include "app/TavrinApp.h"
#include "editing/PhotoEditMemory.h"
#include "editing/RetouchBridges.h"
#include "photofiles/MediaThumbnailer.h"
#include "printing/PhotoPrinter.h"
#include "printing/PrintCaption.h"

#include <QGuiApplication>
#include <QPointer>
#include <QTimer>

namespace tavrin {

TavrinApp::TavrinApp(SingleInstance& launches, QObject* parent) : QObject(parent), delegate(launches)
{
    connect(qGuiApp, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState state) {
        if (state == Qt::ApplicationActive) becameActive();
        else flush();
    });
    connect(qGuiApp, &QGuiApplication::aboutToQuit, this, &TavrinApp::flush);
    // Every edit that rewrites a photo's pixels drops its thumbnail, in memory and on disk.
    PhotoEditMemory::setThumbnailForgetter([](const QString& photo) { MediaThumbnailer::shared().remove(photo); });
    // tavrin-cli may write the same files while the window is open.
    libraryStore.followDiskChanges();
    workspaceStore.followDiskChanges();
    riderFoldersStore.followDiskChanges();
    ordersStore.followDiskChanges();
    // Printed photos show as delivered in the gallery.
    PhotoPrinter::setDeliveredMarker([store = QPointer<OrdersStore>(&ordersStore)](const QStringList& photos) {
        if (store) store->markDelivered(photos);
    });
    // Captions are read from the classes as the window knows them now.
    PrintCaption::setSourcesProvider([workspace = QPointer<WorkspaceStore>(&workspaceStore), library = QPointer<LibraryStore>(&libraryStore)] {
        return workspace && library ? PrintCaption::sourcesOf(*workspace, library->snapshot()) : PrintCaption::Sources{};
    });
}

void TavrinApp::windowFirstShown()
{
    TavrinMacAppDelegate::setOpenHandler([this](const QString& path) { libraryStore.importTavrinFile(path); });
    startSync(false);
    // The image libraries are not loaded at start-up; once the window has settled they load on a
    // worker, so that the first thumbnail or edit does not wait for them.
    QTimer::singleShot(1500, this, [this] {
        m_warmUp.run(QStringLiteral("image libraries"), [](const JobContext&) {
            try {
                RetouchBridges::ensureVips();
            } catch (const std::exception&) {
                // Told by the first operation that needs them.
            }
        });
    });
}

void TavrinApp::becameActive() { startSync(true); }

void TavrinApp::startSync(bool refresh)
{
    // Libraries from the phones are merged, never answered.
    syncService.onLibraryReceived = [this](const LibrarySnapshot& library) { libraryStore.replaceFromRemote(library); };
    syncService.start(refresh);
}

void TavrinApp::flush()
{
    libraryStore.flush();
    workspaceStore.persist();
    riderFoldersStore.persist();
}

} // namespace tavrin
