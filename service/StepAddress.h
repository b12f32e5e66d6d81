#pragma once

#include <string>

namespace tolvenka {

// Where a step of the service's conversation goes: the address a page gave
// for it (a form's action). A page fetched over https never sends the next
// step in the clear: an http address on it, or one without a scheme, is
// taken over https to the same host and path, as a browser upgrades such a
// request. The port 80, named or implied, becomes https's own 443; any other
// port stays as written, for only the site knows what it serves there.
class StepAddress {
public:
    StepAddress() = default;
    // `written`, as the page fetched from `pageAddress` gives it.
    StepAddress(const std::string& pageAddress, std::string written);

    // What is requested.
    const std::string& address() const { return requested; }
    // The http address the page gave when the step goes over https instead;
    // empty when it goes where the page said.
    const std::string& unprotected() const { return unprotectedAddress; }

    // Only inside the handler of a failed request to `address()`: throws
    // that failure again, as an UnprotectedAddressFailure where the step
    // went over https instead of where the page said.
    [[noreturn]] void rethrowFailure() const;

private:
    std::string requested;
    std::string unprotectedAddress;
};

} // namespace tolvenka
