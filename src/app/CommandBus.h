#pragma once

#include <QKeySequence>
#include <QList>
#include <QObject>
#include <QString>

namespace tavrin {

// One menu command: its title, its shortcut (Ctrl where the Mac has Command) and the name of the
// signal it posts on the bus.
struct MenuCommand {
    QString title;
    QKeySequence shortcut;
    QString name;
};

// The in-process bus of the menu commands: each command only posts its signal; the window and
// the screens listen. Signal names equal the command names.
class CommandBus : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

    // In menu order: the two new-item commands, then the sections, then the imports.
    static const QList<MenuCommand>& menuCommands();
    // "À propos de Tavrin", alone in the help menu.
    static const MenuCommand& aboutCommand();

    // Emits the signal named `name`; false for a name that is none of the commands above.
    bool post(const QString& name);

Q_SIGNALS:
    void tavrinNewDay();
    void tavrinNewSpreadsheet();
    void tavrinShowPaniers();
    void tavrinShowTableur();
    void tavrinShowCommandes();
    void tavrinImportProgramme();
    void tavrinImportProgrammeWeb();
    void tavrinShowAbout();
};

} // namespace tavrin
