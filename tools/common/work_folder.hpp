// Where a tool puts its intermediate files and its output until it is
// complete: a fresh hidden folder beside the output, so that the finished
// file is renamed into place on the same file system. The folder and
// everything in it go when the work ends, however it ends short of a kill:
// an interrupt or termination signal stops the work at its next step
// (common/interruption.hpp). What a killed run left, the next run of the
// same tool in that folder removes.
#pragma once

#include <filesystem>

namespace tarvek {

class work_folder {
public:
    // Makes ".NAME.TOOL-PID-XXXXXX" beside `output`, NAME being the output's
    // file name and PID this process's id, and locks it (flock) for as long
    // as it lives. First removes the folders of that form, for any NAME,
    // whose process has ended and whose lock nobody holds. Throws
    // tool_error when no folder can be made there.
    work_folder(const std::filesystem::path &output, const char *tool);
    ~work_folder();
    work_folder(const work_folder &) = delete;
    work_folder &operator=(const work_folder &) = delete;

    const std::filesystem::path &path() const { return path_; }

    // Moves `file` (in this folder) to `output` in one step, after its bytes
    // are on the disk: the output is the old file or the new one, never a
    // part of either.
    void commit(const std::filesystem::path &file, const std::filesystem::path &output);

private:
    std::filesystem::path path_;
    int lock_ = -1;
};

} // namespace tarvek
