// Until the image library links launchers with resources: the same request,
// linked through the build's tarvek-link-launcher script. Icons and the
// version resource are not written yet; the compiled-in texts are.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace tarvek {

struct launcher_settings {
    std::string company = "Tarvek";
    std::string product = "Tarvek Onefile application";
    std::array<uint16_t, 4> version = {1, 0, 0, 0};
    std::string internal_name;
    std::vector<std::filesystem::path> icons;
};

struct launcher_link_request {
    std::filesystem::path parts;
    std::filesystem::path stored_payload;
    std::filesystem::path output;
    launcher_settings settings;
};

void check_settings(const launcher_settings &settings);
void link_launcher(const launcher_link_request &request);
std::filesystem::path launcher_parts_folder();

} // namespace tarvek
