#include "service/StepAddress.h"

#include "engine/UnprotectedAddressFailure.h"
#include "http/HttpError.h"
#include "http/Url.h"

#include <exception>
#include <optional>
#include <utility>

namespace tolvenka {

namespace {

// Null for an address that no request could be made to, which the request
// will tell.
std::optional<http::Url> parsed(const std::string& address) {
    try {
        return http::Url::parse(address);
    } catch (const http::HttpError&) {
        return std::nullopt;
    }
}

} // namespace

StepAddress::StepAddress(const std::string& pageAddress, std::string written)
    : requested(std::move(written)) {
    const std::optional<http::Url> page = parsed(pageAddress);
    std::optional<http::Url> step = parsed(requested);
    if (!page || !page->secure || !step || step->secure) {
        return;
    }
    step->secure = true;
    if (step->port == http::Url::httpPort) {
        step->port = http::Url::httpsPort;
    }
    unprotectedAddress = std::exchange(requested, step->absoluteForm());
}

void StepAddress::rethrowFailure() const {
    if (unprotectedAddress.empty()) {
        throw;
    }
    throw UnprotectedAddressFailure(unprotectedAddress, std::current_exception());
}

} // namespace tolvenka
