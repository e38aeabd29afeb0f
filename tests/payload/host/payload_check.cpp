// An independent reader of stored payloads for the writer's tests. It shares
// no code with the writer: it walks the Zstandard frame by its block headers
// (RFC 8878) to find where the frame ends, and leaves the decompression
// itself to the zstd command.
//
//   payload_check layout STORED FRAME_OUT   check the stored layout, copy the
//                                           frame out, print its header fields
//   payload_check unpack STREAM DIR         write the records of a decompressed
//                                           stream below DIR, print their names
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <stdexcept>
#include <string>

namespace {

constexpr const char *usage =
    "usage: payload_check layout STORED FRAME_OUT\n"
    "         check the stored layout (magic, frame end, zero padding, length field),\n"
    "         write the frame to FRAME_OUT, print its header fields as \"key value\" lines\n"
    "       payload_check unpack STREAM DIR\n"
    "         write the records of a decompressed stream below DIR, print their names\n";

std::string read_all(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + path);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

uint64_t le(const std::string &bytes, size_t at, size_t count)
{
    if (at + count > bytes.size())
        throw std::runtime_error("truncated at offset " + std::to_string(at));
    uint64_t value = 0;
    for (size_t i = count; i > 0; --i)
        value = value << 8 | static_cast<unsigned char>(bytes[at + i - 1]);
    return value;
}

int layout(const std::string &stored_path, const std::string &frame_path)
{
    const std::string stored = read_all(stored_path);
    if (stored.compare(0, 3, "JWX") != 0)
        throw std::runtime_error("no JWX magic");
    if (stored.size() % 8 != 0 || stored.size() < 16)
        throw std::runtime_error("total length " + std::to_string(stored.size()) + " is no multiple of 8");
    const uint64_t length_field = le(stored, stored.size() - 8, 8);
    if (length_field != stored.size() - 8)
        throw std::runtime_error("length field " + std::to_string(length_field) + " does not count the bytes before it");

    size_t at = 3;
    if (le(stored, at, 4) != 0xFD2FB528u)
        throw std::runtime_error("no Zstandard frame after the magic");
    const unsigned descriptor = static_cast<unsigned char>(stored[at + 4]);
    const unsigned content_size_flag = descriptor >> 6, single_segment = descriptor >> 5 & 1;
    const unsigned checksum = descriptor >> 2 & 1, dictionary_flag = descriptor & 3;
    if (descriptor & 0x08)
        throw std::runtime_error("reserved bit set in the frame header");
    at += 5;
    unsigned window_byte = 0;
    if (!single_segment)
        window_byte = static_cast<unsigned char>(stored[at++]);
    constexpr size_t dictionary_bytes[] = {0, 1, 2, 4};
    const size_t content_size_bytes[] = {single_segment ? 1u : 0u, 2, 4, 8};
    at += dictionary_bytes[dictionary_flag] + content_size_bytes[content_size_flag];
    unsigned blocks = 0;
    for (bool last = false; !last; ++blocks) {
        const uint64_t header = le(stored, at, 3);
        last = header & 1;
        const unsigned type = header >> 1 & 3;
        const uint64_t size = header >> 3;
        if (type == 3)
            throw std::runtime_error("reserved block type");
        at += 3 + (type == 1 ? 1 : size);
    }
    at += checksum ? 4 : 0;
    const uint64_t frame_size = at - 3;
    const uint64_t padding = length_field - at;
    if (at > length_field || padding > 7)
        throw std::runtime_error("frame end " + std::to_string(at) + " and length field " +
                                 std::to_string(length_field) + " leave no valid padding");
    for (uint64_t i = at; i < length_field; ++i)
        if (stored[i] != 0)
            throw std::runtime_error("padding byte " + std::to_string(i) + " is not zero");

    std::ofstream(frame_path, std::ios::binary) << stored.substr(3, frame_size);
    std::cout << "content_size_flag " << content_size_flag << "\nsingle_segment " << single_segment
              << "\nchecksum " << checksum << "\ndictionary_flag " << dictionary_flag << "\nwindow_exponent "
              << (window_byte >> 3) << "\nwindow_mantissa " << (window_byte & 7) << "\nblocks " << blocks
              << "\nframe_size " << frame_size << "\npadding " << padding << "\n";
    return 0;
}

void append_utf8(std::string &out, uint32_t c)
{
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | c >> 6);
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | c >> 12);
        out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | c >> 18);
        out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
        out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// One record name as a relative host path: backslashes become '/', and
// anything that could leave DIR is refused.
std::string host_name(const std::string &stream, size_t &at)
{
    std::string name;
    for (;;) {
        uint32_t unit = static_cast<uint32_t>(le(stream, at, 2));
        at += 2;
        if (unit == 0)
            return name;
        if (unit >= 0xD800 && unit < 0xDC00) {
            uint32_t low = static_cast<uint32_t>(le(stream, at, 2));
            at += 2;
            if (low < 0xDC00 || low > 0xDFFF)
                throw std::runtime_error("unpaired surrogate in a name");
            unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
        } else if (unit >= 0xDC00 && unit <= 0xDFFF) {
            throw std::runtime_error("unpaired surrogate in a name");
        }
        if (unit == '/')
            throw std::runtime_error("'/' in a name");
        append_utf8(name, unit == '\\' ? '/' : unit);
    }
}

int unpack(const std::string &stream_path, const std::string &directory)
{
    const std::string stream = read_all(stream_path);
    size_t at = 0;
    for (;;) {
        std::string name = host_name(stream, at);
        if (name.empty())
            break;
        std::filesystem::path relative(name);
        for (const auto &part : relative)
            if (part == ".." || part == "." || relative.is_absolute())
                throw std::runtime_error("name leaves the folder: " + name);
        const uint64_t size = le(stream, at, 8);
        at += 8;
        if (size > stream.size() - at)
            throw std::runtime_error("content of " + name + " runs past the stream");
        std::filesystem::path target = std::filesystem::path(directory) / relative;
        std::filesystem::create_directories(target.parent_path());
        std::ofstream(target, std::ios::binary) << stream.substr(at, size);
        at += size;
        std::cout << name << "\n";
    }
    if (at != stream.size())
        throw std::runtime_error(std::to_string(stream.size() - at) + " bytes after the end marker");
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    try {
        std::string mode = argc > 1 ? argv[1] : "";
        if (mode == "-h" || mode == "--help") {
            std::cout << usage;
            return 0;
        }
        if (argc == 4 && mode == "layout")
            return layout(argv[2], argv[3]);
        if (argc == 4 && mode == "unpack")
            return unpack(argv[2], argv[3]);
        std::cerr << usage;
        return 2;
    } catch (const std::exception &error) {
        std::cerr << "payload_check: " << error.what() << "\n";
        return 1;
    }
}
