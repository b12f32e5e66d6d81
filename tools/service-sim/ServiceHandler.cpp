#include "tools/service-sim/ServiceHandler.h"

#include "tools/service-sim/FileSender.h"
#include "tools/service-sim/Pages.h"
#include "tools/service-sim/SocketIo.h"
#include "tools/service-sim/TextUtil.h"

#include <charconv>

namespace servicesim {

namespace {

const char* const FreeFormBody = "dl.start=Free";
const char* const FinalFormBody = "mirror=";

// Splits "/<prefix>/<first>/<rest>" into first and rest; false if the path
// has another shape or <first> is not all digits.
bool splitIdPath(std::string_view path, std::string_view prefix, std::string_view& id,
                 std::string_view& rest) {
    if (!path.starts_with(prefix)) {
        return false;
    }
    path.remove_prefix(prefix.size());
    const auto slash = path.find('/');
    if (slash == std::string_view::npos) {
        return false;
    }
    id = path.substr(0, slash);
    rest = path.substr(slash + 1);
    return isDigits(id);
}

HttpResponse errorResponse(int status, bool closeAfter = false) {
    return HttpResponse{status, "text/html",
                        pages::errorPage(status, HttpResponse::reasonOf(status)), closeAfter};
}

bool sendResponse(int fd, HttpResponse response, const HttpRequest& request) {
    response.closeAfter = response.closeAfter || request.wantsClose();
    return sendAll(fd, response.serialize()) && !response.closeAfter;
}

HttpResponse htmlResponse(std::string body) {
    HttpResponse response;
    response.body = std::move(body);
    return response;
}

} // namespace

ServiceHandler::ServiceHandler(std::string host, FileCatalog& catalog, PageStore& pages,
                               const StopSignal& stop)
    : host(std::move(host))
    , catalog(catalog)
    , pages(pages)
    , stop(stop) {}

std::string ServiceHandler::originOr(const std::string& origin) const {
    return origin.empty() ? "http://" + host : origin;
}

std::string ServiceHandler::linkOf(const FileSpec& spec, const std::string& origin) const {
    return originOr(origin) + "/files/" + spec.id + "/" + spec.name;
}

std::string ServiceHandler::freeFormUrlOf(const std::string& id, int attempt,
                                          const std::string& origin) const {
    return originOr(origin) + "/ff/" + id + "/" + std::to_string(attempt);
}

std::string ServiceHandler::finalFormUrlOf(const FileSpec& spec, const std::string& origin) const {
    return originOr(origin) + "/dl/" + spec.id + "/" + spec.name;
}

std::string ServiceHandler::originOf(const HttpRequest& request) const {
    const std::string forwardedHost = request.header("X-Forwarded-Host");
    const bool usable =
        !forwardedHost.empty() && forwardedHost.find_first_of(" \t\"<>/") == std::string::npos;
    const std::string scheme = request.header("X-Forwarded-Proto") == "https" ? "https" : "http";
    return scheme + "://" + (usable ? forwardedHost : host);
}

bool ServiceHandler::serve(int fd, const HttpRequest& request) {
    const std::string path = request.path();
    std::string_view id;
    std::string_view rest;
    if (request.method == "POST" && splitIdPath(path, "/dl/", id, rest)) {
        return finalFormReply(fd, id, request);
    }
    return sendResponse(fd, pageResponse(request), request);
}

HttpResponse ServiceHandler::pageResponse(const HttpRequest& request) {
    const std::string path = request.path();
    std::string_view id;
    std::string_view rest;
    if (request.method == "GET" && splitIdPath(path, "/files/", id, rest)) {
        return linkPage(id, originOf(request));
    }
    if (request.method == "POST" && splitIdPath(path, "/ff/", id, rest)) {
        return freeFormReply(id, rest, request.body, originOf(request));
    }
    return ordinaryPage(request);
}

HttpResponse ServiceHandler::linkPage(std::string_view id, const std::string& origin) {
    const auto attempt = catalog.beginAttempt(std::string(id));
    if (!attempt) {
        return htmlResponse(pages::unknownFilePage());
    }
    if (attempt->step.kind == Step::Kind::ServerError) {
        return errorResponse(500);
    }
    return htmlResponse(pages::linkPage(attempt->step, attempt->spec.name,
                                        freeFormUrlOf(attempt->spec.id, attempt->number, origin)));
}

HttpResponse ServiceHandler::freeFormReply(std::string_view id, std::string_view attempt,
                                           const std::string& body, const std::string& origin) {
    int number = 0;
    const auto [end, error] =
        std::from_chars(attempt.data(), attempt.data() + attempt.size(), number);
    if (error != std::errc() || end != attempt.data() + attempt.size()) {
        return errorResponse(404);
    }
    const auto step = catalog.stepOfAttempt(std::string(id), number);
    const auto spec = catalog.find(std::string(id));
    if (!step || !spec || !step->pageHasFreeForm()) {
        return errorResponse(404);
    }
    if (body != FreeFormBody) {
        return errorResponse(400);
    }
    return htmlResponse(pages::freeFormReply(*step, finalFormUrlOf(*spec, origin)));
}

bool ServiceHandler::finalFormReply(int fd, std::string_view id, const HttpRequest& request) {
    if (request.body != FinalFormBody) {
        return sendResponse(fd, errorResponse(400), request);
    }
    const auto transfer = catalog.beginTransfer(std::string(id));
    if (!transfer) {
        return sendResponse(fd, errorResponse(404), request);
    }
    FileSender sender(fd, transfer->spec, transfer->breaksOff, stop);
    return sender.send(request.wantsClose());
}

HttpResponse ServiceHandler::ordinaryPage(const HttpRequest& request) const {
    const std::string path = request.path();
    if (request.method != "GET") {
        return errorResponse(404);
    }
    if (const auto page = pages.find(path)) {
        return htmlResponse(*page);
    }
    if (path == "/list") {
        std::vector<std::string> links;
        const std::string origin = originOf(request);
        for (const auto& spec : catalog.files()) {
            links.push_back(linkOf(spec, origin));
        }
        return htmlResponse(pages::listPage(origin, links));
    }
    if (path == "/about") {
        return htmlResponse(pages::aboutPage());
    }
    return errorResponse(404);
}

} // namespace servicesim
