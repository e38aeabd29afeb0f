#include "launcher/ending_job.hpp"

#include "paths/unique_handle.hpp"

static_assert(JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE == 0x2000 && JOB_OBJECT_LIMIT_SILENT_BREAKAWAY_OK == 0x1000 &&
              JOB_OBJECT_LIMIT_BREAKAWAY_OK == 0x800);

void join_ending_job(HANDLE process, DWORD breakaway_limit)
{
    // Not inheritable: a process that held the handle would keep the job open.
    unique_handle job(CreateJobObjectW(nullptr, nullptr));
    if (!job)
        return;
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE | breakaway_limit;
    if (!SetInformationJobObject(job.get(), JobObjectExtendedLimitInformation, &limits, sizeof limits) ||
        !AssignProcessToJobObject(job.get(), process))
        return;
    // Open until this process ends.
    job.release();
}
