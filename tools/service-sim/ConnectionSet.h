#pragma once

#include <cstddef>
#include <functional>
#include <list>
#include <mutex>
#include <thread>

namespace servicesim {

// The open connections, each served on a thread of its own. The set owns the
// sockets: a connection's socket is closed under the set's lock once its
// thread is done with it, so `shutdownAll` never touches a reused descriptor.
class ConnectionSet {
public:
    using Serve = std::function<void(int fd)>;

    ConnectionSet() = default;
    ConnectionSet(const ConnectionSet&) = delete;
    ConnectionSet& operator=(const ConnectionSet&) = delete;
    ~ConnectionSet();

    // Serves the accepted socket `fd` on a new thread; reaps finished ones first.
    void start(int fd, Serve serve);

    // Wakes every thread blocked on its socket; their reads end, their writes fail.
    void shutdownAll();

    // Waits for every connection thread to end.
    void joinAll();

    std::size_t openCount() const;

private:
    struct Connection {
        std::thread thread;
        int fd = -1;
        bool finished = false;
    };

    void finish(Connection& connection);
    void reapFinished();

    mutable std::mutex mutex;
    std::list<Connection> connections; // a list: threads hold references into it
};

} // namespace servicesim
