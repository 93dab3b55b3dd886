// Renders the main states of the window, on the offscreen platform, to PNG files:
//   tavrin-screenshots OUTPUT_FOLDER
#include "app/MacRootView.h"
#include "app/SingleInstance.h"
#include "app/TavrinApp.h"
#include "base/AppSupport.h"
#include "base/UserDefaults.h"

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QEventLoop>
#include <QTimer>

#include <cstdio>
#include <functional>

using namespace tavrin;

namespace {

// A competition weekend as the photographer would have typed it.
void fillLibrary(LibraryStore& store)
{
    const DayRecord saturday = store.addDay(QStringLiteral("Samedi 14 juin"));
    const DayRecord sunday = store.addDay(QStringLiteral("Dimanche 15 juin"));
    store.addSpreadsheet(saturday.id, QStringLiteral("Épreuve 1 · 1,05 m"));
    store.addSpreadsheet(saturday.id, QStringLiteral("Épreuve 2 · 1,15 m"));
    store.addSpreadsheet(sunday.id, QStringLiteral("Grand Prix 1,35 m"));
    const SpreadsheetRecord sheet = store.addSpreadsheet(sunday.id, QStringLiteral("Épreuve 4 · 1,20 m"));
    const QList<std::pair<const char*, const char*>> rows{
        {"0012", "104"}, {"0027", "87"}, {"0041", "112"}, {"0058", "9"},  {"0066", "131"}, {"0079", "56"},
        {"0093", "148"}, {"0105", "23"}, {"0118", "77"},  {"0131", "140"}, {"0146", "12"},
    };
    for (const auto& [photo, assigned] : rows) {
        const QUuid rowID = store.snapshot().spreadsheet(sheet.id)->rows.last().id;
        store.updateRow(sheet.id, rowID, QString::fromLatin1(photo), QString::fromLatin1(assigned));
    }
    store.updateUIState(sunday.id, sheet.id);
}

bool render(const QString& path, const std::function<void(LibraryStore&)>& prepare)
{
    QTemporaryDir data;
    AppSupport::setDataDirectoryOverride(data.path());
    UserDefaults::resetStandard();
    SingleInstance instance(data.path());
    TavrinApp app(instance);
    prepare(app.libraryStore);
    MacRootView window(app);
    window.resize(1180, 760);
    window.show();
    QEventLoop settle;
    QTimer::singleShot(100, &settle, &QEventLoop::quit);
    settle.exec();
    const bool saved = window.grab().save(path);
    window.close();
    UserDefaults::resetStandard();
    return saved;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    QApplication application(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "Utilisation : tavrin-screenshots DOSSIER\n");
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    QDir().mkpath(out.path());
    const QList<std::pair<QString, std::function<void(LibraryStore&)>>> states{
        {QStringLiteral("tableur-empty.png"), [](LibraryStore&) {}},
        {QStringLiteral("tableur-filled.png"), fillLibrary},
        {QStringLiteral("tableur-dark.png"),
         [](LibraryStore& store) {
             fillLibrary(store);
             store.setAppearance(AppearancePreference::dark);
         }},
    };
    int failures = 0;
    for (const auto& [name, prepare] : states) {
        if (!render(out.filePath(name), prepare)) {
            std::fprintf(stderr, "Impossible d’écrire %s\n", qPrintable(out.filePath(name)));
            ++failures;
        }
    }
    return failures == 0 ? 0 : 1;
}
