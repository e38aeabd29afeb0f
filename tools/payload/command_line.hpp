// Command lines of the host tools: parsing with the option library, and
// help text with the usage line first, then the description and the option
// groups, every text wrapped to 79 columns.
#pragma once

#include <CLI/CLI.hpp>

#include <cstdio>
#include <memory>
#include <sstream>
#include <string>

namespace tarvek {

// Greedy word wrap to `width` columns; paragraphs (blank lines) and
// explicit line breaks stay.
inline std::string wrapped(const std::string &text, size_t width)
{
    std::string out;
    std::istringstream lines(text);
    std::string line;
    bool first_line = true;
    while (std::getline(lines, line)) {
        if (!first_line)
            out += '\n';
        first_line = false;
        std::istringstream words(line);
        std::string word;
        size_t column = 0;
        // Leading blanks of a line are kept: they indent lists.
        size_t indent = line.find_first_not_of(' ');
        if (indent != std::string::npos && indent > 0) {
            out.append(indent, ' ');
            column = indent;
        }
        size_t start = column;
        while (words >> word) {
            if (column > start && column + 1 + word.size() > width) {
                out += '\n';
                out.append(start, ' ');
                column = start;
            } else if (column > start) {
                out += ' ';
                ++column;
            }
            out += word;
            column += word.size();
        }
    }
    return out;
}

class usage_formatter : public CLI::Formatter {
public:
    static constexpr size_t columns = 79;
    explicit usage_formatter(std::string usage) : usage_(std::move(usage)) { column_width(26); }
    std::string make_usage(const CLI::App *app, std::string) const override
    {
        return usage_ + "\n\n" + wrapped(app->get_description(), columns) + "\n\n";
    }
    // One blank line between groups, not two.
    std::string make_group(std::string group, bool is_positional, std::vector<const CLI::Option *> opts) const override
    {
        std::string out = group + ":\n";
        for (const CLI::Option *option : opts)
            out += make_option(option, is_positional);
        return out;
    }
    std::string make_description(const CLI::App *) const override { return ""; }
    std::string make_positionals(const CLI::App *app) const override
    {
        std::string out = CLI::Formatter::make_positionals(app);
        return out.empty() ? out : out + "\n";
    }
    // The value's name only: no "Excludes:", no repeat counts.
    std::string make_option_opts(const CLI::Option *option) const override
    {
        return option->get_type_name().empty() ? "" : " " + option->get_type_name();
    }
    std::string make_option_desc(const CLI::Option *option) const override
    {
        return wrapped(option->get_description(), columns - get_column_width());
    }
    std::string make_footer(const CLI::App *app) const override
    {
        return app->get_footer().empty() ? "" : wrapped(app->get_footer(), columns) + "\n";
    }

private:
    std::string usage_;
};

// Replaces the option library's generated usage line by `usage` (which may
// span lines).
inline void set_usage(CLI::App &app, std::string usage)
{
    app.formatter(std::make_shared<usage_formatter>(std::move(usage)));
}

// A number option's check: `low`..`high`, and `why` in the error.
template <typename T> CLI::Validator number_in(T low, T high, std::string why = "")
{
    return CLI::Validator(
        [low, high, why](std::string &text) -> std::string {
            T value{};
            if (!CLI::detail::lexical_cast(text, value) || value < low || value > high)
                return "wants " + std::to_string(low) + ".." + std::to_string(high) + (why.empty() ? "" : ": " + why) +
                       ", not '" + text + "'";
            return "";
        },
        "");
}

// A command line that is not understood; the tools exit with status 2.
struct usage_error {
    std::string message;
};

// Parses the command line. Returns false after printing the help for -h or
// --help (the tool then exits 0); throws usage_error for what the option
// library refuses.
inline bool parse_command_line(CLI::App &app, int argc, char **argv)
{
    try {
        app.parse(argc, argv);
        return true;
    } catch (const CLI::CallForHelp &) {
        std::fputs(app.help().c_str(), stdout);
        return false;
    } catch (const CLI::ParseError &error) {
        throw usage_error{error.what()};
    }
}

} // namespace tarvek
