// The one error type of the launcher link: a message fit to show the user.
#pragma once

#include <stdexcept>
#include <string>

namespace tarvek {

class image_error : public std::runtime_error {
public:
    explicit image_error(const std::string &message) : std::runtime_error(message) {}
};

} // namespace tarvek
