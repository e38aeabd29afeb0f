// The error type of tarvek-pack: one line fit to show the user, naming the
// file and the rule.
#pragma once

#include <stdexcept>
#include <string>

namespace tarvek {

class pack_error : public std::runtime_error {
public:
    explicit pack_error(const std::string &message) : std::runtime_error(message) {}
};

} // namespace tarvek
