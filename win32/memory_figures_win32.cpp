// The memory figures on Windows: the physical memory available, and the limits of the job
// object the process may run in.
#include <windows.h>
#include <psapi.h>

#include <algorithm>

#include "engine/memory_budget.h"

namespace ostrel {

MemoryFigures ReadMemoryFigures() {
    MemoryFigures figures;
    MEMORYSTATUSEX status{};
    status.dwLength = sizeof status;
    if (GlobalMemoryStatusEx(&status)) figures.available = status.ullAvailPhys;

    // A job sets a limit per process, on all of its processes together, or both; a process in
    // no job has neither flag set.
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION job{};
    if (!QueryInformationJobObject(nullptr, JobObjectExtendedLimitInformation, &job, sizeof job,
                                   nullptr))
        return figures;
    const DWORD flags = job.BasicLimitInformation.LimitFlags;
    std::uint64_t limit = 0;
    if ((flags & JOB_OBJECT_LIMIT_PROCESS_MEMORY) && job.ProcessMemoryLimit != 0)
        limit = job.ProcessMemoryLimit;
    if ((flags & JOB_OBJECT_LIMIT_JOB_MEMORY) && job.JobMemoryLimit != 0)
        limit =
            limit == 0 ? job.JobMemoryLimit : std::min<std::uint64_t>(limit, job.JobMemoryLimit);
    // The limit counts the memory committed, the program's own too: what is committed already
    // is not the run's to use. (Untested: no job object limits a process under Wine here.)
    PROCESS_MEMORY_COUNTERS_EX counters{};
    counters.cb = sizeof counters;
    if (limit != 0 && K32GetProcessMemoryInfo(GetCurrentProcess(),
                                              reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                                              sizeof counters))
        limit = limit > counters.PrivateUsage ? limit - counters.PrivateUsage : 1;
    figures.processLimit = limit;
    return figures;
}

void ConfineMemory() {}

}  // namespace ostrel
