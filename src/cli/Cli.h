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

// The progress of long work (organising, copying a card, reading capture times, retouching): one
// bar on standard error, redrawn in place, only when it is a terminal, so that a pipe or a log
// gets nothing but the messages. Messages printed through it go above the bar.
class ProgressBar {
public:
    ProgressBar();
    ~ProgressBar();
    ProgressBar(const ProgressBar&) = delete;
    ProgressBar& operator=(const ProgressBar&) = delete;

    void update(qint64 done, qint64 total, const QString& label = {});
    // A line that stays (a failure, a status), printed whether or not a terminal shows the bar.
    void message(const QString& line);
    // Leaves the last bar on its own line.
    void finish();
    // The work got through to its end (progress may not be told of its last step): a full bar.
    void complete();

    // The bar's text for `width` columns: "[#####-----] 512/1 000 · label".
    static QString render(qint64 done, qint64 total, const QString& label, int width);

private:
    void clear();
    void draw();

    bool m_terminal;
    bool m_shown = false;
    bool m_pending = false;
    qint64 m_total = 0;
    QString m_line;
    qint64 m_lastDrawMs = 0;
};

// Reads a JSON argument that is either a path to a JSON file or the JSON text itself.
QJsonValue jsonArgument(const QString& argument);

} // namespace tavrin::cli
