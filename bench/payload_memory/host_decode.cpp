// Decodes a stored payload's frame on the host the way the launcher does
// (one default context, a 131,072-byte output buffer) and prints what the
// decompression costs in memory.
//
//   host_decode STORED
#include <sys/resource.h>
#include <zstd.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

int main(int argc, char **argv)
{
    if (argc != 2 || std::string(argv[1]) == "--help" || std::string(argv[1]) == "-h") {
        std::fprintf(stderr, "usage: host_decode STORED\n  prints dctx_bytes (ZSTD_sizeof_DCtx after decoding), "
                             "stream_bytes and max_rss_kib\n");
        return argc == 2 ? 0 : 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    std::string stored((std::istreambuf_iterator<char>(in)), {});
    if (!in.good() && !in.eof()) {
        std::fprintf(stderr, "host_decode: cannot read %s\n", argv[1]);
        return 1;
    }
    if (stored.size() < 16 || stored.compare(0, 3, "JWX") != 0) {
        std::fprintf(stderr, "host_decode: %s is no stored payload\n", argv[1]);
        return 1;
    }
    ZSTD_DCtx *context = ZSTD_createDCtx();
    std::string buffer(131072, '\0');
    ZSTD_inBuffer input = {stored.data() + 3, stored.size() - 3, 0};
    unsigned long long stream = 0;
    for (;;) {
        ZSTD_outBuffer output = {buffer.data(), buffer.size(), 0};
        size_t result = ZSTD_decompressStream(context, &output, &input);
        if (ZSTD_isError(result)) {
            std::fprintf(stderr, "host_decode: %s\n", ZSTD_getErrorName(result));
            return 1;
        }
        stream += output.pos;
        if (result == 0)
            break;
    }
    struct rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    std::printf("dctx_bytes %zu\nstream_bytes %llu\nmax_rss_kib %ld\n", ZSTD_sizeof_DCtx(context), stream,
                usage.ru_maxrss);
    ZSTD_freeDCtx(context);
    return 0;
}
