#include "common/command_line.hpp"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <optional>
#include <sstream>
#include <string_view>
#include <vector>

#include "common/error.hpp"
#include "common/interruption.hpp"

namespace tarvek {

namespace {

// Greedy word wrap to `width` columns; paragraphs (blank lines) and
// explicit line breaks stay.
std::string wrapped(const std::string &text, size_t width)
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

// Edits (insertions, deletions, substitutions) that turn `a` into `b`.
size_t edit_distance(const std::string &a, const std::string &b)
{
    std::vector<size_t> row(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j)
        row[j] = j;
    for (size_t i = 1; i <= a.size(); ++i) {
        size_t diagonal = row[0];
        row[0] = i;
        for (size_t j = 1; j <= b.size(); ++j) {
            const size_t above = row[j];
            row[j] = std::min({above + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

// "unknown option --colour (the closest is --company)" for the first
// argument the option library did not expect that looks like an option.
std::string unknown_option(const CLI::App &app, const CLI::ExtrasError &error)
{
    std::vector<std::string> extras = app.remaining();
    auto given = std::find_if(extras.begin(), extras.end(), [](const std::string &a) { return a.rfind("-", 0) == 0; });
    if (given == extras.end())
        return error.what();
    const std::string name = given->substr(0, given->find('='));
    std::string closest;
    size_t best = 0;
    for (const CLI::Option *option : app.get_options()) {
        if (option == app.get_help_ptr())
            continue;
        for (const std::vector<std::string> *names : {&option->get_lnames(), &option->get_snames()}) {
            for (const std::string &known : *names) {
                const std::string spelled = (names == &option->get_lnames() ? "--" : "-") + known;
                const size_t distance = edit_distance(name, spelled);
                if (closest.empty() || distance < best) {
                    closest = spelled;
                    best = distance;
                }
            }
        }
    }
    return "unknown option " + name + (closest.empty() ? "" : " (the closest is " + closest + ")");
}

// What --version means at argv[at]: nothing when it is no --version; the
// empty string when it asks for the tool's version; else the value that
// follows it (--version=V, or --version V with V no option), which older
// command lines gave as the application's version.
std::optional<std::string> version_request(int argc, char **argv, int at)
{
    const std::string_view argument = argv[at];
    if (argument.rfind("--version=", 0) == 0)
        return std::string(argument.substr(std::string_view("--version=").size()));
    if (argument != "--version")
        return std::nullopt;
    if (at + 1 < argc && argv[at + 1][0] != '-')
        return std::string(argv[at + 1]);
    return std::string();
}

} // namespace

const char *project_version()
{
    return TARVEK_VERSION;
}

void set_usage(CLI::App &app, std::string usage)
{
    app.formatter(std::make_shared<usage_formatter>(std::move(usage)));
}

int tool_main(const char *name, CLI::App &app, int argc, char **argv, const std::function<int()> &body)
{
    // Help wherever it is asked for, even where an option would take it for
    // its value (--payload --help).
    if (app.get_option_no_throw("--version") == nullptr)
        app.set_version_flag("--version", "", "print the tool's version and exit");
    for (int i = 1; i < argc; ++i) {
        if (std::string_view(argv[i]) == "-h" || std::string_view(argv[i]) == "--help") {
            std::fputs(app.help().c_str(), stdout);
            return 0;
        }
    }
    try {
        for (int i = 1; i < argc; ++i) {
            std::optional<std::string> version = version_request(argc, argv, i);
            if (!version)
                continue;
            if (version->empty()) {
                std::printf("%s %s\n", name, project_version());
                return 0;
            }
            throw usage_error{"--version takes no value: it prints the tool's own version" +
                              (app.get_option_no_throw("--app-version") != nullptr
                                   ? "; the application's version is --app-version " + *version
                                   : std::string())};
        }
        try {
            app.parse(argc, argv);
        } catch (const CLI::ExtrasError &error) {
            throw usage_error{unknown_option(app, error)};
        } catch (const CLI::ParseError &error) {
            throw usage_error{error.what()};
        }
        return body();
    } catch (const usage_error &error) {
        std::fprintf(stderr, "%s: %s\n(%s --help lists the options)\n", name, error.message.c_str(), name);
        return 2;
    } catch (const tool_error &error) {
        std::fprintf(stderr, "%s: %s\n", name, error.what());
        return 1;
    } catch (const interrupted_error &error) {
        std::fprintf(stderr, "%s: interrupted; nothing was written\n", name);
        return 128 + error.signal;
    }
}

} // namespace tarvek
