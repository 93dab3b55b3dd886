#include "base/AppSupport.h"
#include "cli/Cli.h"
#include "cli/HandOverCommands.h"
#include "editing/PhotoEditMemory.h"
#include "orders/MediaThumbnailer.h"
#include "orders/OrdersStore.h"
#include "printing/PhotoPrinter.h"

#include <QCoreApplication>

#include <algorithm>

using namespace tavrin;
using namespace tavrin::cli;

namespace {

const QString kGlobalUsage = QStringLiteral("[--data-dir DOSSIER] COMMANDE [ARGUMENTS]");

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
    for (const Command& c : commands())
        if (group.isEmpty() || c.name.startsWith(group + u' '))
            print(QStringLiteral("  ") + c.usage + QStringLiteral("\n      ") + c.summary);
    print(QStringLiteral("\n« tavrin-cli COMMANDE --help » décrit une commande."));
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

// "library" when some command is named "library …".
bool isGroup(const QString& word)
{
    return std::any_of(commands().begin(), commands().end(),
                       [&](const Command& c) { return c.name.startsWith(word + u' '); });
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
    // A photo re-rendered by an edit command must not keep its old thumbnail, here or in the file manager.
    PhotoEditMemory::setThumbnailForgetter([](const QString& photo) { MediaThumbnailer::shared().remove(photo); });
    // Files handed over or printed show as delivered in the orders screen, as when done there.
    const auto markDelivered = [](const QStringList& files) {
        OrdersStore store;
        store.markDelivered(files);
    };
    handOverMarkDelivered() = markDelivered;
    PhotoPrinter::setDeliveredMarker(markDelivered);

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
    const Command* command = match(args, consumed);
    if (!command) {
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
        printOut(usageLine(command->usage));
        printOut(command->summary);
        return 0;
    }
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
