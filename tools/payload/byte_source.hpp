// Where the bytes of a record's content (or of a raw piece of stream) come
// from. Every source knows its size before it is read, so the whole stream's
// size is known before compression starts.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

namespace tarvek {

struct byte_source {
    enum class kind {
        file,     // the bytes of `file`; `size` is its size when it was listed
        literal,  // the bytes of `literal`
        pattern,  // `size` bytes, byte i = i mod 251
        random,   // `size` bytes of splitmix64 output from `seed`, each value little-endian
    };
    kind type = kind::literal;
    std::filesystem::path file;
    std::string literal;
    uint64_t size = 0;
    uint64_t seed = 0;
};

byte_source file_source(const std::filesystem::path &file);
byte_source literal_source(std::string bytes);
byte_source pattern_source(uint64_t size);
byte_source random_source(uint64_t size, uint64_t seed);

uint64_t source_size(const byte_source &source);

// Hands the source's bytes to `sink` in pieces of at most `chunk` bytes.
// Throws tool_error when a file cannot be read or no longer has the size
// it had when it was listed.
void read_source(const byte_source &source, size_t chunk,
                 const std::function<void(std::string_view)> &sink);

} // namespace tarvek
