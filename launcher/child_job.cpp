#include "launcher/child_job.hpp"

#include "paths/unique_handle.hpp"

void join_child_job(HANDLE child)
{
    // Not inheritable: a child that held the handle would keep the job open.
    unique_handle job(CreateJobObjectW(nullptr, nullptr));
    if (!job)
        return;
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
    limits.BasicLimitInformation.LimitFlags =
        JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE | JOB_OBJECT_LIMIT_SILENT_BREAKAWAY_OK;
    static_assert(JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE == 0x2000 && JOB_OBJECT_LIMIT_SILENT_BREAKAWAY_OK == 0x1000);
    if (!SetInformationJobObject(job.get(), JobObjectExtendedLimitInformation, &limits, sizeof limits) ||
        !AssignProcessToJobObject(job.get(), child))
        return;
    // Open until this process ends.
    job.release();
}
