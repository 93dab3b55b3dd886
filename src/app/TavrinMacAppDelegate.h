#pragma once

#include <QObject>
#include <QStringList>

#include <functional>

namespace tavrin {

class SingleInstance;

// Receives the transfer files the desktop asks Tavrin to open (command-line arguments and later
// launches). Files that arrive before the window can import them wait in a queue that the first
// open handler drains, in arrival order.
class TavrinMacAppDelegate : public QObject {
    Q_OBJECT

public:
    using OpenHandler = std::function<void(const QString& path)>;

    // Installed as the receiver of the files that later launches hand over.
    explicit TavrinMacAppDelegate(SingleInstance& launches, QObject* parent = nullptr);

    // Takes the whole queue and calls the new handler once per queued file, in order; with an
    // empty handler the queued files are dropped.
    static void setOpenHandler(OpenHandler handler);
    // Files whose extension, in any case, is "tavrin" go to the handler, or to the queue while
    // there is none; any other file is ignored.
    static void open(const QStringList& paths);
    static QStringList pendingURLs();
};

} // namespace tavrin
