#pragma once

// The --settings argument of the retouch commands: a JSON object, from a file or inline.

#include "cli/Cli.h"
#include "editing/PhotoRetouchSettings.h"

#include <QJsonObject>

namespace tavrin::cli {

inline PhotoRetouchSettings retouchSettingsArgument(const QString& argument)
{
    const QJsonValue json = jsonArgument(argument);
    if (!json.isObject()) throw Error(QStringLiteral("Les réglages de retouche doivent être un objet JSON."));
    return photoRetouchSettingsFromJson(json.toObject());
}

} // namespace tavrin::cli
