#pragma once

#include "tools/service-sim/FileCatalog.h"
#include "tools/service-sim/HttpRequest.h"
#include "tools/service-sim/HttpResponse.h"
#include "tools/service-sim/PageStore.h"
#include "tools/service-sim/StopSignal.h"

#include <string>
#include <string_view>
#include <vector>

namespace servicesim {

// Answers the requests of the service's address space:
//   GET  /files/<id>/<name>    the link page; each GET is a new attempt
//   POST /ff/<id>/<attempt>    the free form of that attempt, body "dl.start=Free"
//   POST /dl/<id>/<name>       the final form, body "mirror=": the file
//   GET  /list, /about         a page of links, an ordinary page
//   any path added as a page   that page
// Everything else is 404.
class ServiceHandler {
public:
    ServiceHandler(std::string host, FileCatalog& catalog, PageStore& pages,
                   const StopSignal& stop);

    // Serves one request on the connection; true when it stays open.
    bool serve(int fd, const HttpRequest& request);

    // The addresses that pages give, under `origin` ("scheme://host:port"),
    // the service's own when empty.
    std::string linkOf(const FileSpec& spec, const std::string& origin = {}) const;
    std::string freeFormUrlOf(const std::string& id, int attempt,
                              const std::string& origin = {}) const;
    std::string finalFormUrlOf(const FileSpec& spec, const std::string& origin = {}) const;

private:
    // Where the client reached the service: behind a site that terminates
    // TLS (X-Forwarded-Proto, X-Forwarded-Host), the site's address, so that
    // the pages lead back through it; otherwise the service's own.
    std::string originOf(const HttpRequest& request) const;
    // `origin`, or the service's own plain http one when it is empty.
    std::string originOr(const std::string& origin) const;
    HttpResponse pageResponse(const HttpRequest& request);
    HttpResponse linkPage(std::string_view id, const std::string& origin);
    HttpResponse freeFormReply(std::string_view id, std::string_view attempt,
                               const std::string& body, const std::string& origin);
    bool finalFormReply(int fd, std::string_view id, const HttpRequest& request);
    HttpResponse ordinaryPage(const HttpRequest& request) const;

    const std::string host;
    FileCatalog& catalog;
    PageStore& pages;
    const StopSignal& stop;
};

} // namespace servicesim
