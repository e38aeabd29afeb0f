// tarvek-link-launcher: links a launcher around a stored payload from the
// prebuilt launcher parts (the library's command line; the build links its
// test launchers with it).
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "image_error.hpp"
#include "launcher_link.hpp"

namespace {

constexpr const char *usage_text = R"(usage: tarvek-link-launcher --parts DIR --payload STORED -o OUTPUT.exe [OPTIONS]

Links a Tarvek Onefile launcher: the stored payload STORED (as tarvek-payload
writes it, linked as it is) first in the image's read-only data, the
launcher's prebuilt code from DIR (BUILD/win/launcher-parts), the resources
and the compiled-in texts of the settings below. Runs lld-link and llvm-rc;
compiles nothing.

  --parts DIR            the launcher parts (required)
  --payload STORED       the stored payload (required)
  -o, --output PATH      the launcher to write (required); written whole or
                         not at all

Settings (version resource and compiled-in texts alike):
  --company TEXT         CompanyName, {COMPANY} (default: Tarvek)
  --product TEXT         ProductName, {PRODUCT} (default: Tarvek Onefile
                         application)
  --version A.B.C.D      four numbers up to 65535: FileVersion, ProductVersion,
                         {VERSION}, {FILE_VERSION}, {PRODUCT_VERSION}
                         (default: 1.0.0.0)
  --internal-name NAME   InternalName; OriginalFilename and FileDescription
                         are NAME.exe (default: OUTPUT's name without .exe)
  --icon FILE            seven times: PNG images, 8 bits per channel with
                         alpha, of 16, 24, 32, 48, 64, 128 and 256 pixels in
                         this order (default: the icons in DIR)

Image:
  --timestamp N          the header's time stamp in seconds since 1970
                         (default: $SOURCE_DATE_EPOCH, else the current time)

For measurements only:
  --keep-linker-layout   leave .rdata at the file offset the linker chose
                         instead of a multiple of 4096
  --linker-arg ARG       one more lld-link argument, after the parts' objects
                         and before their libraries (an object given so
                         stands in for a library member)

  -h, --help             this text
)";

[[noreturn]] void usage_error(const std::string &message)
{
    std::fprintf(stderr, "tarvek-link-launcher: %s\n(tarvek-link-launcher --help tells more)\n", message.c_str());
    std::exit(2);
}

} // namespace

int main(int argc, char **argv)
{
    tarvek::launcher_link_request request;
    try {
        for (int i = 1; i < argc; ++i) {
            std::string_view option = argv[i];
            if (option == "-h" || option == "--help") {
                std::fputs(usage_text, stdout);
                return 0;
            }
            if (option == "--keep-linker-layout") {
                request.page_align_rdata = false;
                continue;
            }
            if (i + 1 >= argc)
                usage_error("missing value after " + std::string(option));
            std::string value = argv[++i];
            if (option == "--parts")
                request.parts = value;
            else if (option == "--payload")
                request.stored_payload = value;
            else if (option == "-o" || option == "--output")
                request.output = value;
            else if (tarvek::take_setting_option(option, value, request.settings))
                continue;
            else if (option == "--timestamp")
                request.timestamp = tarvek::parse_timestamp(value);
            else if (option == "--linker-arg")
                request.extra_linker_arguments.push_back(value);
            else
                usage_error("unknown option " + std::string(option));
        }
        if (request.parts.empty() || request.stored_payload.empty() || request.output.empty())
            usage_error("--parts, --payload and --output are required");
        tarvek::link_launcher(request);
    } catch (const tarvek::image_error &e) {
        std::fprintf(stderr, "tarvek-link-launcher: %s\n", e.what());
        return 1;
    }
    return 0;
}
