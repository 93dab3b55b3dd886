// What the orders screen does with files: the batch actions, undoing edits, the hand-over, the
// applications that open them and the context menu.
#include "orders/views/OrdersView.h"

#include "base/Error.h"
#include "editing/PhotoOriginals.h"
#include "handover/views/HandOverDialog.h"
#include "orders/OpenWithApps.h"
#include "orders/views/OpenPanels.h"
#include "organizer/MediaFile.h"

#include <QAction>
#include <QCursor>
#include <QIcon>
#include <QMenu>
#include <QPointer>

namespace tavrin {

using ActionKind = OrdersScreen::Action::Kind;

void OrdersView::runAction(ActionKind kind, const QStringList& files, QWidget* anchor)
{
    switch (kind) {
    case ActionKind::retouch: m_store.applyRetouch(files); break;
    case ActionKind::watermark: m_store.applyWatermark(files); break;
    case ActionKind::crop:
        if (openCrop && !files.isEmpty()) openCrop(files.first());
        break;
    case ActionKind::print: {
        // Prints are of photos only.
        QStringList photos;
        for (const QString& file : files)
            if (!MediaFile::isVideo(file)) photos.push_back(file);
        if (!printMenu || photos.isEmpty()) break;
        if (QMenu* menu = printMenu(photos, this)) {
            menu->setAttribute(Qt::WA_DeleteOnClose);
            menu->popup(anchor ? anchor->mapToGlobal(QPoint(0, anchor->height())) : QCursor::pos());
        }
        break;
    }
    case ActionKind::undo:
        for (const QString& file : files) undoEdits(file);
        break;
    case ActionKind::handOver: handOver(files); break;
    case ActionKind::openWith:
    case ActionKind::chooseApplication: break;
    }
}

void OrdersView::undoEdits(const QString& file)
{
    try {
        PhotoOriginals::restore(file);
    } catch (const Error& error) {
        showLocalError(error.message());
    }
    m_store.noteEdited(file);
    if (fileRestored) fileRestored(file);
}

void OrdersView::handOver(const QStringList& files)
{
    HandOverDialog::send(window(), files, [store = QPointer<OrdersStore>(&m_store)](const QStringList& delivered) {
        if (store) store->markDelivered(delivered);
    });
}

void OrdersView::addOpenWith(QMenu* menu, const QStringList& files)
{
    for (const OpenWithApp& app : OpenWithApps::apps(files)) {
        menu->addAction(QIcon::fromTheme(app.icon), app.name, this, [this, app, files] {
            OrdersScreen::rememberOpenWith(m_store, app.path, files);
            OpenWithApps::open(files, app.id);
        });
    }
}

QMenu* OrdersView::makeContextMenu(const OrderMedia& media, QWidget* parent)
{
    auto* menu = new QMenu(parent);
    menu->setToolTipsVisible(true);
    OrdersScreen::ActionContext context = actionContext();
    context.canUndo = !media.isVideo && PhotoOriginals::hasBackup(media.url);
    const QStringList files{media.url};
    for (const OrdersScreen::Action& action : OrdersScreen::mediaActions(media, context)) {
        switch (action.kind) {
        case ActionKind::print:
            if (printMenu) {
                if (QMenu* print = printMenu(files, menu)) {
                    print->setTitle(action.text);
                    menu->addMenu(print);
                }
            }
            continue;
        case ActionKind::openWith: {
            QMenu* openWith = menu->addMenu(action.text);
            addOpenWith(openWith, files);
            openWith->setEnabled(!openWith->isEmpty());
            continue;
        }
        case ActionKind::chooseApplication:
            menu->addAction(action.text, this, [this, files] {
                OpenPanels::pickApplication(window(), [this, guard = QPointer(this), files](const OpenWithApp& app) {
                    if (!guard) return;
                    OrdersScreen::rememberOpenWith(m_store, app.path, files);
                    OpenWithApps::open(files, app.id);
                });
            });
            continue;
        case ActionKind::handOver: menu->addSeparator(); break;
        default: break;
        }
        QAction* entry = menu->addAction(action.text);
        entry->setEnabled(action.enabled);
        entry->setToolTip(action.enabled || action.help.isEmpty() ? action.text : action.help);
        connect(entry, &QAction::triggered, this, [this, kind = action.kind, files] { runAction(kind, files, nullptr); });
    }
    return menu;
}

} // namespace tavrin
