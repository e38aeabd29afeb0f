#include "payload/folder_records.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>

#include "common/error.hpp"
#include "common/utf.hpp"
#include "payload/windows_names.hpp"

namespace tarvek {

namespace fs = std::filesystem;

namespace {

// The walk of one application folder: every file found, by its entry name.
class folder_walk {
public:
    explicit folder_walk(const fs::path &folder) : folder_(folder)
    {
        std::error_code error;
        if (!fs::is_directory(folder, error))
            throw tool_error(shown(folder) + ": not a folder");
        root_ = fs::canonical(folder, error);
        if (error)
            throw tool_error(shown(folder) + ": " + error.message());
        walk(root_, {});
    }

    struct found_file {
        fs::path relative; // as found below the folder
        fs::path path;     // where its bytes are, links followed
    };
    std::map<std::u16string, found_file> files;

private:
    static std::string shown(const fs::path &path) { return printable(path.string()); }

    // The path as the user named it: the folder as given, then the
    // components below it.
    std::string shown_below(const fs::path &relative) const { return shown(folder_ / relative); }

    [[noreturn]] void fail(const fs::path &relative, const std::string &rule) const
    {
        throw tool_error(shown_below(relative) + ": " + rule);
    }

    std::u16string component_name(const fs::path &relative, const fs::path &component) const
    {
        if (!is_utf8(component.string()))
            fail(relative, "the name is not valid UTF-8, so Windows cannot hold it");
        const std::u16string name = utf8_to_utf16(component.string());
        if (std::optional<std::string> problem = component_problem(name))
            fail(relative, "the name '" + shown(component) + "' " + *problem);
        return name;
    }

    void check_readable(const fs::path &path, const fs::path &relative) const
    {
        int descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (descriptor < 0)
            fail(relative, std::string("cannot be read: ") + std::strerror(errno));
        ::close(descriptor);
    }

    // A symbolic link is followed when it leads to a file or folder inside
    // the application folder that is not one of the folders it lies in.
    fs::path follow_link(const fs::path &path, const fs::path &relative) const
    {
        std::error_code error;
        fs::path target = fs::canonical(path, error);
        if (error)
            fail(relative, "a symbolic link to nothing (" + shown(fs::read_symlink(path, error)) + ")");
        auto [end, at] = std::mismatch(root_.begin(), root_.end(), target.begin(), target.end());
        if (end != root_.end())
            fail(relative, "a symbolic link leading out of " + shown(folder_) + " (to " + shown(target) + ")");
        for (const fs::path &open : open_folders_)
            if (open == target)
                fail(relative, "a symbolic link to a folder that holds it: the folder would never end");
        return target;
    }

    void walk(const fs::path &directory, const fs::path &relative)
    {
        open_folders_.push_back(directory);
        std::error_code error;
        fs::directory_iterator entries(directory, error);
        for (fs::directory_iterator end; !error && entries != end; entries.increment(error)) {
            const fs::path below = relative / entries->path().filename();
            fs::path path = entries->path();
            component_name(below, entries->path().filename());
            fs::file_status status = entries->symlink_status(error);
            if (error)
                break;
            if (fs::is_symlink(status)) {
                path = follow_link(path, below);
                status = fs::status(path, error);
                if (error)
                    break;
            }
            if (fs::is_directory(status)) {
                walk(path, below);
            } else if (fs::is_regular_file(status)) {
                check_readable(path, below);
                add_file(below, path);
            } else {
                fail(below, "neither a file nor a folder");
            }
        }
        if (error)
            fail(relative, "cannot be listed: " + error.message());
        open_folders_.pop_back();
    }

    void add_file(const fs::path &relative, const fs::path &path)
    {
        // On Windows a file is one with every name that differs from it only
        // in letter case, and a folder on the way to another file must not
        // be a file. Folders of different case are one folder: harmless.
        std::u16string name;
        fs::path leading;
        for (const fs::path &component : relative) {
            if (!name.empty()) {
                claim(case_folded(name), leading, true);
                name += u'\\';
            }
            name += utf8_to_utf16(component.string());
            leading /= component;
        }
        if (name.size() > entry_name_max_units)
            fail(relative, "its name has " + std::to_string(name.size()) + " UTF-16 units, more than the " +
                               std::to_string(entry_name_max_units) + " a launcher unpacks");
        claim(case_folded(name), relative, false);
        files.emplace(std::move(name), found_file{relative, path});
    }

    void claim(const std::u16string &folded, const fs::path &spelling, bool as_folder)
    {
        auto [known, added] = claimed_.emplace(folded, claim_entry{spelling, as_folder});
        if (added || (known->second.folder && as_folder))
            return;
        fail(spelling, "'" + shown_below(known->second.spelling) + "' and '" + shown_below(spelling) +
                           "' differ only in letter case: on Windows one would overwrite the other");
    }

    struct claim_entry {
        fs::path spelling;
        bool folder;
    };

    fs::path folder_;
    fs::path root_;
    std::vector<fs::path> open_folders_;
    std::map<std::u16string, claim_entry> claimed_;
};

void add_length_warnings(const folder_walk &walk, const fs::path &folder, std::vector<std::string> &warnings)
{
    for (const auto &[name, file] : walk.files) {
        const size_t joined = typical_target_units + name.size();
        const std::string start = printable((folder / file.relative).string()) +
                                  ": under a typical temporary folder its path would have " +
                                  std::to_string(joined) + " UTF-16 units, ";
        if (joined > longest_joined_path)
            warnings.push_back(start + std::to_string(joined - longest_joined_path) +
                               " more than the launcher holds (" + std::to_string(longest_joined_path) + ")");
        else if (joined > longest_short_path)
            warnings.push_back(start + std::to_string(joined - longest_short_path) + " more than the " +
                               std::to_string(longest_short_path) +
                               " Windows handles where long paths are not enabled; " +
                               std::to_string(longest_joined_path - joined) + " below the launcher's limit");
    }
}

payload_record record_of(const std::u16string &name, const fs::path &file)
{
    std::error_code error;
    const uint64_t size = fs::file_size(file, error);
    if (error)
        throw tool_error("cannot read '" + printable(file.string()) + "': " + error.message());
    return {name, file, size};
}

// With a supplied main library, nothing of the folder may be main.dll on
// Windows: the launcher would write one over the other.
void refuse_own_main_library(const folder_walk &walk, const fs::path &folder)
{
    const std::u16string folded_main = case_folded(main_library_name);
    for (const auto &[name, file] : walk.files) {
        if (case_folded(name.substr(0, name.find(u'\\'))) != folded_main)
            continue;
        const fs::path top = *file.relative.begin();
        throw tool_error(printable((folder / top).string()) +
                         ": the launcher's main.dll, which --run supplies: the folder of a program packed with "
                         "--run holds no main.dll of its own");
    }
}

} // namespace

std::vector<payload_record> folder_records(const fs::path &folder, std::vector<std::string> *warnings,
                                          main_library main)
{
    folder_walk walk(folder);
    auto &files = walk.files;
    if (files.empty())
        throw tool_error(printable(folder.string()) + ": the folder is empty: nothing to pack");
    if (warnings)
        add_length_warnings(walk, folder, *warnings);
    std::vector<payload_record> records;
    if (main == main_library::supplied) {
        refuse_own_main_library(walk, folder);
    } else {
        auto library = files.find(main_library_name);
        if (library == files.end())
            throw tool_error(printable(folder.string()) + ": no main.dll at its top level");
        records.push_back(record_of(library->first, library->second.path));
        files.erase(library);
    }
    // std::map orders the names by their UTF-16 units.
    for (const auto &[name, file] : files)
        records.push_back(record_of(name, file.path));
    return records;
}

} // namespace tarvek
