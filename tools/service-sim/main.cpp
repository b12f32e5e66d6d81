// tolvenka-service-sim: the simulated file-hosting service as a program, for
// the demo, the benchmarks and trying the conversation by hand with curl.

#include "tools/service-sim/CommandLine.h"
#include "tools/service-sim/ServiceSim.h"

#include <csignal>
#include <exception>
#include <iostream>
#include <pthread.h>

namespace {

// Blocks the stop signals in this thread and, so, in every thread started
// after it; the main thread then takes them with sigwait.
sigset_t blockStopSignals() {
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    return signals;
}

int serve(const servicesim::CommandLine& line) {
    const sigset_t stopSignals = blockStopSignals();
    servicesim::ServiceSim sim(line.port);
    std::cout << sim.host() << '\n';
    for (const auto& file : line.files) {
        std::cout << sim.addFile(file) << '\n';
    }
    std::cout.flush();
    int received = 0;
    sigwait(&stopSignals, &received);
    sim.stop();
    // What each file was asked for, for benchmarks that count conversations.
    for (const auto& file : line.files) {
        std::cerr << file.id << ": " << sim.attempts(file.id) << " link page requests, "
                  << sim.transfers(file.id) << " transfers\n";
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    try {
        const auto line =
            servicesim::CommandLine::parse(std::vector<std::string>(argv + 1, argv + argc));
        if (line.helpWanted) {
            std::cout << servicesim::CommandLine::usage();
            return 0;
        }
        return serve(line);
    } catch (const std::invalid_argument& error) {
        std::cerr << "tolvenka-service-sim: " << error.what() << "\n"
                  << "Try 'tolvenka-service-sim --help'.\n";
        return 2;
    } catch (const std::exception& error) {
        std::cerr << "tolvenka-service-sim: " << error.what() << "\n";
        return 1;
    }
}
