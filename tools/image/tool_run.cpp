#include "image/tool_run.hpp"

#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstring>

#include "common/error.hpp"

extern char **environ;

namespace tarvek {

namespace {

// The Debian package that brings each tool the link runs.
std::string package_of(const std::string &tool)
{
    if (tool == "lld-link")
        return "lld";
    if (tool == "llvm-rc")
        return "llvm";
    return tool;
}

} // namespace

void run_tool(const std::vector<std::string> &arguments, const std::filesystem::path &directory,
              const std::string &failure_hint)
{
    std::vector<char *> argv;
    for (const std::string &argument : arguments)
        argv.push_back(const_cast<char *>(argument.c_str()));
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addchdir_np(&actions, directory.c_str());
    pid_t pid = 0;
    int error = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0)
        throw tool_error("cannot run " + arguments[0] + ": " + std::strerror(error) +
                         (error == ENOENT ? "; it comes with Debian's package " + package_of(arguments[0]) +
                                                " (apt-get install " + package_of(arguments[0]) + ")"
                                          : ""));

    int status = 0;
    while (waitpid(pid, &status, 0) < 0)
        if (errno != EINTR)
            throw tool_error("lost " + arguments[0] + ": " + std::strerror(errno));
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0)
        return;
    throw tool_error(arguments[0] +
                     (WIFEXITED(status) ? " failed with exit code " + std::to_string(WEXITSTATUS(status))
                                        : " ended by signal " + std::to_string(WTERMSIG(status))) +
                     failure_hint);
}

} // namespace tarvek
