// The payload linked into this image, first in its read-only data. Both
// symbols come from the data object that the launcher link writes around the
// stored payload file (tools/image/data_object.hpp); test programs get them
// from cmake/payload_object.cmake.
#pragma once

#include <stdint.h>

extern "C" {
extern const uint8_t tarvek_payload[];
extern const uint64_t tarvek_payload_length;
}
