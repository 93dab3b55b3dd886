#include "app/TavrinMacAppDelegate.h"

#include "app/SingleInstance.h"

#include <QFileInfo>

namespace tavrin {

namespace {

struct Queue {
    TavrinMacAppDelegate::OpenHandler handler;
    QStringList pending;
};

Queue& queue()
{
    static Queue q;
    return q;
}

} // namespace

TavrinMacAppDelegate::TavrinMacAppDelegate(SingleInstance& launches, QObject* parent) : QObject(parent)
{
    connect(&launches, &SingleInstance::filesReceived, this, &TavrinMacAppDelegate::open);
}

void TavrinMacAppDelegate::setOpenHandler(OpenHandler handler)
{
    Queue& q = queue();
    q.handler = std::move(handler);
    const QStringList drained = std::exchange(q.pending, {});
    if (!q.handler) return;
    for (const QString& path : drained) q.handler(path);
}

void TavrinMacAppDelegate::open(const QStringList& paths)
{
    Queue& q = queue();
    for (const QString& path : paths) {
        if (QFileInfo(path).suffix().toLower() != u"tavrin") continue;
        if (q.handler) q.handler(path);
        else q.pending.push_back(path);
    }
}

QStringList TavrinMacAppDelegate::pendingURLs() { return queue().pending; }

} // namespace tavrin
