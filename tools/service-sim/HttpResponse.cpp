#include "tools/service-sim/HttpResponse.h"

namespace servicesim {

std::string HttpResponse::reasonOf(int status) {
    switch (status) {
    case 200:
        return "OK";
    case 400:
        return "Bad Request";
    case 404:
        return "Not Found";
    case 500:
        return "Internal Server Error";
    default:
        return "Unknown";
    }
}

std::string HttpResponse::serialize() const {
    std::string wire = "HTTP/1.1 " + std::to_string(status) + " " + reasonOf(status) + "\r\n";
    wire += "Server: tolvenka-service-sim\r\n";
    wire += "Content-Type: " + contentType + "\r\n";
    wire += "Content-Length: " + std::to_string(body.size()) + "\r\n";
    if (closeAfter) {
        wire += "Connection: close\r\n";
    }
    wire += "\r\n";
    wire += body;
    return wire;
}

} // namespace servicesim
