// Rewrites library.json as fast as it can until killed: the victim of the crash-safety test.
// With "journal", it saves as the window does on a large library, appending each edit to the
// journal, and prints the number of every edit once it is saved.
#include "library/LibraryStore.h"

#include <QCoreApplication>

#include <cstdio>

using namespace tavrin;

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const bool journal = argc > 1 && qstrcmp(argv[1], "journal") == 0;
    if (journal) LibraryStore::setJournalFromSize(0);
    LibraryStore store;
    if (journal) store.followDiskChanges();
    if (store.snapshot().spreadsheets.isEmpty()) return 1;
    const QUuid sheetID = store.snapshot().spreadsheets.first().id;
    QList<RowRecord> rows = store.snapshot().spreadsheet(sheetID)->rows;
    // The filled rows only: their number stays the same from one run to the next.
    if (journal) rows.removeIf([](const RowRecord& r) { return r.isBlank(); });
    for (qint64 n = 0;; ++n) {
        const RowRecord& row = rows[n % rows.size()];
        store.updateRow(sheetID, row.id, QString::number(n), QString::number(n * 7));
        if (journal) {
            std::printf("%lld\n", static_cast<long long>(n));
            std::fflush(stdout);
        }
    }
}
