#pragma once

#include <QObject>
#include <QStringList>

namespace tavrin {

// What the user must be told about the data files, once: a file that could not be read and was
// set aside. The window shows these in its banner, tavrin-cli on standard error. Notices posted
// before anyone listens wait until taken.
class DataFileNotices : public QObject {
    Q_OBJECT

public:
    static DataFileNotices& instance();

    void post(const QString& message);
    // The notices not yet taken, oldest first; each is given out once.
    QStringList takePending();

    // `original` was renamed to `target`; `tooLarge` when it was not even read.
    static QString setAsideMessage(const QString& original, const QString& target, bool tooLarge);
    // `path` could not be written; the store still holds its changes and writes them next time.
    static QString notSavedMessage(const QString& path);

Q_SIGNALS:
    void posted();

private:
    QStringList m_pending;
};

} // namespace tavrin
