#include "base/AppSupport.h"
#include "cli/Cli.h"

#include <QCoreApplication>

using namespace tavrin;
using namespace tavrin::cli;

namespace {

void printUsage()
{
    printError(QStringLiteral("usage : tavrin-cli [--data-dir DIR] COMMANDE [ARGUMENTS]\n\nCommandes :"));
    for (const Command& c : commands()) printError(QStringLiteral("  ") + c.usage + QStringLiteral("\n      ") + c.summary);
}

// The registered command whose name is the longest run of leading words.
const Command* match(const QStringList& words, qsizetype& consumed)
{
    const Command* best = nullptr;
    consumed = 0;
    for (const Command& c : commands()) {
        const QStringList parts = c.name.split(u' ');
        if (parts.size() > words.size() || parts.size() <= consumed) continue;
        if (words.mid(0, parts.size()) == parts) {
            best = &c;
            consumed = parts.size();
        }
    }
    return best;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tavrin-cli"));
    QStringList args = app.arguments().mid(1);

    while (!args.isEmpty() && args.first().startsWith(QStringLiteral("--"))) {
        const QString option = args.takeFirst();
        if (option == u"--data-dir") {
            if (args.isEmpty()) {
                printError(QStringLiteral("--data-dir attend un dossier"));
                return 2;
            }
            AppSupport::setDataDirectoryOverride(args.takeFirst());
        } else if (option == u"--help") {
            printUsage();
            return 0;
        } else {
            printError(QStringLiteral("option inconnue : ") + option);
            printUsage();
            return 2;
        }
    }

    qsizetype consumed = 0;
    const Command* command = match(args, consumed);
    if (!command) {
        if (!args.isEmpty()) printError(QStringLiteral("commande inconnue : ") + args.join(u' '));
        printUsage();
        return 2;
    }
    const QStringList rest = args.mid(consumed);
    if (rest.contains(QStringLiteral("--help"))) {
        printOut(QStringLiteral("usage : tavrin-cli ") + command->usage + QStringLiteral("\n") + command->summary);
        return 0;
    }
    try {
        return command->run(rest);
    } catch (const UsageError& e) {
        printError(e.message());
        printError(QStringLiteral("usage : tavrin-cli ") + command->usage);
        return 2;
    } catch (const Error& e) {
        printError(e.message());
        return 1;
    } catch (const std::exception& e) {
        printError(QString::fromUtf8(e.what()));
        return 1;
    }
}
