#pragma once

#include <string>

namespace tolvenka {

// The service's host name: the host of its file links, and the kind name of
// its downloads in the registry and in the queue file.
const std::string& serviceHost();

// Sets the host up from the environment: TOLVENKA_SERVICE_HOST (for example
// "127.0.0.1:8080", to point the program at a simulated service) replaces the
// default. Called once at start-up, before any thread starts and before the
// registry is built; tests call it again after changing the variable.
void setUpServiceHost();

} // namespace tolvenka
