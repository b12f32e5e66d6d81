#pragma once

#include "service/DownloadMaker.h"
#include "service/ServiceHost.h"

namespace fuzzing {

// The service host of the seed files' records and links. Fixed, whatever the
// environment says, so that an input means the same on every machine.
inline constexpr const char* serviceHost = "127.0.0.1:8080";

// Makes `serviceHost` the program's service host and builds the registry of
// download kinds, which lives until the process ends. Call once.
inline void setUpRegistry() {
    tolvenka::setServiceHost(serviceHost);
    static const tolvenka::DownloadMaker registry;
}

} // namespace fuzzing
