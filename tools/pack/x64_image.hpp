// The first checks of a Windows image that a launcher loads or starts: a PE
// header, the x86-64 machine, the PE32+ format, and whether it is a library.
#pragma once

#include <span>
#include <string>

#include "image/pe_format.hpp"

namespace tarvek {

enum class image_kind { library, program };

// The headers of `bytes`. Throws tool_error, naming `shown` and the rule,
// unless they are a PE32+ x86-64 image of `kind`; `role` ends each message
// with what the image is for ("the main library must be a 64-bit DLL").
pe::headers read_x64_image(std::span<const uint8_t> bytes, const std::string &shown, image_kind kind,
                           const std::string &role);

} // namespace tarvek
