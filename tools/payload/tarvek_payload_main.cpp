// tarvek-payload: writes a stored payload from an application folder, or
// from records given one by one on the command line (test fixtures).
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "fixture_damage.hpp"
#include "folder_items.hpp"
#include "payload_error.hpp"
#include "payload_writer.hpp"
#include "utf16_text.hpp"

namespace {

constexpr const char *usage_text = R"(usage: tarvek-payload [OPTIONS] -o OUTPUT

Writes the stored payload that a Tarvek Onefile launcher carries: "JWX", one
Zstandard frame (no content size, checksum or dictionary ID), zero padding
to a multiple of 8, and the number of bytes before it as u64le. The frame
holds the records (UTF-16LE name with a zero unit, u64le size, content) and
the end marker.

Output:
  -o, --output PATH       the stored payload (required)
  --stream-copy PATH      also write the decompressed stream to PATH
  --print-layout          print "key value" lines: stream_size, window_log,
                          frame_offset, frame_size, padding, total, and one
                          block_end line per --end-block
  -h, --help              this text

Application:
  --dir DIR               a record for every regular file below DIR, named by
                          its relative path with backslashes: main.dll (at the
                          top level, required) first, the others in the order
                          of their UTF-16 names. Empty folders are not stored.
  --allow-empty           accept a payload without any record

Frame:
  --window-log N          a window of 2^N bytes, N in 10..27 (default: the
                          smallest power of two that holds the whole
                          decompressed stream, at least 2^10, at most 2^27)
  --level N               compression level, 1..19 (default 3)

Records and pieces given one by one, written after those of --dir, in the
order given and without any check (for test fixtures). Each of these starts
an item and is followed by exactly one content option:
  --name TEXT             a record named TEXT (UTF-8), stored as it stands: a
                          '/' stays a '/'
  --long-name N[,W[,C]]   a record whose name has N units: the letter C
                          (default n) repeated, with a backslash after each
                          run of W letters (default 200) as long as more than
                          W+1 units are left; W >= N gives one component
  --raw                   bytes in the stream outside any record (no name and
                          no size)
  --end-block             (no item, no content) end the current compressed
                          block here
Content:
  --file PATH             the bytes of PATH
  --text TEXT             the UTF-8 bytes of TEXT
  --hex HEX               the bytes written as pairs of hex digits
  --pattern N             N bytes; byte i is i mod 251
  --random N[,SEED]       N bytes from splitmix64 seeded with SEED (default 1),
                          each 64-bit value little-endian
  --empty                 no bytes

Damage (for test fixtures):
  --checksum              give the frame a content checksum
  --corrupt-checksum      give it one and invert its four bytes
  --patch-window E,M      rewrite the window descriptor: exponent E, mantissa
                          M; the window becomes 2^(10+E) + M * 2^(7+E)
                          (17,1 declares 2^27 + 2^24)
  --no-end-marker         leave the end marker out
  --bad-magic I           swap the case of magic byte I (0, 1 or 2)
  --skippable-frame N     a skippable frame with N bytes between the magic and
                          the frame
  --damage-after-block K  overwrite the frame with 0xFF from the K-th
                          --end-block to its end

Exit status: 0 when the payload was written, 1 when it could not be, 2 for a
command line that is not understood.
)";

struct usage_error {
    std::string message;
};

struct settings {
    bool help = false;
    std::string output;
    std::optional<std::string> folder;
    bool allow_empty = false;
    bool print_layout = false;
    tarvek::payload_options options;
    std::vector<tarvek::stream_item> items;
    std::optional<std::pair<unsigned, unsigned>> window_patch;
    bool corrupt_checksum = false;
    std::optional<unsigned> bad_magic;
    std::optional<size_t> damage_after_block;
};

uint64_t parse_number(std::string_view text, const std::string &option)
{
    if (text.empty() || text.size() > 19 || text.find_first_not_of("0123456789") != std::string_view::npos)
        throw usage_error{option + " wants a decimal number, not '" + std::string(text) + "'"};
    return std::stoull(std::string(text));
}

// "A,B,C" split at commas into at most `most` decimal numbers.
std::vector<uint64_t> parse_numbers(const std::string &text, const std::string &option, size_t most)
{
    std::vector<uint64_t> numbers;
    size_t start = 0;
    for (;;) {
        size_t comma = text.find(',', start);
        numbers.push_back(parse_number(std::string_view(text).substr(start, comma - start), option));
        if (comma == std::string::npos)
            break;
        start = comma + 1;
    }
    if (numbers.size() > most)
        throw usage_error{option + " takes at most " + std::to_string(most) + " numbers"};
    return numbers;
}

std::string parse_hex(const std::string &text)
{
    auto digit = [&](char c) {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        throw usage_error{"--hex wants pairs of hex digits, not '" + text + "'"};
    };
    if (text.size() % 2 != 0)
        throw usage_error{"--hex wants pairs of hex digits, not '" + text + "'"};
    std::string bytes;
    for (size_t i = 0; i < text.size(); i += 2)
        bytes.push_back(static_cast<char>(digit(text[i]) << 4 | digit(text[i + 1])));
    return bytes;
}

std::u16string long_name(const std::string &text)
{
    size_t comma = text.find(',');
    size_t second = comma == std::string::npos ? comma : text.find(',', comma + 1);
    char16_t letter = u'n';
    std::string numbers = text;
    if (second != std::string::npos) {
        std::string tail = text.substr(second + 1);
        if (tail.size() != 1 || !std::isalpha(static_cast<unsigned char>(tail[0])))
            throw usage_error{"--long-name wants an ASCII letter as C, not '" + tail + "'"};
        letter = static_cast<char16_t>(tail[0]);
        numbers = text.substr(0, second);
    }
    std::vector<uint64_t> values = parse_numbers(numbers, "--long-name", 2);
    uint64_t units = values[0];
    uint64_t width = values.size() > 1 ? values[1] : 200;
    if (units == 0 || units > 65536 || width == 0)
        throw usage_error{"--long-name wants N in 1..65536 and W of at least 1"};
    std::u16string name;
    while (units - name.size() > width + 1) {
        name.append(width, letter);
        name += u'\\';
    }
    name.append(units - name.size(), letter);
    return name;
}

std::u16string name_text(const std::string &text)
{
    try {
        return tarvek::utf8_to_utf16(text);
    } catch (const tarvek::payload_error &error) {
        throw usage_error{std::string("--name: ") + error.what()};
    }
}

class argument_list {
public:
    argument_list(int argc, char **argv) : arguments_(argv + 1, argv + argc) {}
    bool done() const { return next_ == arguments_.size(); }
    std::string take() { return arguments_[next_++]; }
    std::string value(const std::string &option)
    {
        if (done())
            throw usage_error{option + " wants a value"};
        return take();
    }

private:
    std::vector<std::string> arguments_;
    size_t next_ = 0;
};

// A content option for the item that the previous option started.
std::optional<tarvek::byte_source> content_option(const std::string &option, argument_list &arguments)
{
    using namespace tarvek;
    if (option == "--file")
        return file_source(arguments.value(option));
    if (option == "--text")
        return literal_source(arguments.value(option));
    if (option == "--hex")
        return literal_source(parse_hex(arguments.value(option)));
    if (option == "--pattern")
        return pattern_source(parse_number(arguments.value(option), option));
    if (option == "--random") {
        std::vector<uint64_t> values = parse_numbers(arguments.value(option), option, 2);
        return random_source(values[0], values.size() > 1 ? values[1] : 1);
    }
    if (option == "--empty")
        return literal_source("");
    return std::nullopt;
}

// Options of the frame and of damage; false when `option` is none of them.
bool frame_option(const std::string &option, argument_list &arguments, settings &s)
{
    if (option == "--window-log") {
        s.options.window_log = static_cast<unsigned>(parse_number(arguments.value(option), option));
        if (s.options.window_log < tarvek::smallest_window_log_allowed ||
            s.options.window_log > tarvek::largest_window_log_allowed)
            throw usage_error{"--window-log wants 10..27: the launcher refuses windows above 2^27"};
    } else if (option == "--level") {
        uint64_t level = parse_number(arguments.value(option), option);
        if (level < 1 || level > 19)
            throw usage_error{"--level wants 1..19"};
        s.options.level = static_cast<int>(level);
    } else if (option == "--checksum") {
        s.options.checksum = true;
    } else if (option == "--corrupt-checksum") {
        s.options.checksum = true;
        s.corrupt_checksum = true;
    } else if (option == "--patch-window") {
        std::vector<uint64_t> values = parse_numbers(arguments.value(option), option, 2);
        if (values.size() != 2 || values[0] > 31 || values[1] > 7)
            throw usage_error{"--patch-window wants E,M with E in 0..31 and M in 0..7"};
        s.window_patch = {static_cast<unsigned>(values[0]), static_cast<unsigned>(values[1])};
    } else if (option == "--no-end-marker") {
        s.options.end_marker = false;
    } else if (option == "--bad-magic") {
        uint64_t index = parse_number(arguments.value(option), option);
        if (index > 2)
            throw usage_error{"--bad-magic wants 0, 1 or 2"};
        s.bad_magic = static_cast<unsigned>(index);
    } else if (option == "--skippable-frame") {
        uint64_t size = parse_number(arguments.value(option), option);
        if (size == 0 || size > 0xFFFFFFFFu)
            throw usage_error{"--skippable-frame wants 1..4294967295 bytes"};
        s.options.skippable_frame_size = static_cast<uint32_t>(size);
    } else if (option == "--damage-after-block") {
        s.damage_after_block = static_cast<size_t>(parse_number(arguments.value(option), option));
    } else {
        return false;
    }
    return true;
}

settings parse(int argc, char **argv)
{
    settings s;
    argument_list arguments(argc, argv);
    std::optional<tarvek::stream_item> pending; // started, waiting for its content
    while (!arguments.done()) {
        std::string option = arguments.take();
        if (std::optional<tarvek::byte_source> content = content_option(option, arguments)) {
            if (!pending)
                throw usage_error{option + " must follow --name, --long-name or --raw"};
            pending->content = std::move(*content);
            s.items.push_back(std::move(*pending));
            pending.reset();
            continue;
        }
        if (option == "-h" || option == "--help") {
            s.help = true;
            return s;
        }
        if (pending)
            throw usage_error{"the item started before " + option + " has no content option"};
        if (option == "-o" || option == "--output") {
            s.output = arguments.value(option);
        } else if (option == "--stream-copy") {
            s.options.stream_copy = arguments.value(option);
        } else if (option == "--print-layout") {
            s.print_layout = true;
        } else if (option == "--dir") {
            if (s.folder)
                throw usage_error{"--dir can be given once"};
            s.folder = arguments.value(option);
        } else if (option == "--allow-empty") {
            s.allow_empty = true;
        } else if (option == "--name") {
            pending = tarvek::stream_item{tarvek::stream_item::kind::record, name_text(arguments.value(option)), {}};
        } else if (option == "--long-name") {
            pending = tarvek::stream_item{tarvek::stream_item::kind::record, long_name(arguments.value(option)), {}};
        } else if (option == "--raw") {
            pending = tarvek::stream_item{tarvek::stream_item::kind::raw, {}, {}};
        } else if (option == "--end-block") {
            s.items.push_back({tarvek::stream_item::kind::block_end, {}, {}});
        } else if (!frame_option(option, arguments, s)) {
            throw usage_error{"unknown option '" + option + "'"};
        }
    }
    if (pending)
        throw usage_error{"the last item has no content option"};
    if (s.output.empty())
        throw usage_error{"no output: give -o PATH"};
    return s;
}

void print_layout(const tarvek::payload_layout &layout)
{
    std::printf("stream_size %llu\nwindow_log %u\nframe_offset %llu\nframe_size %llu\npadding %llu\ntotal %llu\n",
                static_cast<unsigned long long>(layout.stream_size), layout.window_log,
                static_cast<unsigned long long>(layout.frame_offset),
                static_cast<unsigned long long>(layout.frame_size),
                static_cast<unsigned long long>(layout.padding), static_cast<unsigned long long>(layout.total));
    for (uint64_t offset : layout.block_ends)
        std::printf("block_end %llu\n", static_cast<unsigned long long>(offset));
}

void run(settings &s)
{
    std::vector<tarvek::stream_item> items;
    if (s.folder)
        items = tarvek::folder_items(*s.folder);
    items.insert(items.end(), s.items.begin(), s.items.end());
    if (items.empty() && !s.allow_empty)
        throw tarvek::payload_error("nothing to store: give --dir, --name, --long-name or --raw (or --allow-empty)");

    tarvek::payload_layout layout = tarvek::write_payload(items, s.options, s.output);
    if (s.window_patch)
        tarvek::patch_window_descriptor(s.output, layout, s.window_patch->first, s.window_patch->second);
    if (s.corrupt_checksum)
        tarvek::corrupt_checksum(s.output, layout);
    if (s.bad_magic)
        tarvek::damage_magic(s.output, *s.bad_magic);
    if (s.damage_after_block)
        tarvek::damage_after_block(s.output, layout, *s.damage_after_block);
    if (s.print_layout)
        print_layout(layout);
}

} // namespace

int main(int argc, char **argv)
{
    try {
        settings s = parse(argc, argv);
        if (s.help) {
            std::fputs(usage_text, stdout);
            return 0;
        }
        run(s);
        return 0;
    } catch (const usage_error &error) {
        std::fprintf(stderr, "tarvek-payload: %s\n(tarvek-payload --help lists the options)\n",
                     error.message.c_str());
        return 2;
    } catch (const tarvek::payload_error &error) {
        std::fprintf(stderr, "tarvek-payload: %s\n", error.what());
        return 1;
    }
}
