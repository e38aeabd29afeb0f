#include "payload/payload_writer.hpp"

#define ZSTD_STATIC_LINKING_ONLY // ZSTD_getFrameProgression
#include <zstd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "common/error.hpp"
#include "common/utf.hpp"

namespace tarvek {

namespace {

constexpr size_t copy_chunk = 1 << 20;
constexpr uint32_t skippable_frame_magic = 0x184D2A50;
constexpr int job_size = 32 << 20;
constexpr int job_overlap_log = 7;

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
        throw tool_error("cannot write '" + path_ + "': " + std::strerror(errno));
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

// One Zstandard frame, fed piece by piece; the compressed bytes go straight
// to the output, so no input is ever held whole.
class frame_encoder {
public:
    // `after_call` runs after every call into the library.
    frame_encoder(const payload_options &options, unsigned window_log, output_file &out,
                  std::function<void()> after_call)
        : context_(ZSTD_createCCtx(), ZSTD_freeCCtx), out_(out), buffer_(ZSTD_CStreamOutSize(), 0),
          after_call_(std::move(after_call))
    {
        if (!context_)
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
            // quarter of the window (32 MiB at the largest): left to itself the
            // library makes jobs of 256 MiB and more at the high levels, and
            // one worker compresses a payload smaller than that alone.
            set(ZSTD_c_jobSize, job_size);
            set(ZSTD_c_overlapLog, job_overlap_log);
        }
    }
    // Stream bytes the library has compressed so far (not only taken in).
    uint64_t consumed() const { return ZSTD_getFrameProgression(context_.get()).consumed; }
    void feed(std::string_view bytes)
    {
        ZSTD_inBuffer in = {bytes.data(), bytes.size(), 0};
        while (in.pos < in.size)
            drive(in, ZSTD_e_continue);
    }
    // Ends the current block: everything fed so far is in the output.
    void end_block() { drain(ZSTD_e_flush); }
    void finish() { drain(ZSTD_e_end); }
    // The frame's first bytes as written: magic, descriptor, window.
    const std::string &header() const { return header_; }

private:
    void set(ZSTD_cParameter parameter, int value)
    {
        checked(ZSTD_CCtx_setParameter(context_.get(), parameter, value), "parameter");
    }
    size_t drive(ZSTD_inBuffer &in, ZSTD_EndDirective mode)
    {
        ZSTD_outBuffer chunk = {buffer_.data(), buffer_.size(), 0};
        size_t left = checked(ZSTD_compressStream2(context_.get(), &chunk, &in, mode), "stream");
        std::string_view bytes(buffer_.data(), chunk.pos);
        if (header_.size() < 6)
            header_.append(bytes.substr(0, 6 - header_.size()));
        out_.write(bytes);
        if (after_call_)
            after_call_();
        return left;
    }
    void drain(ZSTD_EndDirective mode)
    {
        ZSTD_inBuffer none = {nullptr, 0, 0};
        while (drive(none, mode) != 0) {
        }
    }
    std::unique_ptr<ZSTD_CCtx, size_t (*)(ZSTD_CCtx *)> context_;
    output_file &out_;
    std::string buffer_;
    std::string header_;
    std::function<void()> after_call_;
};

// The launcher relies on these header fields; a library that chose other
// ones would make payloads that are larger or refused.
void check_frame_header(const std::string &header, unsigned window_log, bool checksum)
{
    const std::string frame_magic = le_bytes(ZSTD_MAGICNUMBER, 4);
    bool ok = header.size() == 6 && header.compare(0, 4, frame_magic) == 0;
    if (ok) {
        unsigned descriptor = static_cast<unsigned char>(header[4]);
        unsigned expected = checksum ? 0x04 : 0x00; // no content size, not single-segment, no dictionary
        ok = descriptor == expected &&
             static_cast<unsigned char>(header[5]) == (window_log - smallest_window_log_allowed) << 3;
    }
    if (!ok)
        throw tool_error("libzstd wrote a frame header other than the one asked for");
}

void check_window_log(unsigned window_log)
{
    if (window_log < smallest_window_log_allowed || window_log > largest_window_log_allowed)
        throw tool_error("window log " + std::to_string(window_log) + " is outside " +
                            std::to_string(smallest_window_log_allowed) + ".." +
                            std::to_string(largest_window_log_allowed));
}

} // namespace

stream_item record_item(std::u16string name, byte_source content)
{
    return {stream_item::kind::record, std::move(name), std::move(content)};
}

uint64_t stream_size(const std::vector<stream_item> &items, bool end_marker)
{
    uint64_t size = end_marker ? 2 : 0;
    for (const stream_item &item : items) {
        if (item.type == stream_item::kind::record)
            size += 2 * (item.name.size() + 1) + entry_size_field_size;
        if (item.type != stream_item::kind::block_end)
            size += source_size(item.content);
    }
    return size;
}

unsigned smallest_window_log(uint64_t stream_size)
{
    unsigned log = smallest_window_log_allowed;
    while (log < largest_window_log_allowed && (uint64_t{1} << log) < stream_size)
        ++log;
    return log;
}

payload_layout write_payload(const std::vector<stream_item> &items, const payload_options &options,
                             const std::filesystem::path &output)
{
    payload_layout layout;
    layout.stream_size = stream_size(items, options.end_marker);
    layout.window_log = options.window_log != 0 ? options.window_log : smallest_window_log(layout.stream_size);
    check_window_log(layout.window_log);

    output_file out(output);
    std::unique_ptr<output_file> copy;
    if (!options.stream_copy.empty())
        copy = std::make_unique<output_file>(options.stream_copy);

    out.write(std::string_view(reinterpret_cast<const char *>(payload_magic), payload_magic_size));
    if (options.skippable_frame_size != 0) {
        out.write(le_bytes(skippable_frame_magic, 4) + le_bytes(options.skippable_frame_size, 4));
        read_source(pattern_source(options.skippable_frame_size), copy_chunk,
                    [&](std::string_view bytes) { out.write(bytes); });
    }
    layout.frame_offset = out.written();

    // Where each record ends in the stream: the compressor takes input well
    // ahead of what it has compressed, so a record counts as done once the
    // compressed part of the stream has reached its end.
    std::vector<uint64_t> record_ends;
    uint64_t fed = 0;
    frame_encoder *encoder = nullptr;
    frame_encoder frame(options, layout.window_log, out, [&] {
        if (!options.progress || !encoder)
            return;
        uint64_t consumed = encoder->consumed();
        auto done = std::upper_bound(record_ends.begin(), record_ends.end(), consumed);
        options.progress(consumed, static_cast<uint64_t>(done - record_ends.begin()));
    });
    encoder = &frame;
    auto feed = [&](std::string_view bytes) {
        frame.feed(bytes);
        fed += bytes.size();
        if (copy)
            copy->write(bytes);
    };
    for (const stream_item &item : items) {
        switch (item.type) {
        case stream_item::kind::record:
            feed(utf16le_bytes(item.name + u'\0'));
            feed(le_bytes(source_size(item.content), entry_size_field_size));
            read_source(item.content, copy_chunk, feed);
            record_ends.push_back(fed);
            break;
        case stream_item::kind::raw:
            read_source(item.content, copy_chunk, feed);
            break;
        case stream_item::kind::block_end:
            frame.end_block();
            layout.block_ends.push_back(out.written());
            break;
        }
    }
    if (options.end_marker)
        feed(std::string(2, '\0'));
    frame.finish();
    check_frame_header(frame.header(), layout.window_log, options.checksum);

    layout.frame_size = out.written() - layout.frame_offset;
    layout.padding = (payload_length_field_size - out.written() % payload_length_field_size) % payload_length_field_size;
    out.write(std::string(layout.padding, '\0'));
    out.write(le_bytes(out.written(), payload_length_field_size));
    layout.total = out.written();
    out.close();
    if (copy)
        copy->close();
    return layout;
}

} // namespace tarvek
