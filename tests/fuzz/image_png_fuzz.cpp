// Fuzz entry point for the PNG decoder.
#include "image_fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return zel::fuzz::FuzzPicture(data, size, u"fuzz.png");
}
