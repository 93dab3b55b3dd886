// Entry of the commands module (tavrin_commands.so): the commands that need the photo, print,
// video, PDF and network libraries. Loading it registers them with the program's registry; this
// wiring then joins them to the stores as the window does.

#include "cli/HandOverCommands.h"
#include "editing/PhotoEditMemory.h"
#include "photofiles/MediaThumbnailer.h"
#include "orders/OrdersStore.h"
#include "printing/PhotoPrinter.h"

extern "C" Q_DECL_EXPORT void tavrin_commands_start()
{
    using namespace tavrin;
    // A photo re-rendered by an edit command must not keep its old thumbnail, here or in the file manager.
    PhotoEditMemory::setThumbnailForgetter([](const QString& photo) { MediaThumbnailer::shared().remove(photo); });
    // Files handed over or printed show as delivered in the orders screen, as when done there.
    const auto markDelivered = [](const QStringList& files) {
        OrdersStore store;
        store.markDelivered(files);
    };
    cli::handOverMarkDelivered() = markDelivered;
    PhotoPrinter::setDeliveredMarker(markDelivered);
}
