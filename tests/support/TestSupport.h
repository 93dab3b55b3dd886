#pragma once

// Helpers shared by the test suites: a throwaway data folder and file utilities.

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

namespace tavrin::test {

// Points AppSupport and the user defaults at a fresh temporary folder for the life of the object.
class TempDataDir {
public:
    TempDataDir();
    ~TempDataDir();
    QString path() const { return m_dir.path(); }
    QString file(const QString& name) const { return m_dir.filePath(name); }

private:
    QTemporaryDir m_dir;
};

QByteArray readFile(const QString& path);
void writeFile(const QString& path, const QByteArray& data);
// The source tree (for fixtures) and the folder of the built programs.
QString sourceDir();
QString binDir();
QString fixture(const QString& relativePath);

} // namespace tavrin::test
