#include "ui/QtTranslations.h"

#include <QCoreApplication>
#include <QHash>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace tavrin::QtTranslations {

namespace {

// Texts of Qt's file dialogs that its French catalogue leaves in English (the file types of the
// detail view).
class MissingTexts : public QTranslator {
public:
    using QTranslator::QTranslator;

    QString translate(const char* context, const char* sourceText, const char*, int) const override
    {
        static const QHash<QByteArray, QString> types{
            {"Drive", QStringLiteral("Lecteur")},     {"Folder", QStringLiteral("Dossier")},
            {"File", QStringLiteral("Fichier")},      {"Shortcut", QStringLiteral("Raccourci")},
            {"Unknown", QStringLiteral("Inconnu")},
        };
        if (qstrcmp(context, "QAbstractFileIconProvider") != 0) return {};
        return types.value(QByteArray(sourceText));
    }

    bool isEmpty() const override { return false; }
};

} // namespace

void useFrenchSystemLocale()
{
    // Qt reads the locale variables once, on the first use of the system locale; the C library
    // reads them when the application object is made, by then given back as they were.
    const QByteArray all = qgetenv("LC_ALL"), language = qgetenv("LANGUAGE");
    const bool hadAll = qEnvironmentVariableIsSet("LC_ALL"), hadLanguage = qEnvironmentVariableIsSet("LANGUAGE");
    qputenv("LC_ALL", "fr_FR.UTF-8");
    qunsetenv("LANGUAGE");
    (void)QLocale::system();
    if (hadAll) qputenv("LC_ALL", all);
    else qunsetenv("LC_ALL");
    if (hadLanguage) qputenv("LANGUAGE", language);
}

bool installFrench()
{
    static QTranslator* installed = nullptr;
    if (installed) return true;
    if (!QCoreApplication::instance()) return false;
    auto* translator = new QTranslator(QCoreApplication::instance());
    if (!translator->load(QLocale(QLocale::French), QStringLiteral("qtbase"), QStringLiteral("_"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    QCoreApplication::installTranslator(translator);
    QCoreApplication::installTranslator(new MissingTexts(QCoreApplication::instance()));
    installed = translator;
    return true;
}

} // namespace tavrin::QtTranslations
