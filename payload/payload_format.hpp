// The attached payload as stored in the launcher's read-only data:
//
//   "JWX" | one Zstandard frame | 0-7 zero bytes | u64le length of all before it
//
// The frame decompresses to entry records, each a UTF-16LE name with its
// zero terminator, a u64le size and that many content bytes, ended by an
// empty name. The first record is the main library.
#pragma once

#include <stddef.h>
#include <stdint.h>

inline constexpr uint8_t payload_magic[3] = {'J', 'W', 'X'};
constexpr size_t payload_magic_size = sizeof payload_magic;
// The length field, and the alignment of the whole payload.
constexpr size_t payload_length_field_size = 8;
// Largest window the launcher's decompressor accepts: 2^27 bytes.
constexpr unsigned payload_max_window_log = 27;
// Longest entry name in UTF-16 units, without its terminator.
constexpr size_t entry_name_max_units = 1023;
// After each name: the u64le size of the entry's content.
constexpr size_t entry_size_field_size = 8;
