#include "payload/payload_records.hpp"

#include <zstd.h>

#include <memory>
#include <vector>

#include "common/error.hpp"
#include "payload/payload_format.hpp"

namespace tarvek {

namespace {

// Exactly n bytes at a time from the decompressed stream.
class stream_reader {
public:
    stream_reader(const stored_payload &payload, const record_visitor &visitor, const std::string &shown)
        : context_(ZSTD_createDCtx(), ZSTD_freeDCtx), visitor_(visitor), shown_(shown),
          buffer_(ZSTD_DStreamOutSize()), input_{payload.frame.data(), payload.frame.size(), 0}
    {
        if (!context_)
            throw tool_error("cannot create a decompression context");
        ZSTD_DCtx_setParameter(context_.get(), ZSTD_d_windowLogMax, payload_max_window_log);
    }

    // Hands the next n bytes to `sink` in pieces; false when the stream ends
    // first.
    template <typename Sink> bool take(uint64_t n, Sink &&sink)
    {
        while (n > 0) {
            if (at_ == filled_ && !refill())
                return false;
            size_t k = static_cast<size_t>(std::min<uint64_t>(n, filled_ - at_));
            sink(std::span<const uint8_t>(buffer_.data() + at_, k));
            at_ += k;
            n -= k;
            consumed_ += k;
        }
        return true;
    }

    // After the end marker: the frame must end there, with nothing more.
    void finish()
    {
        while (at_ == filled_ && !complete_)
            if (!refill())
                break;
        if (at_ != filled_)
            fail("the stream goes on after the end marker (damaged payload)");
        if (!complete_ || input_.pos != input_.size)
            fail("the frame does not end after the end marker (damaged payload)");
    }

    uint64_t consumed() const { return consumed_; }
    [[noreturn]] void fail(const std::string &what) const { throw tool_error(shown_ + ": " + what); }

private:
    bool refill()
    {
        if (complete_ || (input_.pos == input_.size && !last_filled_))
            return false;
        ZSTD_outBuffer output = {buffer_.data(), buffer_.size(), 0};
        size_t result = ZSTD_decompressStream(context_.get(), &output, &input_);
        if (ZSTD_isError(result))
            fail(std::string("the payload does not decode: ") + ZSTD_getErrorName(result));
        complete_ = result == 0;
        last_filled_ = output.pos == output.size;
        at_ = 0;
        filled_ = output.pos;
        if (visitor_.progress)
            visitor_.progress(input_.pos);
        return true;
    }

    std::unique_ptr<ZSTD_DCtx, size_t (*)(ZSTD_DCtx *)> context_;
    const record_visitor &visitor_;
    const std::string &shown_;
    std::vector<uint8_t> buffer_;
    ZSTD_inBuffer input_;
    size_t at_ = 0;
    size_t filled_ = 0;
    bool complete_ = false;
    bool last_filled_ = false;
    uint64_t consumed_ = 0;
};

uint64_t read_le(stream_reader &reader, size_t count, const char *what)
{
    uint64_t value = 0;
    unsigned shift = 0;
    bool whole = reader.take(count, [&](std::span<const uint8_t> piece) {
        for (uint8_t byte : piece) {
            value |= uint64_t{byte} << shift;
            shift += 8;
        }
    });
    if (!whole)
        reader.fail(std::string("the stream ends inside ") + what + " (damaged payload)");
    return value;
}

} // namespace

payload_totals walk_records(const stored_payload &payload, const record_visitor &visitor, const std::string &shown)
{
    stream_reader reader(payload, visitor, shown);
    payload_totals totals;
    for (;;) {
        std::u16string name;
        for (;;) {
            char16_t unit = static_cast<char16_t>(read_le(reader, 2, "a name"));
            if (unit == 0)
                break;
            if (name.size() == entry_name_max_units)
                reader.fail("record " + std::to_string(totals.files + 1) + " has a name of more than " +
                            std::to_string(entry_name_max_units) + " units (damaged payload)");
            name += unit;
        }
        if (name.empty())
            break;
        const uint64_t size = read_le(reader, entry_size_field_size, "a record's size");
        if (visitor.begin)
            visitor.begin(name, size);
        bool whole = reader.take(size, [&](std::span<const uint8_t> piece) {
            if (visitor.content)
                visitor.content(piece);
        });
        if (!whole)
            reader.fail("the stream ends inside a record's content (damaged payload)");
        totals.files += 1;
        totals.content_bytes += size;
    }
    reader.finish();
    totals.stream_bytes = reader.consumed();
    return totals;
}

} // namespace tarvek
