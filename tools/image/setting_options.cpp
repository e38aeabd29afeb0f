#include "image/setting_options.hpp"

namespace tarvek {

void add_setting_options(CLI::App &app, launcher_settings &settings, const char *group)
{
    app.add_option("--company", settings.company, "CompanyName, {COMPANY} (default: " + settings.company + ")")
        ->type_name("TEXT")->group(group);
    app.add_option("--product", settings.product, "ProductName, {PRODUCT} (default: " + settings.product + ")")
        ->type_name("TEXT")->group(group);
    app.add_option_function<std::string>(
           "--app-version", [&settings](const std::string &text) { settings.version = parse_version(text); },
           "one to four numbers up to 65535, the missing ones 0: FileVersion, ProductVersion, {VERSION}, "
           "{FILE_VERSION}, {PRODUCT_VERSION} (default: " + version_text(settings.version) + ")")
        ->type_name("A[.B[.C[.D]]]")->group(group);
    app.add_option("--internal-name", settings.internal_name,
                   "InternalName; OriginalFilename is NAME.exe (default: the output's name without .exe)")
        ->type_name("NAME")->group(group);
    app.add_option_function<std::string>(
           "--description", [&settings](const std::string &text) { settings.description = text; },
           "FileDescription, the name Windows shows for the program (default: OriginalFilename)")
        ->type_name("TEXT")->group(group);
    app.add_option("--icon", settings.icons,
                   "seven times: PNG images, 8 bits per channel with alpha, of 16, 24, 32, 48, 64, 128 and 256 "
                   "pixels in this order (default: the icons of the launcher parts)")
        ->type_name("FILE")->allow_extra_args(false)->group(group);
}

} // namespace tarvek
