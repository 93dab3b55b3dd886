#include "app/TavrinApp.h"

#include <QGuiApplication>

namespace tavrin {

TavrinApp::TavrinApp(SingleInstance& launches, QObject* parent) : QObject(parent), delegate(launches)
{
    connect(qGuiApp, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState state) {
        if (state == Qt::ApplicationActive) becameActive();
        else flush();
    });
    connect(qGuiApp, &QGuiApplication::aboutToQuit, this, &TavrinApp::flush);
}

void TavrinApp::windowFirstShown()
{
    TavrinMacAppDelegate::setOpenHandler([this](const QString& path) { libraryStore.importTavrinFile(path); });
}

void TavrinApp::becameActive() {}

void TavrinApp::flush()
{
    libraryStore.flush();
}

} // namespace tavrin
