// Where a pack puts its intermediate files and the new launcher until it is
// complete: a fresh hidden folder beside the output, so that the finished
// executable is renamed into place on the same file system. The folder and
// everything in it go when the pack ends, however it ends short of a kill:
// an interrupt or termination signal stops the work at the next step.
#pragma once

#include <filesystem>

namespace tarvek {

class work_folder {
public:
    // Throws pack_error when no folder can be made beside `output`.
    explicit work_folder(const std::filesystem::path &output);
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
};

// Interrupt, termination and hang-up signals set a flag instead of ending
// the process; stop_if_interrupted throws interrupted_error once it is set.
void catch_interruptions();
void stop_if_interrupted();

struct interrupted_error {
    int signal;
};

} // namespace tarvek
