// The image reader on jpeg input.
#include "fuzz_image_common.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return FuzzImage(data, size, reinterpret_cast<const uint8_t*>("\xFF"), 1, nullptr);
}
