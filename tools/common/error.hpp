// The one error type of the host tools: a message fit to show the user on
// one line, naming the file and the rule. A tool prints it after its own
// name and exits with status 1 (tool_main in common/command_line.hpp).
#pragma once

#include <stdexcept>
#include <string>

namespace tarvek {

class tool_error : public std::runtime_error {
public:
    explicit tool_error(const std::string &message) : std::runtime_error(message) {}
};

} // namespace tarvek
