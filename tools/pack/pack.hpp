// Packing an application folder into one launcher.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace tarvek {

struct pack_request {
    std::filesystem::path application;
    std::filesystem::path output;
    // Unset: the product is the output's file name without ".exe", the
    // company the product, the internal name the product.
    std::optional<std::string> company;
    std::optional<std::string> product;
    std::optional<std::string> internal_name;
    // Unset: FileDescription is the internal name plus ".exe".
    std::optional<std::string> description;
    std::array<uint16_t, 4> version = {0, 0, 0, 0};
    // Set: the folder holds an ordinary program, this one (relative to the
    // folder), which the packer's main library (the adapter library)
    // starts; the folder holds no main.dll then.
    std::optional<std::string> run_program;
    // A console launcher instead of a windowed one.
    bool console = false;
    std::vector<std::filesystem::path> icons;
    int level = 0; // 0: default_level
    unsigned threads = 0; // 0: one per processor
    unsigned window_log = 0; // 0: the smallest window that holds the stream
    bool checksum = true;
    bool quiet = false;
    bool progress = false;
};

// Where a pack spends its time and what it gives; see the level table in
// the README.
constexpr int default_level = 19;
constexpr int lowest_level_allowed = 1, highest_level_allowed = 19;
inline constexpr const char *highest_level_reason =
    "Zstandard's levels 20 to 22 (its --ultra) take several times the memory to pack";
// Zstandard's most compression workers on a 64-bit system.
constexpr unsigned most_threads_allowed = 256;
inline constexpr const char *most_threads_reason = "Zstandard's most compression workers";

struct pack_result {
    uint64_t files = 0;
    uint64_t input_bytes = 0;
    uint64_t output_bytes = 0;
    double seconds = 0;
};

// Checks the whole input first, then writes the launcher. Throws tool_error
// (nothing is left at the output) or interrupted_error.
pack_result pack_application(const pack_request &request, std::vector<std::string> &warnings);

} // namespace tarvek
