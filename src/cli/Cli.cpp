#include "cli/Cli.h"

#include "base/DataFileNotices.h"
#include "base/TavrinModules.h"
#include "base/TavrinJSON.h"

#include <QDateTime>
#include <QFile>
#include <QLocale>

#include <algorithm>

#include <cstdio>
#include <sys/ioctl.h>
#include <unistd.h>

namespace tavrin::cli {

namespace {
// A data file set aside is told once on standard error, whatever the command.
const bool kNoticesOnStandardError = [] {
    QObject::connect(&DataFileNotices::instance(), &DataFileNotices::posted, [] {
        for (const QString& notice : DataFileNotices::instance().takePending()) printError(notice);
    });
    return true;
}();

QList<Command>& registry()
{
    static QList<Command> list;
    return list;
}
} // namespace

Registration::Registration(Command command) { registry().push_back(std::move(command)); }

const QList<Command>& commands() { return registry(); }

double durationOption(const Args& args, double fallback, double longest)
{
    const std::optional<QString> value = args.value(QStringLiteral("for"));
    if (!value) return fallback;
    bool ok = false;
    const double seconds = value->toDouble(&ok);
    if (!ok || seconds <= 0 || seconds > longest) throw UsageError(QStringLiteral("--for attend une durée en secondes"));
    return seconds;
}

QString usageLine(const QString& usage) { return QStringLiteral("Utilisation : tavrin-cli ") + usage; }

Args::Args(const QStringList& raw, const QStringList& valueOptions, const QStringList& flagOptions,
           const QMap<QString, int>& multiOptions)
{
    for (qsizetype i = 0; i < raw.size(); ++i) {
        const QString& a = raw[i];
        if (a.startsWith(QStringLiteral("--")) && a.size() > 2) {
            const QString name = a.mid(2);
            if (flagOptions.contains(name)) {
                m_flags.push_back(name);
            } else if (valueOptions.contains(name)) {
                if (i + 1 >= raw.size()) throw UsageError(QStringLiteral("--") + name + QStringLiteral(" attend une valeur"));
                m_values[name].push_back(raw[++i]);
            } else if (multiOptions.contains(name)) {
                const int n = multiOptions.value(name);
                if (i + n >= raw.size())
                    throw UsageError(QStringLiteral("--") + name + QStringLiteral(" attend ") + QString::number(n)
                                     + QStringLiteral(" valeurs"));
                m_groups[name].push_back(raw.mid(i + 1, n));
                i += n;
            } else {
                throw UsageError(QStringLiteral("option inconnue : ") + a);
            }
        } else {
            m_positional.push_back(a);
        }
    }
}

std::optional<QString> Args::value(const QString& name) const
{
    const auto it = m_values.constFind(name);
    if (it == m_values.constEnd() || it->isEmpty()) return std::nullopt;
    return it->last();
}

QString Args::required(const QString& name) const
{
    const auto v = value(name);
    if (!v) throw UsageError(QStringLiteral("--") + name + QStringLiteral(" est obligatoire"));
    return *v;
}

QStringList Args::values(const QString& name) const { return m_values.value(name); }
QList<QStringList> Args::groups(const QString& name) const { return m_groups.value(name); }

void printJson(const QJsonValue& value) { printJsonBytes(TavrinJSON::encode(value)); }

void printJsonBytes(const QByteArray& json)
{
    std::fwrite(json.constData(), 1, size_t(json.size()), stdout);
    if (!json.endsWith('\n')) std::fputc('\n', stdout);
    std::fflush(stdout);
}

void printError(const QString& line)
{
    const QByteArray data = (line + u'\n').toUtf8();
    std::fwrite(data.constData(), 1, size_t(data.size()), stderr);
    std::fflush(stderr);
}

void printOut(const QString& line)
{
    const QByteArray data = (line + u'\n').toUtf8();
    std::fwrite(data.constData(), 1, size_t(data.size()), stdout);
    std::fflush(stdout);
}

bool stderrIsTerminal() { return isatty(fileno(stderr)) != 0; }

namespace {

void writeRaw(const QString& text)
{
    const QByteArray data = text.toUtf8();
    std::fwrite(data.constData(), 1, size_t(data.size()), stderr);
    std::fflush(stderr);
}

int terminalWidth()
{
    winsize size{};
    if (ioctl(fileno(stderr), TIOCGWINSZ, &size) == 0 && size.ws_col >= 20) return size.ws_col;
    return 80;
}

} // namespace

ProgressBar::ProgressBar() : m_terminal(stderrIsTerminal()) {}

ProgressBar::~ProgressBar() { finish(); }

QString ProgressBar::render(qint64 done, qint64 total, const QString& label, int width)
{
    const QLocale french(QLocale::French);
    done = std::clamp<qint64>(done, 0, std::max<qint64>(total, 0));
    QString counts = french.toString(done) + u'/' + french.toString(total);
    counts.replace(QChar(0x202F), u' ').replace(QChar(0xA0), u' ');
    const int cells = 20;
    const int filled = total > 0 ? int(done * cells / total) : 0;
    QString line = u'[' + QString(filled, u'#') + QString(cells - filled, u'-') + QStringLiteral("] ") + counts;
    if (!label.isEmpty()) line += QStringLiteral(" · ") + label;
    // One line only: a wrapped bar could not be redrawn in place.
    if (line.size() > width - 1) line = line.left(width - 2) + u'…';
    return line;
}

void ProgressBar::update(qint64 done, qint64 total, const QString& label)
{
    if (!m_terminal) return;
    // A few redraws a second are enough to read, and thousands of photos write no megabytes.
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    m_total = total;
    m_line = render(done, total, label, terminalWidth());
    m_pending = m_shown && done < total && now - m_lastDrawMs < 100;
    if (m_pending) return;
    m_lastDrawMs = now;
    draw();
}

void ProgressBar::draw()
{
    writeRaw(u'\r' + m_line + QStringLiteral("\x1b[K"));
    m_shown = true;
    m_pending = false;
}

void ProgressBar::clear()
{
    if (m_shown) writeRaw(QStringLiteral("\r\x1b[K"));
}

void ProgressBar::message(const QString& line)
{
    clear();
    printError(line);
    if (m_shown) draw();
}

void ProgressBar::complete()
{
    if (m_shown || m_pending) update(m_total, m_total);
    finish();
}

void ProgressBar::finish()
{
    // The last state skipped between two redraws is the one to leave on screen.
    if (m_pending) draw();
    if (m_shown) writeRaw(QStringLiteral("\n"));
    m_shown = false;
}

QJsonValue jsonArgument(const QString& argument)
{
    QFile file(argument);
    if (!argument.trimmed().startsWith(u'{') && !argument.trimmed().startsWith(u'[') && file.exists()) {
        if (!file.open(QIODevice::ReadOnly)) throw Error(QStringLiteral("Impossible de lire ") + argument);
        return TavrinJSON::decode(file.readAll());
    }
    return TavrinJSON::decode(argument.toUtf8());
}

QString loadCommandsModule()
{
    static QString error;
    static const bool loaded = [] {
        using Start = void (*)();
        const auto start = reinterpret_cast<Start>(TavrinModules::resolve(
            QStringLiteral("tavrin_commands.so"), "tavrin_commands_start",
            QStringLiteral("commandes des photos, des vidéos, de l’impression et du réseau"), &error));
        if (start) start();
        return start != nullptr;
    }();
    return loaded ? QString() : error;
}

} // namespace tavrin::cli
