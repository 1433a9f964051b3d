// The image reader on pcx input (manufacturer 10, version at most 5).
#include "fuzz_image_common.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    uint8_t signature[2] = {0x0A, uint8_t(size > 1 ? data[1] % 6 : 5)};
    return FuzzImage(data, size, signature, 2, nullptr);
}
