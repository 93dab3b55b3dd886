// A ".tavrin" transfer file from a phone: any bytes decode or throw as the import reads them, and
// a package that decodes survives being written and read again; its rows merge into themselves.
#include "base/TavrinJSON.h"
#include "library/LibraryStore.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

using namespace tavrin;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    try {
        const TavrinTransferPackage package = transferPackageFromJson(TavrinJSON::decodeObject(bytes));
        const QByteArray written = encodeTransferPackage(package);
        const TavrinTransferPackage reread = transferPackageFromJson(TavrinJSON::decodeObject(written));
        if (!(reread == package) || encodeTransferPackage(reread) != written) std::abort();
        for (const SpreadsheetRecord& sheet : package.spreadsheets) LibraryStore::mergedRows(sheet.rows, sheet.rows);
    } catch (const Error&) {
    }
    return 0;
}
