#include "launcher_link_interim.hpp"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

#include "pack_error.hpp"
#include "payload_error.hpp"
#include "utf16_text.hpp"

extern char **environ;

namespace tarvek {

namespace fs = std::filesystem;

namespace {

std::string units_initializer(const std::string &text)
{
    std::string out = "{";
    for (char16_t unit : utf8_to_utf16(text))
        out += std::to_string(static_cast<unsigned>(unit)) + ", ";
    return out + "0}";
}

std::string version_text(const std::array<uint16_t, 4> &v)
{
    return std::to_string(v[0]) + "." + std::to_string(v[1]) + "." + std::to_string(v[2]) + "." + std::to_string(v[3]);
}

} // namespace

void check_settings(const launcher_settings &settings)
{
    for (const std::string *text : {&settings.company, &settings.product, &settings.internal_name}) {
        std::u16string units;
        try {
            units = utf8_to_utf16(*text);
        } catch (const payload_error &error) {
            throw pack_error(std::string("settings: ") + error.what());
        }
        if (units.empty())
            throw pack_error("settings: an empty text");
    }
}

fs::path launcher_parts_folder()
{
    if (const char *script = std::getenv("TARVEK_LINK_LAUNCHER"))
        return script;
    return fs::read_symlink("/proc/self/exe").parent_path() / "../../win/tarvek-link-launcher";
}

void link_launcher(const launcher_link_request &request)
{
    const fs::path settings = request.output.parent_path() / "settings.cpp";
    {
        std::ofstream out(settings);
        const std::string version = version_text(request.settings.version);
        out << "extern \"C\" {\n"
            << "extern const wchar_t tarvek_company_name[] = " << units_initializer(request.settings.company) << ";\n"
            << "extern const wchar_t tarvek_product_name[] = " << units_initializer(request.settings.product) << ";\n"
            << "extern const wchar_t tarvek_file_version[] = " << units_initializer(version) << ";\n"
            << "extern const wchar_t tarvek_product_version[] = " << units_initializer(version) << ";\n}\n";
        if (!out)
            throw pack_error("cannot write " + settings.string());
    }
    std::string script = request.parts.string();
    std::string stored = request.stored_payload.string();
    std::string output = request.output.string();
    std::string source = settings.string();
    char *arguments[] = {script.data(), stored.data(), output.data(), source.data(), nullptr};
    pid_t child = 0;
    if (posix_spawn(&child, script.c_str(), nullptr, nullptr, arguments, environ) != 0)
        throw pack_error("cannot run " + script);
    int status = 0;
    while (waitpid(child, &status, 0) < 0) {
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        throw pack_error(request.output.string() + ": the link failed");
    // The header's time stamp from SOURCE_DATE_EPOCH, for rebuilds byte for
    // byte.
    if (const char *epoch = std::getenv("SOURCE_DATE_EPOCH")) {
        uint32_t stamp = static_cast<uint32_t>(std::strtoul(epoch, nullptr, 10));
        std::fstream image(request.output, std::ios::in | std::ios::out | std::ios::binary);
        unsigned char pointer[4] = {};
        image.seekg(0x3C);
        image.read(reinterpret_cast<char *>(pointer), 4);
        uint32_t pe = pointer[0] | pointer[1] << 8 | pointer[2] << 16 | static_cast<uint32_t>(pointer[3]) << 24;
        image.seekp(pe + 8);
        for (int i = 0; i < 4; ++i)
            image.put(static_cast<char>(stamp >> (8 * i)));
        if (!image)
            throw pack_error(request.output.string() + ": cannot set its time stamp");
    }
}

} // namespace tarvek
