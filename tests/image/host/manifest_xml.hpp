// The little XML that a process manifest is: elements, attributes in double
// quotes, text. Anything else (declarations, comments, entities) is refused.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace tarvek::check {

struct xml_element {
    std::string name;
    std::vector<std::pair<std::string, std::string>> attributes;
    std::string text; // the element's own text, blanks around it removed
    std::vector<xml_element> children;
};

// Parses one element that makes up the whole of `text`; throws
// std::runtime_error saying where it stopped.
xml_element parse_xml(const std::string &text);

// Empty when `found` is `wanted` (attributes in any order), else where and
// how they first differ.
std::string xml_difference(const xml_element &found, const xml_element &wanted, const std::string &path = "");

} // namespace tarvek::check
