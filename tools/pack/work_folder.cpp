#include "work_folder.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <string>

#include "pack_error.hpp"
#include "windows_names.hpp"

namespace tarvek {

namespace fs = std::filesystem;

namespace {

volatile std::sig_atomic_t interruption = 0;

extern "C" void note_interruption(int signal) { interruption = signal; }

void sync_path(const fs::path &path, int flags)
{
    int descriptor = ::open(path.c_str(), flags | O_CLOEXEC);
    if (descriptor < 0 || ::fsync(descriptor) != 0) {
        int saved = errno;
        if (descriptor >= 0)
            ::close(descriptor);
        throw pack_error(printable(path.string()) + ": cannot write it to the disk: " + std::strerror(saved));
    }
    ::close(descriptor);
}

} // namespace

work_folder::work_folder(const fs::path &output)
{
    fs::path parent = output.parent_path().empty() ? fs::path(".") : output.parent_path();
    std::string name = ".";
    name += output.filename().string();
    name += ".tarvek-pack-XXXXXX";
    std::string pattern = (parent / name).string();
    if (::mkdtemp(pattern.data()) == nullptr)
        throw pack_error(printable(parent.string()) + ": cannot write beside the output: " + std::strerror(errno));
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
        throw pack_error(printable(output.string()) + ": cannot put the launcher there: " + error.message());
    fs::path parent = output.parent_path().empty() ? fs::path(".") : output.parent_path();
    sync_path(parent, O_RDONLY | O_DIRECTORY);
}

void catch_interruptions()
{
    struct sigaction action = {};
    action.sa_handler = note_interruption;
    sigemptyset(&action.sa_mask);
    for (int signal : {SIGINT, SIGTERM, SIGHUP})
        sigaction(signal, &action, nullptr);
}

void stop_if_interrupted()
{
    if (interruption != 0)
        throw interrupted_error{interruption};
}

} // namespace tarvek
