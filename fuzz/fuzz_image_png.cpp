// The image reader on png input.
#include "fuzz_image_common.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return FuzzImage(data, size, reinterpret_cast<const uint8_t*>("\x89PNG\r\n\x1A\n"), 8, nullptr);
}
