#include "tools/service-sim/ServiceSim.h"

#include "tools/service-sim/ConnectionSet.h"
#include "tools/service-sim/FileCatalog.h"
#include "tools/service-sim/HttpResponse.h"
#include "tools/service-sim/Listener.h"
#include "tools/service-sim/PageStore.h"
#include "tools/service-sim/Pages.h"
#include "tools/service-sim/RequestLog.h"
#include "tools/service-sim/RequestReader.h"
#include "tools/service-sim/ServiceHandler.h"
#include "tools/service-sim/SocketIo.h"
#include "tools/service-sim/StopSignal.h"
#include "tools/service-sim/TextUtil.h"

#include <mutex>
#include <stdexcept>
#include <thread>

namespace servicesim {

namespace {

bool isLinkSafe(const std::string& name) {
    if (name.empty()) {
        return false;
    }
    for (char c : name) {
        if (static_cast<unsigned char>(c) <= ' ' ||
            std::string_view("\"'<>?#/\\").find(c) != std::string_view::npos) {
            return false;
        }
    }
    return true;
}

LoggedRequest logEntryOf(const HttpRequest& request) {
    return LoggedRequest{request.method,  request.target, request.version,
                         request.headers, request.body,   0};
}

} // namespace

class ServiceSim::Impl {
public:
    explicit Impl(std::uint16_t port)
        : listener(port)
        , hostName("127.0.0.1:" + std::to_string(listener.port()))
        , handler(hostName, catalog, pages, stopSignal)
        , acceptor([this] { acceptLoop(); }) {}

    ~Impl() { stop(); }

    void stop() {
        std::lock_guard lock(stopMutex);
        if (stopped) {
            return;
        }
        stopped = true;
        stopSignal.raise();
        listener.wake();
        acceptor.join();
        listener.close();
        connections.shutdownAll();
        connections.joinAll();
    }

    void acceptLoop() {
        for (int fd = listener.accept(); fd >= 0; fd = listener.accept()) {
            connections.start(fd, [this](int connectionFd) { serveConnection(connectionFd); });
        }
    }

    void serveConnection(int fd) {
        RequestReader reader(fd);
        HttpRequest request;
        for (;;) {
            const auto result = reader.next(request);
            if (result == RequestReader::Result::Closed) {
                return;
            }
            if (result == RequestReader::Result::Malformed) {
                sendAll(fd, HttpResponse{400, "text/html",
                                         pages::errorPage(400, HttpResponse::reasonOf(400)), true}
                                .serialize());
                break;
            }
            log.add(logEntryOf(request));
            if (!handler.serve(fd, request)) {
                break;
            }
        }
        shutdownAndDrain(fd);
    }

    Listener listener;
    const std::string hostName;
    FileCatalog catalog;
    PageStore pages;
    RequestLog log;
    StopSignal stopSignal;
    ServiceHandler handler;
    ConnectionSet connections;
    std::mutex stopMutex;
    bool stopped = false;
    std::thread acceptor; // last: it starts once everything above exists
};

ServiceSim::ServiceSim(std::uint16_t port)
    : impl(std::make_unique<Impl>(port)) {}

ServiceSim::~ServiceSim() = default;

std::uint16_t ServiceSim::port() const {
    return impl->listener.port();
}

std::string ServiceSim::host() const {
    return impl->hostName;
}

std::string ServiceSim::addFile(const FileSpec& spec) {
    if (!isDigits(spec.id)) {
        throw std::invalid_argument("file id must be decimal digits: " + spec.id);
    }
    if (!isLinkSafe(spec.name)) {
        throw std::invalid_argument("file name cannot stand in a link: " + spec.name);
    }
    impl->catalog.add(spec);
    return impl->handler.linkOf(spec);
}

void ServiceSim::addPage(const std::string& path, std::string html) {
    impl->pages.add(path, std::move(html));
}

std::string ServiceSim::listUrl() const {
    return "http://" + impl->hostName + "/list";
}

std::string ServiceSim::finalFormUrl(const std::string& id) const {
    const auto spec = impl->catalog.find(id);
    return spec ? impl->handler.finalFormUrlOf(*spec) : std::string();
}

int ServiceSim::attempts(const std::string& id) const {
    return impl->catalog.attempts(id);
}

int ServiceSim::transfers(const std::string& id) const {
    return impl->catalog.transfers(id);
}

std::vector<LoggedRequest> ServiceSim::requests() const {
    return impl->log.snapshot();
}

void ServiceSim::clearRequests() {
    impl->log.clear();
}

void ServiceSim::stop() {
    impl->stop();
}

} // namespace servicesim
