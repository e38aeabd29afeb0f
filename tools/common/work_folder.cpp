#include "common/work_folder.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
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

} // namespace

work_folder::work_folder(const fs::path &output, const char *tool)
{
    // Absolute: the tools that work in it (lld-link) run there.
    const fs::path parent = folder_of(fs::absolute(output));
    std::string name = ".";
    name += output.filename().string();
    name += '.';
    name += tool;
    name += "-XXXXXX";
    std::string pattern = (parent / name).string();
    if (::mkdtemp(pattern.data()) == nullptr)
        throw tool_error(printable(parent.string()) + ": cannot make a work folder beside the output: " +
                         std::strerror(errno));
    path_ = pattern;
}

work_folder::~work_folder()
{
    std::error_code ignored;
    fs::remove_all(path_, ignored);
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
