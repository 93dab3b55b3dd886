#include "app/CommandBus.h"

#include <QMetaObject>

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

bool CommandBus::post(const QString& name)
{
    for (const MenuCommand& command : menuCommands())
        if (command.name == name) return QMetaObject::invokeMethod(this, name.toLatin1().constData(), Qt::DirectConnection);
    return false;
}

} // namespace tavrin
