// What Windows can hold as a file name, and when two names are one file
// there. Used for the names of an application folder before they are
// packed, and for the names read back from a launcher's payload.
#pragma once

#include <optional>
#include <string>

namespace tarvek {

// Why one path component cannot be a Windows file name, as words that
// follow "the name 'X' ", or nothing when it can: empty, a control character or one of <>:"/\|?*, a trailing dot or
// space (Windows drops them), or a device name such as CON or COM1, alone
// or with an extension.
std::optional<std::string> component_problem(const std::u16string &component);

// Why a payload entry name (components joined by backslashes) cannot be
// unpacked where it belongs, below the target folder: a component with a
// problem, which includes empty components, "." and "..", a drive colon and
// a forward slash. Nothing when it can.
std::optional<std::string> entry_name_problem(const std::u16string &name);

// The name as Windows compares names: letters in their upper case (the
// simple case mapping of the Basic Multilingual Plane, as NTFS does).
std::u16string case_folded(const std::u16string &name);

} // namespace tarvek
