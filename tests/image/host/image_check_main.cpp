// tarvek-image-check: reads a linked launcher and checks it field by field
// against what every launcher image must be, and against the payload and
// settings it was linked with.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string_view>

#include "image_error.hpp"
#include "image_file.hpp"
#include "launcher_link.hpp"

namespace {

constexpr const char *usage_text = R"(usage: tarvek-image-check IMAGE --allowed-imports TABLE [OPTIONS]

Checks a Tarvek Onefile launcher image: every header field, the data
directories present and absent, the sections (names, order, access, file
offsets; nothing after the last one; .rdata at a multiple of 4096), the
payload at the start of .rdata, thread-local storage, the unwind table, the
base relocations, the imports against TABLE (image/allowed_imports.txt),
and the resources field by field (icon group and PNG images, version
resource, manifest, all language neutral), and the compiled-in texts.
Prints "FAIL: ..." for each item that is wrong and a summary; exits with 1
when any is wrong.

  --allowed-imports TABLE   the allowed import table (required)
  --payload STORED          the stored payload the image was linked around
  --timestamp N             the header's time stamp must be N (default: any
                            but 0)
Settings it was linked with (defaults as tarvek-link-launcher's):
  --company TEXT, --product TEXT, --version A.B.C.D, --internal-name NAME
                            (default internal name: IMAGE's name without .exe)
  --icon FILE               seven times: the icons must be these files (default:
                            any PNG images of the right sizes)
  -h, --help                this text
)";

[[noreturn]] void usage_error(const std::string &message)
{
    std::fprintf(stderr, "tarvek-image-check: %s\n(tarvek-image-check --help tells more)\n", message.c_str());
    std::exit(2);
}

std::string read_bytes(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw tarvek::image_error("cannot read '" + path + "'");
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

} // namespace

int main(int argc, char **argv)
{
    using namespace tarvek::check;
    std::string image_path, table;
    expectations expected;
    try {
        for (int i = 1; i < argc; ++i) {
            std::string_view option = argv[i];
            if (option == "-h" || option == "--help") {
                std::fputs(usage_text, stdout);
                return 0;
            }
            if (option.substr(0, 1) != "-") {
                if (!image_path.empty())
                    usage_error("more than one image");
                image_path = option;
                continue;
            }
            if (i + 1 >= argc)
                usage_error("missing value after " + std::string(option));
            std::string value = argv[++i];
            if (option == "--allowed-imports")
                table = value;
            else if (option == "--payload")
                expected.payload = read_bytes(value);
            else if (option == "--timestamp")
                expected.timestamp = tarvek::parse_timestamp(value);
            else if (!tarvek::take_setting_option(option, value, expected.settings))
                usage_error("unknown option " + std::string(option));
        }
        if (image_path.empty() || table.empty())
            usage_error("an image and --allowed-imports are required");
        if (!expected.settings.icons.empty() && expected.settings.icons.size() != tarvek::icon_sizes.size())
            usage_error("give --icon seven times or not at all");
        if (expected.settings.internal_name.empty())
            expected.settings.internal_name = tarvek::default_internal_name(image_path);
        expected.allowed_imports = read_allowed_imports(table);
        image_file image = read_image(image_path);

        report r;
        check_headers(image, expected, r);
        check_sections(image, expected, r);
        if (r.failed() == 0 || image.section(".rdata") != nullptr) {
            check_thread_local_storage(image, r);
            check_load_configuration(image, r);
            check_unwind_table(image, r);
            check_relocations(image, r);
            check_imports(image, expected, r);
            check_resources(image, expected, r);
            check_compiled_texts(image, expected, r);
        }
        std::printf("image check of %s: %d items, %d failed\n", image_path.c_str(), r.checked(), r.failed());
        return r.failed() == 0 ? 0 : 1;
    } catch (const tarvek::image_error &e) {
        std::printf("FAIL: %s\n", e.what());
        return 1;
    }
}
