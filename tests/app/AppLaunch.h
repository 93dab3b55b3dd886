#pragma once

// One launch of the application on a data folder for the window's tests: the stores, the window,
// shown and active.

#include "app/MacRootView.h"
#include "app/SingleInstance.h"
#include "app/TavrinApp.h"
#include "library/views/MacSidebar.h"
#include "library/views/RowsTableView.h"
#include "library/views/SpreadsheetPane.h"
#include "library/views/TableurView.h"

#include <QApplication>
#include <QTest>

#include <gtest/gtest.h>

namespace tavrin::test {

struct Launch {
    explicit Launch(const QString& dataDir) : launches(dataDir), app(launches), window(app)
    {
        window.show();
        QApplication::setActiveWindow(&window);
        EXPECT_TRUE(QTest::qWaitForWindowActive(&window));
    }
    LibraryStore& store() { return app.libraryStore; }
    TableurView& tableur() { return *window.tableur(); }
    MacSidebar& sidebar() { return *tableur().sidebar(); }
    RowsTableView& table() { return *tableur().spreadsheetPane()->table(); }

    SingleInstance launches;
    TavrinApp app;
    MacRootView window;
};

} // namespace tavrin::test
