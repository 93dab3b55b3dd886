// The capture time of any bytes taken for the start of a photo file.
#include "rounds/CaptureTimes.h"

#include <cstddef>
#include <cstdint>

using namespace tavrin;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::optional<QDateTime> time = CaptureTimes::exifTime(QByteArrayView(reinterpret_cast<const char*>(data), qsizetype(size)));
    if (time && !time->isValid()) __builtin_trap();
    return 0;
}
