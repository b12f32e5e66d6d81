#include "tools/service-sim/ConnectionSet.h"

#include <sys/socket.h>
#include <system_error>
#include <unistd.h>

namespace servicesim {

ConnectionSet::~ConnectionSet() {
    shutdownAll();
    joinAll();
}

void ConnectionSet::start(int fd, Serve serve) {
    reapFinished();
    std::lock_guard lock(mutex);
    Connection& connection = connections.emplace_back();
    connection.fd = fd;
    try {
        connection.thread = std::thread([this, &connection, fd, serve = std::move(serve)] {
            serve(fd);
            finish(connection);
        });
    } catch (const std::system_error&) { // out of threads: refuse this connection
        ::close(fd);
        connections.pop_back();
    }
}

void ConnectionSet::finish(Connection& connection) {
    std::lock_guard lock(mutex);
    ::close(connection.fd);
    connection.fd = -1;
    connection.finished = true;
}

void ConnectionSet::shutdownAll() {
    std::lock_guard lock(mutex);
    for (const auto& connection : connections) {
        if (connection.fd >= 0) {
            ::shutdown(connection.fd, SHUT_RDWR);
        }
    }
}

void ConnectionSet::reapFinished() {
    std::list<Connection> finished;
    {
        std::lock_guard lock(mutex);
        for (auto it = connections.begin(); it != connections.end();) {
            const auto next = std::next(it);
            if (it->finished) {
                finished.splice(finished.end(), connections, it);
            }
            it = next;
        }
    }
    for (auto& connection : finished) {
        connection.thread.join();
    }
}

void ConnectionSet::joinAll() {
    for (;;) {
        std::list<Connection> all;
        {
            std::lock_guard lock(mutex);
            all.splice(all.end(), connections);
        }
        if (all.empty()) {
            return;
        }
        for (auto& connection : all) {
            connection.thread.join();
        }
    }
}

std::size_t ConnectionSet::openCount() const {
    std::lock_guard lock(mutex);
    std::size_t open = 0;
    for (const auto& connection : connections) {
        open += connection.finished ? 0 : 1;
    }
    return open;
}

} // namespace servicesim
