#include "archives/UnpackThread.h"

#include "archives/LowPriority.h"
#include "archives/SetUnpacker.h"

namespace tolvenka::archives {

UnpackThread::UnpackThread(UnpackRequest request, std::function<void(UnpackOutcome)> whenDone)
    : request(std::move(request))
    , thread([this, done = std::move(whenDone)] { run(done); }) {}

UnpackThread::~UnpackThread() {
    cancel();
    thread.join();
}

void UnpackThread::run(const std::function<void(UnpackOutcome)>& whenDone) {
    lowerThisThreadsPriority();
    UnpackOutcome outcome = SetUnpacker(request, cancelled, progress).run();
    finished.store(true);
    if (whenDone) {
        whenDone(std::move(outcome));
    }
}

} // namespace tolvenka::archives
