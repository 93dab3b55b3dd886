#pragma once

#include <QSettings>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

namespace tavrin {

// The user-defaults store: one INI file shared by the application and tavrin-cli, with the key
// names the phones' companion apps use ("tavrin.appearance", "macWorkspaceSection", …).
class UserDefaults {
public:
    explicit UserDefaults(const QString& iniPath);

    // The store of the current data folder (AppSupport::defaultsFile()).
    static UserDefaults& standard();
    // Forgets the standard store so the next call opens the current data folder's file.
    static void resetStandard();

    std::optional<QString> string(const QString& key) const;
    void setString(const QString& key, const QString& value);
    QStringList stringList(const QString& key) const;
    void setStringList(const QString& key, const QStringList& value);
    std::optional<bool> boolValue(const QString& key) const;
    void setBool(const QString& key, bool value);
    bool contains(const QString& key) const;
    void remove(const QString& key);
    void synchronize();

    const QString& path() const { return m_path; }

private:
    QString m_path;
    std::unique_ptr<QSettings> m_settings;
};

} // namespace tavrin
