#include "app/CommandBus.h"

#include <QMetaObject>

#include <algorithm>

namespace tavrin {

const QList<MenuCommand>& CommandBus::menuCommands()
{
    static const QList<MenuCommand> commands{
        {QStringLiteral("Nouveau jour"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_N), QStringLiteral("tavrinNewDay")},
        {QStringLiteral("Nouveau tableur"), QKeySequence(Qt::CTRL | Qt::Key_N), QStringLiteral("tavrinNewSpreadsheet")},
        {QStringLiteral("Paniers"), QKeySequence(Qt::CTRL | Qt::Key_1), QStringLiteral("tavrinShowPaniers")},
        {QStringLiteral("Tableur"), QKeySequence(Qt::CTRL | Qt::Key_2), QStringLiteral("tavrinShowTableur")},
        {QStringLiteral("Commandes"), QKeySequence(Qt::CTRL | Qt::Key_3), QStringLiteral("tavrinShowCommandes")},
        {QStringLiteral("Importer le programme…"), QKeySequence(Qt::CTRL | Qt::Key_O), QStringLiteral("tavrinImportProgramme")},
        {QStringLiteral("Importer depuis une page internet…"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_O),
         QStringLiteral("tavrinImportProgrammeWeb")},
    };
    return commands;
}

const MenuCommand& CommandBus::aboutCommand()
{
    static const MenuCommand about{QStringLiteral("À propos de Tavrin"), QKeySequence(), QStringLiteral("tavrinShowAbout")};
    return about;
}

bool CommandBus::post(const QString& name)
{
    const QList<MenuCommand>& commands = menuCommands();
    const bool known = name == aboutCommand().name
        || std::any_of(commands.begin(), commands.end(), [&](const MenuCommand& command) { return command.name == name; });
    return known && QMetaObject::invokeMethod(this, name.toLatin1().constData(), Qt::DirectConnection);
}

} // namespace tavrin
