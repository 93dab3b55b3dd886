#pragma once

// Tavrin's loadable modules: the parts that need large libraries (the page engine, PDF text, the
// photo, print and network commands) are shared objects loaded the first time they are needed,
// so that starting a program never pays for them.

#include <QFunctionPointer>
#include <QString>
#include <QStringList>

namespace tavrin::TavrinModules {

// Where the module `fileName` may be, in order: $TAVRIN_MODULE_DIR (the test suite), beside the
// program (a build tree), Tavrin's library folder (installed).
QStringList candidates(const QString& fileName);

// Loads the module (once; it stays loaded) and returns its function `symbol`. On failure returns
// null and, when `error` is given, sets it to the French message naming `part`.
QFunctionPointer resolve(const QString& fileName, const char* symbol, const QString& part, QString* error = nullptr);

// "La partie « PART » de Tavrin est absente ou ne peut pas être chargée (FILE) ; réinstallez Tavrin."
QString missingMessage(const QString& part, const QString& fileName);

} // namespace tavrin::TavrinModules
