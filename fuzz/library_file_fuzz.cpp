// library.json and ui-state.json as found in a data folder: any bytes decode or throw, and what
// decodes is written back, read again and written again to the same bytes (a store rewrites the
// file at its first edit, so a lossy round trip would lose notes). The merge of a phone's library
// runs on the decoded records too.
#include "base/PersistedUIState.h"
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
        const LibrarySnapshot library = decodeLibrary(bytes);
        const QByteArray written = encodeLibrary(library);
        const LibrarySnapshot reread = decodeLibrary(written);
        if (!(reread == library) || encodeLibrary(reread) != written) std::abort();
        const LibrarySnapshot merged = LibraryStore::merged(LibrarySnapshot::empty(), library);
        LibraryStore::merged(merged, library);
        for (const DayRecord& day : library.sortedDays()) library.spreadsheetsIn(day.id);
    } catch (const Error&) {
    }
    try {
        const PersistedUIState state = persistedUIStateFromJson(TavrinJSON::decodeObject(bytes));
        if (!(persistedUIStateFromJson(TavrinJSON::decodeObject(TavrinJSON::encode(toJson(state)))) == state)) std::abort();
    } catch (const Error&) {
    }
    return 0;
}
