#include "tests/payload/payload_test_support.hpp"

#include <stdio.h>
#include <windows.h>

#include <memory>

#include "payload/directory_cache.hpp"
#include "payload/entry_loop.hpp"
#include "payload/payload_reader.hpp"
#include "tests/support/scenario.hpp"

std::string printed(const char *message)
{
    return std::string(message) + line_end;
}

const std::string decode_failure = printed("Error, couldn't decode attached data.");
const std::string header_failure = printed("Error, couldn't find attached data header.");

static std::wstring windows_path(const char *prefix, const char *unix_path)
{
    std::wstring path = widen(std::string(prefix) + unix_path);
    for (wchar_t &c : path)
        if (c == L'/')
            c = L'\\';
    return path;
}

static std::wstring fixture_path(const std::string &name, const char *extension)
{
    return windows_path("", TARVEK_PAYLOAD_TEST_DIR_WINDOWS) + L"\\fixtures\\" + widen(name + extension);
}

std::string fixture_stored(const std::string &name)
{
    return read_file(fixture_path(name, ".stored"));
}

std::string fixture_stream(const std::string &name)
{
    return read_file(fixture_path(name, ".stream"));
}

std::wstring unix_mapped_test_dir()
{
    return windows_path("\\\\?\\unix", TARVEK_PAYLOAD_TEST_DIR);
}

static uint64_t little_endian(const std::string &bytes, size_t at, size_t count)
{
    uint64_t value = 0;
    for (size_t i = count; i > 0; --i)
        value = value << 8 | static_cast<unsigned char>(bytes.at(at + i - 1));
    return value;
}

std::vector<stream_record> parse_stream(const std::string &stream)
{
    std::vector<stream_record> records;
    size_t at = 0;
    while (at < stream.size()) {
        stream_record record;
        for (wchar_t unit; (unit = static_cast<wchar_t>(little_endian(stream, at, 2))) != 0; at += 2)
            record.name += unit;
        at += 2;
        if (record.name.empty())
            return records;
        uint64_t size = little_endian(stream, at, 8);
        at += 8;
        record.content = stream.substr(at, size);
        at += size;
        records.push_back(std::move(record));
    }
    return records;
}

std::map<std::wstring, std::string> expected_files(const std::string &stream)
{
    std::map<std::wstring, std::string> files;
    for (stream_record &record : parse_stream(stream))
        files[record.name] = std::move(record.content);
    return files;
}

std::map<std::wstring, std::string> files_below(const std::wstring &root)
{
    std::map<std::wstring, std::string> files;
    for (const std::wstring &relative : files_in_tree(root))
        files[relative] = read_file(root + L"\\" + relative);
    return files;
}

scratch_folder::scratch_folder() : path(make_temp_directory(L"payload")) {}

scratch_folder::scratch_folder(std::wstring existing) : path(std::move(existing)) {}

scratch_folder::~scratch_folder()
{
    if (!path.empty())
        remove_tree(path);
}

void open_fixture(const std::string &name, size_t length)
{
    // Like the payload in an image, the bytes outlive the reader.
    static std::vector<std::unique_ptr<std::string>> kept;
    kept.push_back(std::make_unique<std::string>(fixture_stored(name)));
    const std::string &stored = *kept.back();
    open_payload_bytes(reinterpret_cast<const uint8_t *>(stored.data()), std::min(length, stored.size()));
}

TARVEK_SCENARIO(extract)
{
    open_fixture(narrow(arguments.at(0)));
    static wide_path main_library_path;
    const bool child = arguments.at(2) == L"first";
    bool found = run_entry_loop(arguments.at(1).c_str(), main_library_path,
                                child ? entry_loop_mode::first_name_only : entry_loop_mode::unpack_all);
    if (!child)
        close_payload();
    if (found)
        printf("found %ls\n", main_library_path);
    else
        printf("none\n");
    printf("remembered %d\n", static_cast<int>(directory_cache_count));
    return 0;
}

process_result extract(const std::string &fixture, const std::wstring &target, const wchar_t *mode)
{
    return run_scenario("extract", {widen(fixture), target, mode});
}

std::string found_main_library(const std::wstring &target, int remembered)
{
    return "found " + narrow(target) + "\\main.dll" + line_end + "remembered " + std::to_string(remembered) +
           line_end;
}
