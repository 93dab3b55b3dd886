// Zip listing and extraction of any bytes, then the worksheet lookup of a workbook.
#include "programme/ZipArchive.h"

#include <cstddef>
#include <cstdint>

using namespace tavrin;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArrayView bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    try {
        ZipArchive::Reader archive(bytes);
        for (const ZipArchive::Entry& entry : archive.entries()) {
            try {
                archive.extract(entry);
            } catch (const ZipError&) {
            }
        }
        ZipArchive::worksheets(bytes);
    } catch (const ZipError&) {
    }
    return 0;
}
