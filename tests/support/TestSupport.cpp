#include "TestSupport.h"

#include "base/AppSupport.h"
#include "base/UserDefaults.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <stdexcept>

namespace tavrin::test {

TempDataDir::TempDataDir()
{
    if (!m_dir.isValid()) throw std::runtime_error("no temporary folder");
    AppSupport::setDataDirectoryOverride(m_dir.path());
    UserDefaults::resetStandard();
}

TempDataDir::~TempDataDir()
{
    AppSupport::setDataDirectoryOverride(QString());
    UserDefaults::resetStandard();
}

QByteArray readFile(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return f.readAll();
}

void writeFile(const QString& path, const QByteArray& data)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) throw std::runtime_error("cannot write test file");
    f.write(data);
}

QString sourceDir() { return qEnvironmentVariable("TAVRIN_SOURCE_DIR", QStringLiteral(TAVRIN_SOURCE_DIR_DEFAULT)); }
QString binDir() { return qEnvironmentVariable("TAVRIN_BIN_DIR", QStringLiteral(TAVRIN_BIN_DIR_DEFAULT)); }
QString fixture(const QString& relativePath) { return sourceDir() + QStringLiteral("/tests/fixtures/") + relativePath; }

} // namespace tavrin::test
