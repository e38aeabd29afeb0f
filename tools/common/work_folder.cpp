#include "common/work_folder.hpp"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <string>

#include "common/error.hpp"
#include "common/interruption.hpp"
#include "common/utf.hpp"

namespace tarvek {

namespace fs = std::filesystem;

namespace {

fs::path folder_of(const fs::path &output)
{
    return output.parent_path().empty() ? fs::path(".") : output.parent_path();
}

void sync_path(const fs::path &path, int flags)
{
    int descriptor = ::open(path.c_str(), flags | O_CLOEXEC);
    if (descriptor < 0 || ::fsync(descriptor) != 0) {
        int saved = errno;
        if (descriptor >= 0)
            ::close(descriptor);
        throw tool_error(printable(path.string()) + ": cannot write it to the disk: " + std::strerror(saved));
    }
    ::close(descriptor);
}

constexpr size_t random_letters = 6; // mkdtemp's XXXXXX

// The process id in `name` when it is a work folder of `tool`,
// ".NAME.TOOL-PID-XXXXXX", else 0.
pid_t owner_of(const std::string &name, const std::string &tool)
{
    const std::string marker = "." + tool + "-";
    const size_t at = name.rfind(marker);
    if (name.empty() || name[0] != '.' || at == std::string::npos || at == 0)
        return 0;
    const std::string rest = name.substr(at + marker.size());
    const size_t dash = rest.find('-');
    if (dash == std::string::npos || dash == 0 || dash > 9 || rest.size() != dash + 1 + random_letters)
        return 0;
    for (size_t i = 0; i < rest.size(); ++i) {
        const auto c = static_cast<unsigned char>(rest[i]);
        if (i < dash ? !std::isdigit(c) : i > dash && !std::isalnum(c))
            return 0;
    }
    return static_cast<pid_t>(std::stol(rest.substr(0, dash)));
}

// Removes the work folders of `tool` in `parent` that a process of this
// user left when it was killed: the process named in the folder's name no
// longer exists, and no process holds the folder's lock (a live one in
// another process-id space, or one that reused the id, keeps it). A folder
// that cannot be removed whole stays, for a later run.
void remove_stale_folders(const fs::path &parent, const std::string &tool)
{
    std::error_code error;
    for (fs::directory_iterator entries(parent, error), end; !error && entries != end; entries.increment(error)) {
        const fs::path path = entries->path();
        const pid_t owner = owner_of(path.filename().string(), tool);
        if (owner <= 0 || owner == ::getpid() || ::kill(owner, 0) == 0 || errno != ESRCH)
            continue;
        const int folder = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (folder < 0)
            continue;
        struct stat status = {};
        if (::fstat(folder, &status) == 0 && status.st_uid == ::geteuid() && ::flock(folder, LOCK_EX | LOCK_NB) == 0) {
            std::error_code ignored;
            fs::remove_all(path, ignored);
        }
        ::close(folder);
    }
}

} // namespace

work_folder::work_folder(const fs::path &output, const char *tool)
{
    // Absolute: the tools that work in it (lld-link) run there.
    const fs::path parent = folder_of(fs::absolute(output));
    remove_stale_folders(parent, tool);
    std::string name = ".";
    name += output.filename().string();
    name += '.';
    name += tool;
    name += '-';
    name += std::to_string(::getpid());
    name += '-';
    name.append(random_letters, 'X');
    std::string pattern = (parent / name).string();
    if (::mkdtemp(pattern.data()) == nullptr)
        throw tool_error(printable(parent.string()) + ": cannot make a work folder beside the output: " +
                         std::strerror(errno));
    path_ = pattern;
    // Held until the folder is gone: the mark of a live owner.
    lock_ = ::open(path_.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (lock_ < 0 || ::flock(lock_, LOCK_EX) != 0) {
        const int saved = errno;
        std::error_code ignored;
        fs::remove_all(path_, ignored);
        if (lock_ >= 0)
            ::close(lock_);
        throw tool_error(printable(path_.string()) + ": cannot lock the work folder: " + std::strerror(saved));
    }
}

work_folder::~work_folder()
{
    std::error_code ignored;
    fs::remove_all(path_, ignored);
    if (lock_ >= 0)
        ::close(lock_);
}

void work_folder::commit(const fs::path &file, const fs::path &output)
{
    sync_path(file, O_RDONLY);
    stop_if_interrupted();
    std::error_code error;
    fs::rename(file, output, error);
    if (error)
        throw tool_error(printable(output.string()) + ": cannot put the launcher there: " + error.message());
    sync_path(folder_of(output), O_RDONLY | O_DIRECTORY);
}

} // namespace tarvek
