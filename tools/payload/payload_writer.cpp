#include "payload/payload_writer.hpp"

#define ZSTD_STATIC_LINKING_ONLY // ZSTD_getFrameProgression
#include <zstd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "common/error.hpp"
#include "common/utf.hpp"

namespace tarvek {

namespace {

constexpr size_t copy_chunk = 1 << 20;
constexpr int job_size = 32 << 20;
constexpr int job_overlap_log = 7;
// The frame header as asked for: the frame magic, the descriptor (no
// content size, not single-segment, no dictionary ID; the checksum flag)
// and the window descriptor.
constexpr size_t frame_header_size = 6;
constexpr unsigned checksum_flag = 0x04;

std::string le_bytes(uint64_t value, size_t count)
{
    std::string bytes;
    for (size_t i = 0; i < count; ++i)
        bytes.push_back(static_cast<char>(value >> (8 * i)));
    return bytes;
}

// A file written front to back, counting its bytes.
class output_file {
public:
    explicit output_file(const std::filesystem::path &path)
        : path_(path.string()), file_(std::fopen(path_.c_str(), "wb"), std::fclose)
    {
        if (!file_)
            fail();
    }
    void write(std::string_view bytes)
    {
        if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), file_.get()) != bytes.size())
            fail();
        written_ += bytes.size();
    }
    void close()
    {
        if (std::fclose(file_.release()) != 0)
            fail();
    }
    uint64_t written() const { return written_; }

private:
    [[noreturn]] void fail()
    {
        throw tool_error("cannot write '" + printable(path_) + "': " + std::strerror(errno));
    }
    std::string path_;
    std::unique_ptr<FILE, int (*)(FILE *)> file_;
    uint64_t written_ = 0;
};

size_t checked(size_t result, const char *what)
{
    if (ZSTD_isError(result))
        throw tool_error(std::string("compression failed (") + what + "): " + ZSTD_getErrorName(result));
    return result;
}

unsigned checked_window_log(unsigned window_log)
{
    if (window_log < smallest_window_log_allowed || window_log > largest_window_log_allowed)
        throw tool_error("window log " + std::to_string(window_log) + " is outside " +
                         std::to_string(smallest_window_log_allowed) + ".." +
                         std::to_string(largest_window_log_allowed));
    return window_log;
}

} // namespace

struct payload_file::state {
    state(const std::filesystem::path &output, const frame_options &options, unsigned log,
          std::function<void()> after)
        : out(output), context(ZSTD_createCCtx(), ZSTD_freeCCtx), buffer(ZSTD_CStreamOutSize(), 0),
          after_call(std::move(after)), window_log(log), checksum(options.checksum)
    {
        if (!context)
            throw tool_error("cannot create a compression context");
        set(ZSTD_c_compressionLevel, options.level);
        set(ZSTD_c_windowLog, static_cast<int>(window_log));
        set(ZSTD_c_contentSizeFlag, 0);
        set(ZSTD_c_checksumFlag, options.checksum ? 1 : 0);
        set(ZSTD_c_dictIDFlag, 0);
        // 1 forces the matcher on (ZSTD_ps_enable, outside the stable API);
        // without it the library decides, as it always did.
        if (options.long_distance)
            set(ZSTD_c_enableLongDistanceMatching, 1);
        if (options.threads != 0) {
            set(ZSTD_c_nbWorkers, static_cast<int>(options.threads));
            // Jobs of 32 MiB, each overlapping the data before it by a
            // quarter of the window (32 MiB at the largest): left to itself
            // the library makes jobs of 256 MiB and more at the high levels,
            // and one worker compresses a payload smaller than that alone.
            set(ZSTD_c_jobSize, job_size);
            set(ZSTD_c_overlapLog, job_overlap_log);
        }
        out.write(std::string_view(reinterpret_cast<const char *>(payload_magic), payload_magic_size));
    }

    void set(ZSTD_cParameter parameter, int value)
    {
        checked(ZSTD_CCtx_setParameter(context.get(), parameter, value), "parameter");
    }

    size_t drive(ZSTD_inBuffer &in, ZSTD_EndDirective mode)
    {
        ZSTD_outBuffer chunk = {buffer.data(), buffer.size(), 0};
        size_t left = checked(ZSTD_compressStream2(context.get(), &chunk, &in, mode), "stream");
        std::string_view bytes(buffer.data(), chunk.pos);
        if (header.size() < frame_header_size)
            header.append(bytes.substr(0, frame_header_size - header.size()));
        out.write(bytes);
        if (after_call)
            after_call();
        return left;
    }

    void drain(ZSTD_EndDirective mode)
    {
        ZSTD_inBuffer none = {nullptr, 0, 0};
        while (drive(none, mode) != 0) {
        }
    }

    // The launcher relies on these header fields; a library that chose other
    // ones would make payloads that are larger or refused.
    void check_header() const
    {
        const std::string frame_magic = le_bytes(ZSTD_MAGICNUMBER, 4);
        const unsigned descriptor = checksum ? checksum_flag : 0;
        const unsigned window = (window_log - smallest_window_log_allowed) << 3;
        if (header.size() != frame_header_size || header.compare(0, 4, frame_magic) != 0 ||
            static_cast<unsigned char>(header[4]) != descriptor || static_cast<unsigned char>(header[5]) != window)
            throw tool_error("libzstd wrote a frame header other than the one asked for");
    }

    output_file out;
    std::unique_ptr<ZSTD_CCtx, size_t (*)(ZSTD_CCtx *)> context;
    std::string buffer;
    std::string header; // the frame's first bytes as written
    std::function<void()> after_call;
    unsigned window_log;
    bool checksum;
};

payload_file::payload_file(const std::filesystem::path &output, const frame_options &options, unsigned window_log,
                           std::function<void()> after_call)
    : state_(std::make_unique<state>(output, options, checked_window_log(window_log), std::move(after_call)))
{
}

payload_file::~payload_file() = default;

void payload_file::feed(std::string_view stream_bytes)
{
    ZSTD_inBuffer in = {stream_bytes.data(), stream_bytes.size(), 0};
    while (in.pos < in.size)
        state_->drive(in, ZSTD_e_continue);
}

uint64_t payload_file::end_block()
{
    state_->drain(ZSTD_e_flush);
    return state_->out.written();
}

uint64_t payload_file::compressed() const { return ZSTD_getFrameProgression(state_->context.get()).consumed; }

stored_layout payload_file::finish()
{
    state_->drain(ZSTD_e_end);
    state_->check_header();
    output_file &out = state_->out;
    stored_layout layout;
    layout.frame_offset = payload_magic_size;
    layout.frame_size = out.written() - layout.frame_offset;
    layout.padding = (payload_length_field_size - out.written() % payload_length_field_size) % payload_length_field_size;
    out.write(std::string(layout.padding, '\0'));
    layout.length_field = out.written();
    out.write(le_bytes(layout.length_field, payload_length_field_size));
    layout.total = out.written();
    layout.window_size = uint64_t{1} << state_->window_log;
    layout.checksum = state_->checksum;
    out.close();
    return layout;
}

std::string record_header(std::u16string_view name, uint64_t size)
{
    return utf16le_bytes(name) + std::string(2, '\0') + le_bytes(size, entry_size_field_size);
}

std::string end_marker() { return std::string(2, '\0'); }

uint64_t stream_size(const std::vector<payload_record> &records)
{
    uint64_t size = end_marker().size();
    for (const payload_record &record : records)
        size += record_header(record.name, record.size).size() + record.size;
    return size;
}

unsigned smallest_window_log(uint64_t stream_size)
{
    unsigned log = smallest_window_log_allowed;
    while (log < largest_window_log_allowed && (uint64_t{1} << log) < stream_size)
        ++log;
    return log;
}

void read_file_pieces(const std::filesystem::path &file, uint64_t size,
                      const std::function<void(std::string_view)> &sink)
{
    const std::string name = file.string();
    std::unique_ptr<FILE, int (*)(FILE *)> in(std::fopen(name.c_str(), "rb"), std::fclose);
    if (!in)
        throw tool_error("cannot read '" + printable(name) + "': " + std::strerror(errno));
    std::vector<char> buffer(copy_chunk);
    uint64_t total = 0;
    for (;;) {
        size_t n = std::fread(buffer.data(), 1, buffer.size(), in.get());
        if (n > 0) {
            total += n;
            if (total > size)
                break;
            sink(std::string_view(buffer.data(), n));
        }
        if (n < buffer.size()) {
            if (std::ferror(in.get()))
                throw tool_error("cannot read '" + printable(name) + "': " + std::strerror(errno));
            break;
        }
    }
    if (total != size)
        throw tool_error("'" + printable(name) + "' changed its size while it was being stored");
}

stored_layout write_payload(const std::vector<payload_record> &records, const payload_options &options,
                            const std::filesystem::path &output)
{
    const unsigned window_log = options.window_log != 0 ? options.window_log : smallest_window_log(stream_size(records));
    // Where each record ends in the stream: the compressor takes input well
    // ahead of what it has compressed, so a record counts as done once the
    // compressed part of the stream has reached its end.
    std::vector<uint64_t> record_ends;
    const payload_file *progress_of = nullptr;
    payload_file file(output, options, window_log, [&] {
        if (!options.progress || progress_of == nullptr)
            return;
        const uint64_t compressed = progress_of->compressed();
        auto done = std::upper_bound(record_ends.begin(), record_ends.end(), compressed);
        options.progress(compressed, static_cast<uint64_t>(done - record_ends.begin()));
    });
    progress_of = &file;
    uint64_t fed = 0;
    auto feed = [&](std::string_view bytes) {
        file.feed(bytes);
        fed += bytes.size();
    };
    for (const payload_record &record : records) {
        feed(record_header(record.name, record.size));
        read_file_pieces(record.file, record.size, feed);
        record_ends.push_back(fed);
    }
    feed(end_marker());
    return file.finish();
}

} // namespace tarvek
