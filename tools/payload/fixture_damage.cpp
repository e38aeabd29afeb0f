#include "payload/fixture_damage.hpp"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "common/error.hpp"

namespace tarvek {

namespace {

// Applies `change` to `count` bytes of the file at `offset`.
template <typename Change>
void patch(const std::filesystem::path &stored, uint64_t offset, size_t count, Change change)
{
    const std::string name = stored.string();
    std::unique_ptr<FILE, int (*)(FILE *)> file(std::fopen(name.c_str(), "r+b"), std::fclose);
    std::string bytes(count, '\0');
    bool ok = file && std::fseek(file.get(), static_cast<long>(offset), SEEK_SET) == 0 &&
              std::fread(bytes.data(), 1, count, file.get()) == count;
    if (ok) {
        for (char &byte : bytes)
            byte = static_cast<char>(change(static_cast<unsigned char>(byte)));
        ok = std::fseek(file.get(), static_cast<long>(offset), SEEK_SET) == 0 &&
             std::fwrite(bytes.data(), 1, count, file.get()) == count && std::fflush(file.get()) == 0;
    }
    if (!ok)
        throw tool_error("cannot change '" + name + "': " + std::strerror(errno));
}

} // namespace

void patch_window_descriptor(const std::filesystem::path &stored, const payload_layout &layout,
                             unsigned exponent, unsigned mantissa)
{
    if (exponent > 31 || mantissa > 7)
        throw tool_error("a window descriptor has an exponent of 0..31 and a mantissa of 0..7");
    // Frame magic (4 bytes), frame header descriptor, then the window descriptor:
    // the writer's frames are never single-segment, so it is always there.
    patch(stored, layout.frame_offset + 5, 1,
          [&](unsigned) { return exponent << 3 | mantissa; });
}

void corrupt_checksum(const std::filesystem::path &stored, const payload_layout &layout)
{
    patch(stored, layout.frame_offset + layout.frame_size - 4, 4,
          [](unsigned byte) { return byte ^ 0xFF; });
}

void damage_magic(const std::filesystem::path &stored, unsigned index)
{
    if (index > 2)
        throw tool_error("the magic has bytes 0, 1 and 2");
    patch(stored, index, 1, [](unsigned byte) { return byte ^ 0x20; });
}

void damage_after_block(const std::filesystem::path &stored, const payload_layout &layout, size_t block)
{
    if (block == 0 || block > layout.block_ends.size())
        throw tool_error("there is no block end " + std::to_string(block) + " (the payload has " +
                            std::to_string(layout.block_ends.size()) + ")");
    uint64_t from = layout.block_ends[block - 1];
    uint64_t frame_end = layout.frame_offset + layout.frame_size;
    if (from < frame_end)
        patch(stored, from, static_cast<size_t>(frame_end - from), [](unsigned) { return 0xFF; });
}

} // namespace tarvek
