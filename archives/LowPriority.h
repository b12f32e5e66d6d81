#pragma once

namespace tolvenka::archives {

// Puts the calling thread (not the whole program) at the lowest CPU
// priority (nice 19) and into the idle I/O class, so that unpacking takes
// only what nothing else wants. False where the system refused either.
bool lowerThisThreadsPriority();

} // namespace tolvenka::archives
