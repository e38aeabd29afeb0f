#include "manifest_xml.hpp"

#include <algorithm>
#include <cctype>
#include <stdexcept>

namespace tarvek::check {

namespace {

class parser {
public:
    explicit parser(const std::string &text) : text_(text) {}

    xml_element document()
    {
        xml_element root = element();
        skip_blanks();
        if (at_ != text_.size())
            fail("text after the root element");
        return root;
    }

private:
    [[noreturn]] void fail(const std::string &what) const
    {
        throw std::runtime_error(what + " at byte " + std::to_string(at_));
    }

    void skip_blanks()
    {
        while (at_ < text_.size() && (text_[at_] == ' ' || text_[at_] == '\t' || text_[at_] == '\n' || text_[at_] == '\r'))
            ++at_;
    }

    void expect(char c)
    {
        if (at_ >= text_.size() || text_[at_] != c)
            fail(std::string("expected '") + c + "'");
        ++at_;
    }

    std::string name()
    {
        size_t start = at_;
        while (at_ < text_.size() && (std::isalnum(static_cast<unsigned char>(text_[at_])) || text_[at_] == ':' ||
                                      text_[at_] == '_' || text_[at_] == '-' || text_[at_] == '.'))
            ++at_;
        if (at_ == start)
            fail("expected a name");
        return text_.substr(start, at_ - start);
    }

    xml_element element()
    {
        skip_blanks();
        expect('<');
        xml_element e;
        e.name = name();
        for (;;) {
            skip_blanks();
            if (at_ < text_.size() && text_[at_] == '/') {
                ++at_;
                expect('>');
                return e;
            }
            if (at_ < text_.size() && text_[at_] == '>') {
                ++at_;
                break;
            }
            std::string attribute = name();
            skip_blanks();
            expect('=');
            skip_blanks();
            expect('"');
            size_t end = text_.find('"', at_);
            if (end == std::string::npos)
                fail("unterminated attribute value");
            e.attributes.emplace_back(attribute, text_.substr(at_, end - at_));
            at_ = end + 1;
        }
        for (;;) {
            size_t open = text_.find('<', at_);
            if (open == std::string::npos)
                fail("element " + e.name + " not closed");
            e.text += text_.substr(at_, open - at_);
            at_ = open;
            if (text_.compare(at_, 2, "</") == 0) {
                at_ += 2;
                if (name() != e.name)
                    fail("element " + e.name + " closed by another name");
                skip_blanks();
                expect('>');
                break;
            }
            if (text_.compare(at_, 2, "<?") == 0 || text_.compare(at_, 2, "<!") == 0)
                fail("declaration, comment or section");
            e.children.push_back(element());
        }
        size_t first = e.text.find_first_not_of(" \t\r\n");
        e.text = first == std::string::npos ? "" : e.text.substr(first, e.text.find_last_not_of(" \t\r\n") - first + 1);
        if (e.text.find('&') != std::string::npos)
            fail("entity in the text of " + e.name);
        return e;
    }

    const std::string &text_;
    size_t at_ = 0;
};

} // namespace

xml_element parse_xml(const std::string &text)
{
    if (text.compare(0, 2, "<?") == 0)
        throw std::runtime_error("XML declaration at byte 0");
    return parser(text).document();
}

std::string xml_difference(const xml_element &found, const xml_element &wanted, const std::string &path)
{
    std::string here = path.empty() ? wanted.name : path + "/" + wanted.name;
    if (found.name != wanted.name)
        return here + ": found element " + found.name;
    auto sorted = [](std::vector<std::pair<std::string, std::string>> a) {
        std::sort(a.begin(), a.end());
        return a;
    };
    if (sorted(found.attributes) != sorted(wanted.attributes)) {
        std::string list;
        for (const auto &[key, value] : found.attributes)
            list += " " + key + "=\"" + value + "\"";
        return here + ": attributes are" + (list.empty() ? " none" : list);
    }
    if (found.text != wanted.text)
        return here + ": text is '" + found.text + "', must be '" + wanted.text + "'";
    for (size_t i = 0; i < std::min(found.children.size(), wanted.children.size()); ++i) {
        std::string difference = xml_difference(found.children[i], wanted.children[i], here);
        if (!difference.empty())
            return difference;
    }
    if (found.children.size() != wanted.children.size())
        return here + ": " + std::to_string(found.children.size()) + " child elements, must be " +
               std::to_string(wanted.children.size());
    return "";
}

} // namespace tarvek::check
