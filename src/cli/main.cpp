#include "base/AppSupport.h"
#include "cli/Cli.h"

#include <QCoreApplication>

#include <algorithm>
#include <optional>

using namespace tavrin;
using namespace tavrin::cli;

namespace {

const QString kGlobalUsage = QStringLiteral("[--data-dir DOSSIER] COMMANDE [ARGUMENTS]");

// A command as --help lists it: the program's own, or one of the commands module, which is
// loaded only to run one of its commands.
struct Listed {
    QString name;
    QString usage;
    QString summary;
    bool inModule = false;
};

QList<Listed> listing()
{
    QList<Listed> all;
    for (const Command& c : commands()) all.push_back({c.name, c.usage, c.summary});
    const ModuleCommands module = moduleCommands();
    for (const ModuleCommand* c = module.begin; c != module.end; ++c)
        if (std::none_of(all.begin(), all.end(), [&](const Listed& l) { return l.name == QString::fromUtf8(c->name); }))
            all.push_back({QString::fromUtf8(c->name), QString::fromUtf8(c->usage), QString::fromUtf8(c->summary), true});
    std::stable_sort(all.begin(), all.end(), [](const Listed& a, const Listed& b) { return a.name < b.name; });
    return all;
}

// Standard output when asked for with --help, standard error after a wrong usage.
void printUsage(bool asked, const QString& group = {})
{
    const auto print = asked ? printOut : printError;
    if (group.isEmpty()) {
        print(usageLine(kGlobalUsage));
        print(usageLine(QStringLiteral("--help | --version")));
        print(QStringLiteral("\nOptions :\n"
                             "  --data-dir DOSSIER\n"
                             "      Utilise DOSSIER pour les données et les préférences au lieu du dossier de l’utilisateur.\n"
                             "  --help\n"
                             "      Affiche l’utilisation et se termine.\n"
                             "  --version\n"
                             "      Affiche la version et se termine.\n"
                             "\nCommandes :"));
    } else {
        print(usageLine(group + QStringLiteral(" COMMANDE [ARGUMENTS]")));
        print(QStringLiteral("\nCommandes de « ") + group + QStringLiteral(" » :"));
    }
    for (const Listed& c : listing())
        if (group.isEmpty() || c.name.startsWith(group + u' '))
            print(QStringLiteral("  ") + c.usage + QStringLiteral("\n      ") + c.summary);
    print(QStringLiteral("\n« tavrin-cli COMMANDE --help » décrit une commande."));
}

// The listed command whose name is the longest run of leading words.
std::optional<Listed> match(const QStringList& words, qsizetype& consumed)
{
    std::optional<Listed> best;
    consumed = 0;
    for (const Listed& c : listing()) {
        const QStringList parts = c.name.split(u' ');
        if (parts.size() > words.size() || parts.size() <= consumed) continue;
        if (words.mid(0, parts.size()) == parts) {
            best = c;
            consumed = parts.size();
        }
    }
    return best;
}

// "library" when some command is named "library …".
bool isGroup(const QString& word)
{
    const QList<Listed> all = listing();
    return std::any_of(all.begin(), all.end(), [&](const Listed& c) { return c.name.startsWith(word + u' '); });
}

} // namespace

int main(int argc, char** argv)
{
    // Qt's own warnings are English; what the user must know is printed in French below.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tavrin-cli"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TAVRIN_VERSION));
    QStringList args = app.arguments().mid(1);

    while (!args.isEmpty() && args.first().startsWith(QStringLiteral("--"))) {
        const QString option = args.takeFirst();
        if (option == u"--data-dir") {
            if (args.isEmpty()) {
                printError(QStringLiteral("--data-dir attend un dossier"));
                printError(usageLine(kGlobalUsage));
                return 2;
            }
            AppSupport::setDataDirectoryOverride(args.takeFirst());
        } else if (option == u"--help") {
            printUsage(true);
            return 0;
        } else if (option == u"--version") {
            printOut(QStringLiteral("tavrin-cli ") + QCoreApplication::applicationVersion());
            return 0;
        } else {
            printError(QStringLiteral("option inconnue : ") + option);
            printError(usageLine(kGlobalUsage));
            return 2;
        }
    }

    qsizetype consumed = 0;
    const std::optional<Listed> listed = match(args, consumed);
    if (!listed) {
        if (!args.isEmpty() && isGroup(args.first())) {
            const bool asked = args.size() > 1 && args[1] == u"--help";
            if (!asked) printError(args.size() > 1 ? QStringLiteral("commande inconnue : ") + args.mid(0, 2).join(u' ')
                                                   : QStringLiteral("commande incomplète : ") + args.first());
            printUsage(asked, args.first());
            return asked ? 0 : 2;
        }
        if (!args.isEmpty()) printError(QStringLiteral("commande inconnue : ") + args.join(u' '));
        printUsage(false);
        return 2;
    }
    const QStringList rest = args.mid(consumed);
    if (rest.contains(QStringLiteral("--help"))) {
        printOut(usageLine(listed->usage));
        printOut(listed->summary);
        return 0;
    }
    if (listed->inModule) {
        const QString missing = loadCommandsModule();
        if (!missing.isEmpty()) {
            printError(missing);
            return 1;
        }
    }
    const auto found = std::find_if(commands().begin(), commands().end(), [&](const Command& c) { return c.name == listed->name; });
    if (found == commands().end()) {
        printError(QStringLiteral("La commande « ") + listed->name + QStringLiteral(" » manque à la partie chargée ; réinstallez Tavrin."));
        return 1;
    }
    const Command* command = &*found;
    try {
        return command->run(rest);
    } catch (const UsageError& e) {
        printError(e.message());
        printError(usageLine(command->usage));
        return 2;
    } catch (const Error& e) {
        printError(e.message());
        return 1;
    } catch (const std::bad_alloc&) {
        printError(QStringLiteral("Mémoire insuffisante pour terminer l’opération."));
        return 1;
    } catch (const std::exception&) {
        // The text of a library's exception is English; say in French that the operation failed.
        printError(QStringLiteral("L’opération a échoué."));
        return 1;
    }
}
