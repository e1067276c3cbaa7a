#include "DescriptorBudget.h"

#include <dirent.h>
#include <sys/resource.h>

namespace {

// Descriptors kept free for what is not a port: lock files being written,
// the standard streams' work, pipes.
const std::size_t RESERVE = 32;

// Descriptors open now, counted in /proc/self/fd; 0 when it cannot be read.
std::size_t OpenDescriptors()
{
    DIR* const folder = opendir("/proc/self/fd");
    if (folder == nullptr) {
        return 0;
    }
    std::size_t count = 0;
    while (const struct dirent* entry = readdir(folder)) {
        count += entry->d_name[0] != '.' ? 1 : 0;
    }
    closedir(folder);
    return count;
}

}  // namespace

std::size_t SpareDescriptors(std::size_t wanted)
{
    struct rlimit limit;
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0) {
        return wanted;  // nothing known: try, and let a failed open say so
    }
    const std::size_t open = OpenDescriptors();
    const rlim_t needed = static_cast<rlim_t>(open + RESERVE + wanted);
    if (limit.rlim_cur != RLIM_INFINITY && limit.rlim_cur < needed) {
        struct rlimit raised = limit;
        raised.rlim_cur = limit.rlim_max == RLIM_INFINITY || limit.rlim_max > needed ? needed : limit.rlim_max;
        if (setrlimit(RLIMIT_NOFILE, &raised) == 0) {
            limit = raised;
        }
    }
    if (limit.rlim_cur == RLIM_INFINITY) {
        return wanted;
    }
    const rlim_t used = static_cast<rlim_t>(open + RESERVE);
    return limit.rlim_cur > used ? static_cast<std::size_t>(limit.rlim_cur - used) : 0;
}
