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
    std::array<uint16_t, 4> version = {0, 0, 0, 0};
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
