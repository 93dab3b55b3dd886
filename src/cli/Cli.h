#pragma once

// The command registry of tavrin-cli. Each Commands file registers its commands with a static
// Registration, so adding a command touches only its own file.

#include "base/Error.h"

#include <QJsonValue>
#include <QMap>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace tavrin::cli {

// Wrong usage: exit status 2 with a usage line.
class UsageError : public std::exception {
public:
    explicit UsageError(QString message) : m_message(std::move(message)), m_utf8(m_message.toUtf8()) {}
    const QString& message() const { return m_message; }
    const char* what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_message;
    QByteArray m_utf8;
};

// Parsed arguments of one command: --name value options (repeatable), flags and positionals.
class Args {
public:
    // `valueOptions` take one value, `flagOptions` none; `multiOptions` take a fixed count of values.
    Args(const QStringList& raw, const QStringList& valueOptions, const QStringList& flagOptions = {},
         const QMap<QString, int>& multiOptions = {});

    std::optional<QString> value(const QString& name) const;
    QString required(const QString& name) const;
    QStringList values(const QString& name) const;
    QList<QStringList> groups(const QString& name) const;
    bool flag(const QString& name) const { return m_flags.contains(name); }
    const QStringList& positional() const { return m_positional; }

private:
    QMap<QString, QStringList> m_values;
    QMap<QString, QList<QStringList>> m_groups;
    QStringList m_flags;
    QStringList m_positional;
};

// The seconds of --for: `fallback` when absent; wrong usage unless 0 < seconds ≤ `longest`.
double durationOption(const Args& args, double fallback, double longest);

struct Command {
    QString name;    // "library show"
    QString usage;   // "library show"
    QString summary; // one line for --help
    // Returns the exit status; throws UsageError (2) or tavrin::Error (1).
    std::function<int(const QStringList& args)> run;
};

struct Registration {
    explicit Registration(Command command);
};

const QList<Command>& commands();

// A command of the commands module (tavrin_commands.so), known without loading it: the list is
// written at build time from the module's own registrations.
struct ModuleCommand {
    const char* name;
    const char* usage;
    const char* summary;
};
struct ModuleCommands {
    const ModuleCommand* begin;
    const ModuleCommand* end;
};
ModuleCommands moduleCommands();

// Loads the commands module, whose commands then join commands(). Returns the French reason it
// cannot be loaded, empty on success.
QString loadCommandsModule();

// The one wording of every usage line: "Utilisation : tavrin-cli " followed by `usage`.
QString usageLine(const QString& usage);

// JSON to standard output, written by TavrinJSON.
void printJson(const QJsonValue& value);
// Already encoded JSON (records written through JsonWriter).
void printJsonBytes(const QByteArray& json);
// A line to standard error (French messages, progress, status).
void printError(const QString& line);
void printOut(const QString& line);
// True when standard error is a terminal (progress is shown only then).
bool stderrIsTerminal();

// Reads a JSON argument that is either a path to a JSON file or the JSON text itself.
QJsonValue jsonArgument(const QString& argument);

} // namespace tavrin::cli
