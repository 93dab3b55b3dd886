#include "app/MacRootView.h"
#include "app/SingleInstance.h"
#include "app/TavrinApp.h"
#include "base/AppSupport.h"
#include "base/Error.h"
#include "demo/DemoCompetition.h"
#include "ui/QtTranslations.h"

#include <QApplication>
#include <QFileInfo>
#include <QIcon>
#include <QTimer>

#include <cstdio>

namespace {

struct Arguments {
    QString dataDirectory;
    QStringList files;
    QString error;
    bool help = false;
    bool version = false;
    bool demo = false;
};

Arguments parse(const QStringList& arguments)
{
    Arguments parsed;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (argument == u"--data-dir") {
            if (i + 1 >= arguments.size()) {
                parsed.error = QStringLiteral("L’option --data-dir attend un dossier.");
                return parsed;
            }
            parsed.dataDirectory = arguments[++i];
        } else if (argument.startsWith(QStringLiteral("--data-dir="))) {
            parsed.dataDirectory = argument.mid(11);
        } else if (argument == u"--help" || argument == u"-h") {
            parsed.help = true;
        } else if (argument == u"--version") {
            parsed.version = true;
        } else if (argument == u"--demo") {
            parsed.demo = true;
        } else if (argument.startsWith(u'-') && argument != u"-") {
            parsed.error = QStringLiteral("Option inconnue : ") + argument;
            return parsed;
        } else {
            parsed.files.push_back(QFileInfo(argument).absoluteFilePath());
        }
    }
    if (parsed.demo && !parsed.dataDirectory.isEmpty())
        parsed.error = QStringLiteral("Les options --demo et --data-dir ne vont pas ensemble.");
    return parsed;
}

void printLine(FILE* stream, const QString& text) { std::fprintf(stream, "%s\n", text.toUtf8().constData()); }

const char kUsage[] = "Utilisation : tavrin [--data-dir DOSSIER] [FICHIER.tavrin…]\n"
                      "Utilisation : tavrin --demo [FICHIER.tavrin…]\n"
                      "Utilisation : tavrin --help | --version\n\n"
                      "Options :\n"
                      "  --data-dir DOSSIER\n"
                      "      Utilise DOSSIER pour les données et les préférences au lieu du dossier de l’utilisateur.\n"
                      "  --demo\n"
                      "      Ouvre une compétition de démonstration (photos, programme, commandes), préparée dans un\n"
                      "      dossier temporaire à elle ; vos données ne sont pas touchées.\n"
                      "  --help\n"
                      "      Affiche l’utilisation et se termine.\n"
                      "  --version\n"
                      "      Affiche la version et se termine.";

} // namespace

int main(int argc, char** argv)
{
    // Nothing is logged to the console; what the user must know is shown in the window.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    // --help and --version are answered before the window system is reached, so they work without a display.
    QStringList rawArguments;
    for (int i = 0; i < argc; ++i) rawArguments.push_back(QString::fromLocal8Bit(argv[i]));
    if (const Arguments early = parse(rawArguments); early.error.isEmpty() && (early.help || early.version)) {
        printLine(stdout, early.help ? QString::fromUtf8(kUsage) : QStringLiteral("Tavrin " TAVRIN_VERSION));
        return 0;
    }

    // Qt's own dialogs in French, their dates included, on a machine set to another language.
    tavrin::QtTranslations::useFrenchSystemLocale();
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tavrin"));
    QApplication::setApplicationVersion(QStringLiteral(TAVRIN_VERSION));
    QApplication::setDesktopFileName(QStringLiteral(TAVRIN_DESKTOP_ID));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/tavrin.svg")));
    tavrin::QtTranslations::installFrench();

    const Arguments arguments = parse(QApplication::arguments());
    if (!arguments.error.isEmpty()) {
        printLine(stderr, arguments.error);
        printLine(stderr, QString::fromUtf8(kUsage));
        return 2;
    }
    if (arguments.help || arguments.version) {
        printLine(stdout, arguments.help ? QString::fromUtf8(kUsage) : QStringLiteral("Tavrin " TAVRIN_VERSION));
        return 0;
    }
    if (!arguments.dataDirectory.isEmpty()) tavrin::AppSupport::setDataDirectoryOverride(arguments.dataDirectory);
    if (arguments.demo) {
        // Made once, then reused: the window opens on the demonstration's own data folder.
        try {
            const auto demo = tavrin::DemoCompetition::make(tavrin::DemoCompetition::defaultFolder());
            tavrin::AppSupport::setDataDirectoryOverride(demo.dataFolder);
        } catch (const tavrin::Error& e) {
            printLine(stderr, e.message());
            return 1;
        }
    }

    tavrin::SingleInstance instance(tavrin::AppSupport::folder());
    switch (instance.launch(arguments.files)) {
    case tavrin::SingleInstance::Launch::handedOver:
        return 0;
    case tavrin::SingleInstance::Launch::noAnswer:
        printLine(stderr, QStringLiteral("Tavrin est déjà ouvert mais ne répond pas."));
        return 1;
    case tavrin::SingleInstance::Launch::running:
        break;
    }

    tavrin::TavrinApp app(instance);
    tavrin::TavrinMacAppDelegate::open(arguments.files);
    tavrin::MacRootView window(app);
    QObject::connect(&instance, &tavrin::SingleInstance::filesReceived, &window, [&window] {
        window.showNormal();
        window.raise();
        window.activateWindow();
    });
    // Start-up measurement (bench/compare-startup.sh): quit once the window is shown, after
    // opening the web import when the value is "browser".
    if (const QString probe = qEnvironmentVariable("TAVRIN_QUIT_WHEN_SHOWN"); !probe.isEmpty())
        QObject::connect(&window, &tavrin::MacRootView::firstShown, &application, [&app, probe] {
            if (probe == u"browser") app.commands.post(QStringLiteral("tavrinImportProgrammeWeb"));
            QTimer::singleShot(0, qApp, &QCoreApplication::quit);
        });
    window.show();
    return application.exec();
}
