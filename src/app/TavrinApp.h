#pragma once

#include "app/CommandBus.h"
#include "app/TavrinMacAppDelegate.h"
#include "base/BackgroundJobs.h"
#include "library/LibraryStore.h"
#include "orders/OrdersStore.h"
#include "organizer/RiderFoldersStore.h"
#include "organizer/WorkspaceStore.h"
#include "sync/SyncService.h"

#include <QObject>

namespace tavrin {

class SingleInstance;

// The application object: the long-lived stores, created once in the order of their members
// and kept for the life of the process, and what happens when the window first shows, when the
// application becomes active again and when it goes inactive, to the background or quits.
class TavrinApp : public QObject {
    Q_OBJECT

public:
    explicit TavrinApp(SingleInstance& launches, QObject* parent = nullptr);

    CommandBus commands;
    TavrinMacAppDelegate delegate;
    LibraryStore libraryStore;
    SyncService syncService{QStringLiteral("mac")};
    WorkspaceStore workspaceStore;
    RiderFoldersStore riderFoldersStore;
    OrdersStore ordersStore;

    void windowFirstShown();
    void becameActive();
    void flush();

private:
    void startSync(bool refresh);

    // Loads the image libraries once the window has settled; declared last, so stopped first.
    BackgroundJobs m_warmUp{nullptr, 1};
};

} // namespace tavrin
