#pragma once

#include <QString>

#include <optional>

// The per-user data folder "TAVRIN" and the programme-file helpers. Every access creates the
// folder; creation and deletion failures are ignored.
namespace tavrin::AppSupport {

// --data-dir replaces TAVRIN_DATA_DIR, which replaces $XDG_DATA_HOME/TAVRIN.
void setDataDirectoryOverride(const QString& directory);

QString folder();
QString ordersFolder();
QString riderFoldersFolder();
QString fileInFolder(const QString& name);

// The user-defaults file: defaults.ini in the data folder when one is given, else
// $XDG_CONFIG_HOME/TAVRIN/defaults.ini.
QString defaultsFile();

// "programme.pdf", "programme.xlsx", "programme.xlsm", searched in that order.
const QStringList& programmeExtensions();
std::optional<QString> existingProgrammeFile();
void removeProgrammeFiles();
std::optional<QString> existingRiderProgrammeFile();
void removeRiderProgrammeFiles();

} // namespace tavrin::AppSupport
