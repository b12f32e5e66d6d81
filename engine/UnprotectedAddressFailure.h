#pragma once

#include <exception>
#include <stdexcept>
#include <string>

namespace tolvenka {

// The failure of a step that a page fetched over https pointed at a plain
// http address, and that was taken over https instead: the user learns both
// what the page asked for and how the protected try failed, since the page's
// address may be all the trouble.
class UnprotectedAddressFailure : public std::runtime_error {
public:
    // `address`: as the page wrote it (CP1251). `cause`: the failure of the
    // request over https.
    UnprotectedAddressFailure(std::string address, std::exception_ptr cause)
        : std::runtime_error("a secure page pointed at " + address)
        , pageAddress(std::move(address))
        , failure(std::move(cause)) {}

    const std::string& address() const { return pageAddress; }
    const std::exception_ptr& cause() const { return failure; }

private:
    std::string pageAddress;
    std::exception_ptr failure;
};

} // namespace tolvenka
