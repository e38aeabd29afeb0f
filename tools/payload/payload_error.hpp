// The one error type of the payload writer: a message fit to show the user.
#pragma once

#include <stdexcept>
#include <string>

namespace tarvek {

class payload_error : public std::runtime_error {
public:
    explicit payload_error(const std::string &message) : std::runtime_error(message) {}
};

} // namespace tarvek
