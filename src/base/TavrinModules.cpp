#include "base/TavrinModules.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLibrary>

namespace tavrin::TavrinModules {

QStringList candidates(const QString& fileName)
{
    QStringList paths;
    const QString overridden = qEnvironmentVariable("TAVRIN_MODULE_DIR");
    if (!overridden.isEmpty()) paths.push_back(overridden + u'/' + fileName);
    const QString bin = QCoreApplication::applicationDirPath();
    paths.push_back(bin + u'/' + fileName);
    paths.push_back(QDir::cleanPath(bin + QStringLiteral("/../" TAVRIN_MODULE_DIR "/") + fileName));
    return paths;
}

QFunctionPointer resolve(const QString& fileName, const char* symbol, const QString& part, QString* error)
{
    for (const QString& path : candidates(fileName)) {
        if (!QFile::exists(path)) continue;
        QLibrary library(path);
        // A module's objects may outlive any one caller (static data, threads of its libraries).
        library.setLoadHints(QLibrary::PreventUnloadHint);
        if (!library.load()) break;
        if (const QFunctionPointer function = library.resolve(symbol)) return function;
        break;
    }
    if (error) *error = missingMessage(part, fileName);
    return nullptr;
}

QString missingMessage(const QString& part, const QString& fileName)
{
    return QStringLiteral("La partie « ") + part + QStringLiteral(" » de Tavrin est absente ou ne peut pas être chargée (")
           + fileName + QStringLiteral(") ; réinstallez Tavrin.");
}

} // namespace tavrin::TavrinModules
