#pragma once

// A simulated file-hosting service on loopback, for tests, the demo and the
// benchmarks. It is a real HTTP/1.1 server on 127.0.0.1 that plays the free
// download conversation:
//
//   1. GET  http://HOST/files/<id>/<name>   the link page; every GET is a new
//      attempt and plays the next step of the file's script (the last step
//      repeats). Unknown ids get the not-found page.
//   2. POST http://HOST/ff/<id>/<attempt>   body "dl.start=Free": a refusal, a
//      page with none of the known texts, or "var c=N;" and the final form.
//   3. POST http://HOST/dl/<id>/<name>      body "mirror=": the file, whose
//      bytes are fileByte(id, offset), framed and paced as the FileSpec says.
//
// GET /list gives a page that links every file (and a few ordinary pages);
// pages of one's own can be added. Each connection has its own thread; GETs
// may keep the connection alive, HTTP/1.0 and "Connection: close" end it.
// Every well-formed request is logged. All members are safe to call from any
// thread.
//
//   servicesim::ServiceSim sim;
//   servicesim::FileSpec spec;
//   spec.id = "123"; spec.name = "a.zip"; spec.size = 1 << 20;
//   spec.script = {servicesim::Step::ipBusy(), servicesim::Step::countdown("2")};
//   std::string link = sim.addFile(spec); // http://127.0.0.1:PORT/files/123/a.zip

#include "tools/service-sim/FileContent.h"
#include "tools/service-sim/FileSpec.h"
#include "tools/service-sim/LoggedRequest.h"
#include "tools/service-sim/Step.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace servicesim {

class ServiceSim {
public:
    // Starts serving at once. Port 0 lets the system pick one. Throws
    // std::system_error when it cannot listen.
    explicit ServiceSim(std::uint16_t port = 0);
    ServiceSim(const ServiceSim&) = delete;
    ServiceSim& operator=(const ServiceSim&) = delete;
    ~ServiceSim();

    std::uint16_t port() const;
    std::string host() const; // "127.0.0.1:PORT"

    // Offers the file and returns its link. A file with the same id is
    // replaced, and its counts start over. Throws std::invalid_argument for an
    // id that is not all digits or a name that cannot stand in a link.
    std::string addFile(const FileSpec& spec);
    // Serves `html` at `path` (without query) to GET requests.
    void addPage(const std::string& path, std::string html);

    std::string listUrl() const;
    // Where the final form of the file points: POST "mirror=" here for the file.
    std::string finalFormUrl(const std::string& id) const;

    int attempts(const std::string& id) const;  // GETs of the link page so far
    int transfers(const std::string& id) const; // file replies begun so far

    std::vector<LoggedRequest> requests() const;
    void clearRequests();

    // Stops listening, cuts every open connection and waits for their
    // threads; idempotent.
    void stop();

private:
    class Impl;
    std::unique_ptr<Impl> impl;
};

} // namespace servicesim
