// Rewrites library.json as fast as it can until killed: the victim of the crash-safety test.
#include "library/LibraryStore.h"

#include <QCoreApplication>

using namespace tavrin;

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    LibraryStore store;
    if (store.snapshot().spreadsheets.isEmpty()) return 1;
    const QUuid sheetID = store.snapshot().spreadsheets.first().id;
    const QList<RowRecord> rows = store.snapshot().spreadsheet(sheetID)->rows;
    for (qint64 n = 0;; ++n) {
        const RowRecord& row = rows[n % rows.size()];
        store.updateRow(sheetID, row.id, QString::number(n), QString::number(n * 7));
    }
}
