#include "http/RequestHead.h"

#include "http/Url.h"

#include <gtest/gtest.h>

using http::formatRequestHead;
using http::Url;

namespace {

std::string hostLineOf(const std::string& address) {
    const std::string head = formatRequestHead("GET", Url::parse(address), false);
    const auto start = head.find("\r\nHost: ") + 2;
    return head.substr(start, head.find("\r\n", start) - start);
}

} // namespace

// An IPv6 address without its brackets is no host a server accepts (400);
// the port stays out of the header whatever the host.
TEST(RequestHead, TheHostHeaderHoldsAnIpv6AddressInBracketsAndNeverThePort) {
    EXPECT_EQ(hostLineOf("http://[::1]:8080/a"), "Host: [::1]");
    EXPECT_EQ(hostLineOf("https://[fe80::1]/"), "Host: [fe80::1]");
    EXPECT_EQ(hostLineOf("http://127.0.0.1:8080/a"), "Host: 127.0.0.1");
    EXPECT_EQ(hostLineOf("https://files.example:8443/a"), "Host: files.example");
}
