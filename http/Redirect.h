#pragma once

#include <string>
#include <string_view>

namespace http {

// The address a redirect leads to: `location`, the Location header of a
// reply to a request for `base`, resolved against `base` as a browser does
// it (an absolute address, "//host/path", "/path", "path", "?query"). Throws
// `HttpError` (BadRedirect) when it leads anywhere but to an http or https
// address with a host.
std::string resolveRedirect(std::string_view base, std::string_view location);

} // namespace http
