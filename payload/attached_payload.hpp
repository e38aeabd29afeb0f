// The payload linked into this image, first in its read-only data. Both
// symbols come from the object that the build assembles around the stored
// payload file (cmake/payload_object.cmake).
#pragma once

#include <stdint.h>

extern "C" {
extern const uint8_t tarvek_payload[];
extern const uint64_t tarvek_payload_length;
}
