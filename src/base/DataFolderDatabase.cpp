#include "base/DataFolderDatabase.h"


namespace tavrin::DataFolderDatabase {

namespace {

// Identifiers are stored as workspace.json writes them (upper case, no braces); paths as the
// stores hold them (absolute for the photographer's folders, relative to the data folder or to
// the reception folder for what lives there), so that a data folder carried to another machine
// keeps its meaning. Times are nanoseconds since the epoch (file times) or ISO 8601 UTC text.
// Amounts are integer cents.
const char* const kSchema1 = R"SQL(
-- Organiser: every photo a run copied, or found already copied, into a rider folder (one row per
-- copy), so that the next run knows it is there without reading it. `position` keeps the order
-- of the row's copies. workspace.json keeps per row the file names and range label.
CREATE TABLE remembered_copies (
    spreadsheet TEXT NOT NULL,
    row TEXT NOT NULL,
    position INTEGER NOT NULL,
    source TEXT NOT NULL,
    size INTEGER NOT NULL,
    modified_ns INTEGER NOT NULL,
    target TEXT NOT NULL,
    made INTEGER NOT NULL DEFAULT 0 CHECK (made IN (0, 1)),
    PRIMARY KEY (spreadsheet, row, position)
) WITHOUT ROWID;
CREATE INDEX remembered_copies_by_source ON remembered_copies (spreadsheet, source);
CREATE INDEX remembered_copies_by_target ON remembered_copies (spreadsheet, target);

-- Reception: every file received (camera over FTP or card), kept in the reception folder.
-- `path` is relative to that folder. `xxh3` is the XXH3-64 of the bytes as a signed 64-bit
-- integer, NULL until read; the verified backup and the card import look photos up by it.
-- `captured_at` is the camera's local time (EXIF original date and sub-seconds), else NULL.
CREATE TABLE received_photos (
    id INTEGER PRIMARY KEY,
    path TEXT NOT NULL UNIQUE,
    size INTEGER NOT NULL,
    modified_ns INTEGER NOT NULL,
    xxh3 INTEGER,
    origin TEXT NOT NULL,
    received_at TEXT NOT NULL,
    captured_at TEXT,
    spreadsheet TEXT,
    class_copy TEXT,
    backed_up_at TEXT
);
CREATE INDEX received_photos_by_hash ON received_photos (xxh3);
CREATE INDEX received_photos_by_capture ON received_photos (captured_at);

-- Sales: each order's bill as it stood when paid, and its payments. `order_folder` is the
-- order's folder relative to Orders/ (what Orders/settings.json keys by today). The price list
-- stays in Orders/settings.json. A bill line is the cost of one section of the order (`count`
-- files, `detail` as the receipt prints it), kept as sold whatever the list says later. A payment
-- is never changed or deleted: taking one back is a new row that names it in `cancels`, which
-- keeps the till's history whole and every correction undoable. `cents` is the order's total
-- when it was paid, so that photos added afterwards show as still to pay.
CREATE TABLE order_lines (
    order_folder TEXT NOT NULL,
    line INTEGER NOT NULL,
    section TEXT NOT NULL,
    count INTEGER NOT NULL CHECK (count >= 0),
    cents INTEGER NOT NULL CHECK (cents >= 0),
    priced INTEGER NOT NULL CHECK (priced IN (0, 1)),
    detail TEXT NOT NULL,
    PRIMARY KEY (order_folder, line)
) WITHOUT ROWID;
CREATE TABLE payments (
    id INTEGER PRIMARY KEY,
    order_folder TEXT NOT NULL,
    means TEXT NOT NULL CHECK (means IN ('cash', 'card', 'transfer')),
    paid_at TEXT NOT NULL,
    cents INTEGER NOT NULL,
    cancels INTEGER REFERENCES payments (id)
);
CREATE INDEX payments_by_order ON payments (order_folder);
CREATE INDEX payments_by_time ON payments (paid_at);
)SQL";

} // namespace

const QList<Database::Migration>& migrations()
{
    static const QList<Database::Migration> steps{
        {1, [](Database& db) { db.execute(kSchema1); }},
    };
    return steps;
}

std::unique_ptr<Database> open(const QString& dataFolder)
{
    auto db = std::make_unique<Database>(dataFolder + u'/' + fileName);
    db->migrate(migrations());
    return db;
}

} // namespace tavrin::DataFolderDatabase
