// tarvek-payload: writes the stored payloads of the launcher's tests, from
// an application folder or from records given one by one on the command
// line, and damages them as a test asks.
#include <CLI/CLI.hpp>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/command_line.hpp"
#include "common/error.hpp"
#include "common/utf.hpp"
#include "fixture_damage.hpp"
#include "fixture_stream.hpp"

namespace {

constexpr const char *description_text = R"(Writes a stored payload as a Tarvek Onefile launcher carries it, for the launcher's tests: "JWX", one Zstandard frame (no content size or dictionary ID; a content checksum only with --checksum), zero padding to a multiple of 8, and the number of bytes before it as u64le. The frame holds the records (UTF-16LE name with a zero unit, u64le size, content) and the end marker, or whatever the items below make of it.)";

constexpr const char *footer_text = R"(Each of --name, --long-name and --raw starts an item and is followed by
exactly one content option. --long-name W >= N gives one component.

Exit status: 0 when the payload was written, 1 when it could not be, 2 for a
command line that is not understood.)";

using tarvek::usage_error;

struct settings {
    std::string output;
    std::optional<std::string> folder;
    bool allow_empty = false;
    bool print_layout = false;
    tarvek::fixture_options options;
    uint32_t skippable_frame_size = 0;
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
    if (!tarvek::is_utf8(text))
        throw usage_error{"--name: not valid UTF-8: '" + tarvek::printable(text) + "'"};
    return tarvek::utf8_to_utf16(text);
}

// The options that build items, in the order they were given: each of
// --name, --long-name and --raw starts an item, the content option after it
// completes it. The option library keeps every option's values in order and
// the order of all occurrences; together they give back the sequence.
struct item_options {
    CLI::Option *name, *long_name, *raw, *end_block;
    CLI::Option *file, *text, *hex, *pattern, *random, *empty;
};

// Starts a pending item for a starting option, or returns false.
bool start_item(const item_options &o, const CLI::Option *option, const std::string &value,
                std::optional<tarvek::stream_item> &pending)
{
    using kind = tarvek::stream_item::kind;
    if (option == o.name)
        pending = tarvek::stream_item{kind::record, name_text(value), {}};
    else if (option == o.long_name)
        pending = tarvek::stream_item{kind::record, long_name(value), {}};
    else if (option == o.raw)
        pending = tarvek::stream_item{kind::raw, {}, {}};
    else
        return false;
    return true;
}

std::optional<tarvek::byte_source> content(const item_options &o, const CLI::Option *option,
                                           const std::string &value)
{
    using namespace tarvek;
    if (option == o.file)
        return file_source(value);
    if (option == o.text)
        return literal_source(value);
    if (option == o.hex)
        return literal_source(parse_hex(value));
    if (option == o.pattern)
        return pattern_source(parse_number(value, "--pattern"));
    if (option == o.random) {
        std::vector<uint64_t> values = parse_numbers(value, "--random", 2);
        return random_source(values[0], values.size() > 1 ? values[1] : 1);
    }
    if (option == o.empty)
        return literal_source("");
    return std::nullopt;
}

std::vector<tarvek::stream_item> items_in_order(const CLI::App &app, const item_options &o)
{
    std::vector<tarvek::stream_item> items;
    std::optional<tarvek::stream_item> pending; // started, waiting for its content
    std::map<const CLI::Option *, size_t> seen;
    for (const CLI::Option *option : app.parse_order()) {
        const std::vector<std::string> &values = option->results();
        size_t index = seen[option]++;
        const std::string value = index < values.size() ? values[index] : std::string();
        if (std::optional<tarvek::byte_source> bytes = content(o, option, value)) {
            if (!pending)
                throw usage_error{option->get_name() + " must follow --name, --long-name or --raw"};
            pending->content = std::move(*bytes);
            items.push_back(std::move(*pending));
            pending.reset();
            continue;
        }
        bool item_option = option == o.name || option == o.long_name || option == o.raw || option == o.end_block;
        if (pending && item_option)
            throw usage_error{"the item started before " + option->get_name() + " has no content option"};
        if (option == o.end_block)
            items.push_back({tarvek::stream_item::kind::block_end, {}, {}});
        else
            start_item(o, option, value, pending);
    }
    if (pending)
        throw usage_error{"the last item has no content option"};
    return items;
}

// Adds an option given once per item: exactly one value each time, kept.
CLI::Option *item_value(CLI::App &app, const char *name, const char *type, const char *description)
{
    return app.add_option(name)->type_name(type)->description(description)->expected(1)->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
        ->allow_extra_args(false);
}

CLI::Option *item_flag(CLI::App &app, const char *name, const char *description)
{
    return app.add_flag(name)->description(description)->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
}

struct damage_values {
    std::string patch_window;
    int bad_magic = -1;
    size_t damage_after_block = 0;
};

void add_frame_options(CLI::App &app, settings &s, damage_values &damage)
{
    const std::string low = std::to_string(tarvek::smallest_window_log_allowed);
    const std::string high = std::to_string(tarvek::largest_window_log_allowed);
    app.add_option("--window-log", s.options.window_log,
                   "a window of 2^N bytes, N in " + low + ".." + high + " (default: the smallest power of two "
                   "that holds the whole decompressed stream, at least 2^" + low + ", at most 2^" + high + ")")
        ->type_name("N")->check(tarvek::number_in(tarvek::smallest_window_log_allowed,
                                                  tarvek::largest_window_log_allowed,
                                                  tarvek::smallest_window_log_reason,
                                                  tarvek::largest_window_log_reason))
        ->group("Frame");
    app.add_option("--level", s.options.frame.level, "compression level, 1..19 (default 3)")
        ->type_name("N")->check(tarvek::number_in(1, 19))->group("Frame");
    app.add_option("--threads", s.options.frame.threads,
                   "compression workers; 0 (the default) compresses in this thread, block ends exactly where "
                   "--end-block asks")
        ->type_name("N")->check(tarvek::number_in(0u, 64u))->group("Frame");
    app.add_flag("--long-distance", s.options.frame.long_distance, "long-distance matching")->group("Frame");
    app.add_flag("--checksum", s.options.frame.checksum, "give the frame a content checksum")->group("Damage");
    app.add_flag("--corrupt-checksum", s.corrupt_checksum, "give it one and invert its four bytes")
        ->group("Damage");
    app.add_option("--patch-window", damage.patch_window,
                   "rewrite the window descriptor: exponent E, mantissa M; the window becomes "
                   "2^(10+E) + M * 2^(7+E) (17,1 declares 2^27 + 2^24)")
        ->type_name("E,M")->group("Damage");
    app.add_flag("--no-end-marker", [&s](int64_t) { s.options.end_marker = false; }, "leave the end marker out")
        ->group("Damage");
    app.add_option("--bad-magic", damage.bad_magic, "swap the case of magic byte I (0, 1 or 2)")
        ->type_name("I")->check(tarvek::number_in(0, 2))->group("Damage");
    app.add_option("--skippable-frame", s.skippable_frame_size,
                   "a skippable frame with N bytes between the magic and the frame")
        ->type_name("N")->check(tarvek::number_in(uint32_t{1}, uint32_t{0xFFFFFFFFu}))->group("Damage");
    app.add_option("--damage-after-block", damage.damage_after_block,
                   "overwrite the frame with 0xFF from the K-th --end-block to its end")
        ->type_name("K")->group("Damage");
}

void apply_damage_values(const CLI::App &app, settings &s, const damage_values &damage)
{
    if (app.count("--corrupt-checksum"))
        s.options.frame.checksum = true;
    if (app.count("--patch-window")) {
        std::vector<uint64_t> values = parse_numbers(damage.patch_window, "--patch-window", 2);
        if (values.size() != 2 || values[0] > 31 || values[1] > 7)
            throw usage_error{"--patch-window wants E,M with E in 0..31 and M in 0..7"};
        s.window_patch = {static_cast<unsigned>(values[0]), static_cast<unsigned>(values[1])};
    }
    if (damage.bad_magic >= 0)
        s.bad_magic = static_cast<unsigned>(damage.bad_magic);
    if (app.count("--damage-after-block"))
        s.damage_after_block = damage.damage_after_block;
}

// Builds the command line; the caller parses and then calls finish.
struct command_line {
    CLI::App app{description_text, "tarvek-payload"};
    settings s;
    damage_values damage;
    item_options items{};
    std::string folder;

    command_line()
    {
        tarvek::set_usage(app, "usage: tarvek-payload [OPTIONS] -o OUTPUT");
        app.footer(footer_text);
        app.add_option("-o,--output", s.output, "the stored payload (required)")->type_name("PATH")->group("Output");
        app.add_option("--stream-copy", s.options.stream_copy, "also write the decompressed stream to PATH")
            ->type_name("PATH")
            ->group("Output");
        app.add_flag("--print-layout", s.print_layout,
                     "print \"key value\" lines: stream_size, window_log, frame_offset, frame_size, padding, "
                     "total, and one block_end line per --end-block")
            ->group("Output");
        app.add_option("--dir", folder,
                       "a record for every regular file below DIR, named by its relative path with backslashes: "
                       "main.dll (at the top level, required) first, the others in the order of their UTF-16 "
                       "names. Empty folders are not stored.")
            ->type_name("DIR")->group("Application");
        app.add_flag("--allow-empty", s.allow_empty, "accept a payload without any record")->group("Application");
        add_frame_options(app, s, damage);
        const char *group = "Items (in the order given, after those of --dir, unchecked)";
        items.name = item_value(app, "--name", "TEXT", "a record named TEXT (UTF-8), stored as it stands: a '/' "
                                               "stays a '/'")->group(group);
        items.long_name = item_value(app, "--long-name", "N[,W[,C]]",
                                     "a record whose name has N units: the letter C (default n) "
                                     "repeated, with a backslash after each run of W letters (default 200) as "
                                     "long as more than W+1 units are left")->group(group);
        items.raw = item_flag(app, "--raw", "bytes in the stream outside any record (no name, no size)")
            ->group(group);
        items.end_block = item_flag(app, "--end-block", "(no item, no content) end the current compressed "
                                                        "block here")->group(group);
        const char *contents = "Content (one after each item)";
        items.file = item_value(app, "--file", "PATH", "the bytes of PATH")->group(contents);
        items.text = item_value(app, "--text", "TEXT", "the UTF-8 bytes of TEXT")->group(contents);
        items.hex = item_value(app, "--hex", "HEX", "the bytes written as pairs of hex digits")->group(contents);
        items.pattern = item_value(app, "--pattern", "N", "N bytes; byte i is i mod 251")->group(contents);
        items.random = item_value(app, "--random", "N[,SEED]", "N bytes from splitmix64 seeded with SEED "
                                                   "(default 1), each 64-bit value little-endian")
                           ->group(contents);
        items.empty = item_flag(app, "--empty", "no bytes")->group(contents);
    }

    void finish()
    {
        if (!folder.empty())
            s.folder = folder;
        apply_damage_values(app, s, damage);
        s.items = items_in_order(app, items);
        if (s.output.empty())
            throw usage_error{"no output: give -o PATH"};
    }
};

void print_layout(const tarvek::fixture_layout &layout)
{
    std::printf("stream_size %llu\nwindow_log %u\nframe_offset %llu\nframe_size %llu\npadding %llu\ntotal %llu\n",
                static_cast<unsigned long long>(layout.stream_size), layout.window_log,
                static_cast<unsigned long long>(layout.stored.frame_offset),
                static_cast<unsigned long long>(layout.stored.frame_size),
                static_cast<unsigned long long>(layout.stored.padding),
                static_cast<unsigned long long>(layout.stored.total));
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
        throw tarvek::tool_error("nothing to store: give --dir, --name, --long-name or --raw (or --allow-empty)");

    tarvek::fixture_layout layout = tarvek::write_fixture(items, s.options, s.output);
    if (s.skippable_frame_size != 0)
        tarvek::insert_skippable_frame(s.output, layout, s.skippable_frame_size);
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
    command_line line;
    return tarvek::tool_main("tarvek-payload", line.app, argc, argv, [&] {
        line.finish();
        run(line.s);
        return 0;
    });
}
