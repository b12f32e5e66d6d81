#include "archives/LowPriority.h"

#include <linux/ioprio.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace tolvenka::archives {

bool lowerThisThreadsPriority() {
    const pid_t thread = ::gettid();
    // On Linux a thread id names that thread alone, for both calls.
    const bool nice = ::setpriority(PRIO_PROCESS, static_cast<id_t>(thread), 19) == 0;
    const int idleClass = IOPRIO_CLASS_IDLE << IOPRIO_CLASS_SHIFT;
    const bool idle = ::syscall(SYS_ioprio_set, IOPRIO_WHO_PROCESS, thread, idleClass) == 0;
    return nice && idle;
}

} // namespace tolvenka::archives
