#include "fixture_damage.hpp"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
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

void patch_window_descriptor(const std::filesystem::path &stored, const fixture_layout &layout,
                             unsigned exponent, unsigned mantissa)
{
    if (exponent > 31 || mantissa > 7)
        throw tool_error("a window descriptor has an exponent of 0..31 and a mantissa of 0..7");
    // Frame magic (4 bytes), frame header descriptor, then the window descriptor:
    // the writer's frames are never single-segment, so it is always there.
    patch(stored, layout.stored.frame_offset + 5, 1,
          [&](unsigned) { return exponent << 3 | mantissa; });
}

void corrupt_checksum(const std::filesystem::path &stored, const fixture_layout &layout)
{
    patch(stored, layout.stored.frame_offset + layout.stored.frame_size - 4, 4,
          [](unsigned byte) { return byte ^ 0xFF; });
}

void damage_magic(const std::filesystem::path &stored, unsigned index)
{
    if (index >= payload_magic_size)
        throw tool_error("the magic has bytes 0 to " + std::to_string(payload_magic_size - 1));
    patch(stored, index, 1, [](unsigned byte) { return byte ^ 0x20; });
}

void damage_after_block(const std::filesystem::path &stored, const fixture_layout &layout, size_t block)
{
    if (block == 0 || block > layout.block_ends.size())
        throw tool_error("there is no block end " + std::to_string(block) + " (the payload has " +
                            std::to_string(layout.block_ends.size()) + ")");
    uint64_t from = layout.block_ends[block - 1];
    uint64_t frame_end = layout.stored.frame_offset + layout.stored.frame_size;
    if (from < frame_end)
        patch(stored, from, static_cast<size_t>(frame_end - from), [](unsigned) { return 0xFF; });
}

void insert_skippable_frame(const std::filesystem::path &stored, fixture_layout &layout, uint32_t size)
{
    constexpr uint32_t skippable_frame_magic = 0x184D2A50;
    std::ifstream in(stored, std::ios::binary);
    const std::string old(std::istreambuf_iterator<char>(in), {});
    if (!in && !in.eof())
        throw tool_error("cannot read '" + stored.string() + "'");
    std::string bytes = old.substr(0, payload_magic_size);
    for (uint32_t value : {skippable_frame_magic, size})
        for (int i = 0; i < 4; ++i)
            bytes += static_cast<char>(value >> (8 * i));
    for (uint32_t i = 0; i < size; ++i)
        bytes += static_cast<char>(i % 251);
    const uint64_t shift = bytes.size() - layout.stored.frame_offset;
    layout.stored.frame_offset = bytes.size();
    for (uint64_t &end : layout.block_ends)
        end += shift;
    bytes += old.substr(payload_magic_size, layout.stored.frame_size);
    layout.stored.padding = (payload_length_field_size - bytes.size() % payload_length_field_size) %
                            payload_length_field_size;
    bytes.append(layout.stored.padding, '\0');
    layout.stored.length_field = bytes.size();
    for (size_t i = 0; i < payload_length_field_size; ++i)
        bytes += static_cast<char>(layout.stored.length_field >> (8 * i));
    layout.stored.total = bytes.size();
    std::ofstream out(stored, std::ios::binary | std::ios::trunc);
    out << bytes;
    out.close();
    if (!out)
        throw tool_error("cannot write '" + stored.string() + "'");
}

} // namespace tarvek
