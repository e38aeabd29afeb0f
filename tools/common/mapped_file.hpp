// A whole file mapped read-only: launchers and libraries are read in place,
// however large.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>

namespace tarvek {

class mapped_file {
public:
    // Throws tool_error naming the file when it cannot be opened or mapped.
    explicit mapped_file(const std::filesystem::path &path);
    ~mapped_file();
    mapped_file(const mapped_file &) = delete;
    mapped_file &operator=(const mapped_file &) = delete;

    std::span<const uint8_t> bytes() const { return {data_, size_}; }

private:
    const uint8_t *data_ = nullptr;
    size_t size_ = 0;
};

} // namespace tarvek
