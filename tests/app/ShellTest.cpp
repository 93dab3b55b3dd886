#include "TestSupport.h"
#include "app/CommandBus.h"
#include "app/MacRootView.h"
#include "app/SingleInstance.h"
#include "app/TavrinApp.h"
#include "app/TavrinMacAppDelegate.h"
#include "base/UserDefaults.h"

#include <QLabel>
#include <QMenu>
#include <QSignalSpy>
#include <QStackedWidget>

#include <gtest/gtest.h>

using namespace tavrin;
using tavrin::test::TempDataDir;

TEST(TavrinMacAppDelegate, QueuesTransferFilesUntilTheFirstHandlerThenDeliversDirectly)
{
    TavrinMacAppDelegate::setOpenHandler({});
    TavrinMacAppDelegate::open({"/tmp/a.TAVRIN", "/tmp/notes.txt", "/tmp/b.Tavrin", "/tmp/tavrin"});
    EXPECT_EQ(TavrinMacAppDelegate::pendingURLs(), (QStringList{"/tmp/a.TAVRIN", "/tmp/b.Tavrin"}));

    QStringList opened;
    TavrinMacAppDelegate::setOpenHandler([&](const QString& path) { opened.push_back(path); });
    EXPECT_EQ(opened, (QStringList{"/tmp/a.TAVRIN", "/tmp/b.Tavrin"})) << "drained in arrival order";
    EXPECT_TRUE(TavrinMacAppDelegate::pendingURLs().isEmpty());
    TavrinMacAppDelegate::open({"/tmp/c.tavrin"});
    EXPECT_EQ(opened.last(), "/tmp/c.tavrin");

    TavrinMacAppDelegate::setOpenHandler({});
    TavrinMacAppDelegate::open({"/tmp/d.tavrin"});
    TavrinMacAppDelegate::setOpenHandler({});
    EXPECT_TRUE(TavrinMacAppDelegate::pendingURLs().isEmpty()) << "an empty handler drops the queue";
}

TEST(CommandBus, EveryMenuCommandPostsTheSignalOfItsName)
{
    CommandBus bus;
    for (const MenuCommand& command : CommandBus::menuCommands()) {
        const QByteArray signature = "2" + command.name.toLatin1() + "()";
        QSignalSpy spy(&bus, signature.constData());
        ASSERT_TRUE(spy.isValid()) << command.name.toStdString();
        EXPECT_TRUE(bus.post(command.name));
        EXPECT_EQ(spy.count(), 1) << command.name.toStdString();
    }
    EXPECT_FALSE(bus.post("tavrinNothing"));
}

TEST(TavrinApp, FlushesTheStoresWhenTheApplicationGoesInactiveOrQuits)
{
    TempDataDir data;
    SingleInstance launches(data.path());
    TavrinApp app(launches);
    const QUuid day = app.libraryStore.addDay("Samedi").id;
    for (const char* signal : {"applicationStateChanged", "aboutToQuit"}) {
        test::writeFile(data.file("library.json"), "lost by another program");
        if (QByteArray(signal) == "aboutToQuit") QMetaObject::invokeMethod(qApp, signal);
        else QMetaObject::invokeMethod(qApp, signal, Q_ARG(Qt::ApplicationState, Qt::ApplicationInactive));
        EXPECT_TRUE(decodeLibrary(test::readFile(data.file("library.json"))).day(day)) << signal;
    }
}

TEST(MacRootView, SectionIsRememberedAndSwitchedByTheCommands)
{
    TempDataDir data;
    {
        SingleInstance launches(data.path());
        TavrinApp app(launches);
        MacRootView window(app);
        EXPECT_EQ(window.section(), MacWorkspaceSection::tableur) << "a fresh installation opens on Tableur";
        window.findChild<QAction*>("tavrinShowCommandes")->trigger();
        EXPECT_EQ(window.section(), MacWorkspaceSection::commandes);
        EXPECT_EQ(UserDefaults::standard().string("macWorkspaceSection"), "commandes");

        QSignalSpy imports(&window, &MacRootView::importProgrammeRequested);
        app.commands.post("tavrinShowPaniers");
        window.findChild<QAction*>("tavrinImportProgramme")->trigger();
        ASSERT_EQ(imports.count(), 1);
        EXPECT_EQ(imports[0][0].value<MacWorkspaceSection>(), MacWorkspaceSection::paniers)
            << "the import goes to the section shown";
    }
    // On disk at once, as another process starting now would read it.
    EXPECT_TRUE(test::readFile(UserDefaults::standard().path()).contains("macWorkspaceSection=paniers"));
    UserDefaults::resetStandard();
    {
        SingleInstance launches(data.path());
        TavrinApp app(launches);
        MacRootView window(app);
        EXPECT_EQ(window.section(), MacWorkspaceSection::paniers);
        auto* pages = qobject_cast<QStackedWidget*>(window.sectionPage(MacWorkspaceSection::paniers)->parentWidget());
        ASSERT_NE(pages, nullptr);
        EXPECT_EQ(pages->currentWidget(), window.sectionPage(MacWorkspaceSection::paniers));
        // A page installed later for the section shown is the one shown.
        auto* orders = new QLabel("Commandes");
        window.setSection(MacWorkspaceSection::commandes);
        window.setSectionPage(MacWorkspaceSection::commandes, orders);
        EXPECT_EQ(pages->currentWidget(), orders);
    }
    UserDefaults::standard().setString("macWorkspaceSection", "sepia");
    SingleInstance launches(data.path());
    TavrinApp app(launches);
    MacRootView window(app);
    EXPECT_EQ(window.section(), MacWorkspaceSection::tableur) << "an unknown stored section";
}

// « Édition » holds the notes' « Annuler » and « Rétablir » with their keys; used from another
// section they undo the notes and show them.
TEST(MacRootView, TheEditMenuUndoesAndRedoesTheNotes)
{
    TempDataDir data;
    SingleInstance launches(data.path());
    TavrinApp app(launches);
    MacRootView window(app);
    auto* edit = window.findChild<QMenu*>("editMenu");
    ASSERT_NE(edit, nullptr);
    EXPECT_EQ(edit->title(), "Éditi&on");
    ASSERT_EQ(edit->actions().size(), 2);
    QAction* undo = edit->actions()[0];
    QAction* redo = edit->actions()[1];
    EXPECT_EQ(undo->text(), "Annuler");
    EXPECT_EQ(undo->shortcut(), QKeySequence(QKeySequence::Undo));
    EXPECT_EQ(redo->text(), "Rétablir");
    EXPECT_EQ(redo->shortcuts(), (QList<QKeySequence>{QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence(Qt::CTRL | Qt::Key_Y)}));
    EXPECT_FALSE(undo->isEnabled());

    const QUuid day = app.libraryStore.addDay("Samedi").id;
    window.setSection(MacWorkspaceSection::commandes);
    undo->trigger();
    EXPECT_FALSE(app.libraryStore.snapshot().day(day));
    EXPECT_EQ(window.section(), MacWorkspaceSection::tableur);
    EXPECT_TRUE(redo->isEnabled());
    redo->trigger();
    EXPECT_TRUE(app.libraryStore.snapshot().day(day));
}
