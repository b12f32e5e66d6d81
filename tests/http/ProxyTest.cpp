// Requests through real proxies: tinyproxy (HTTP, with and without a
// password) and microsocks (SOCKS5), to a real nginx over http and https.
#include "http/HttpClient.h"
#include "http/ProxyError.h"
#include "tests/common/TestHelpers.h"
#include "tests/http/NginxServer.h"
#include "tests/http/ProxyEnvironment.h"
#include "tests/http/ProxyServers.h"
#include "tests/http/Replies.h"

#include <functional>
#include <gtest/gtest.h>

using http::HttpClient;
using http::ProxyError;
using http_testing::MicrosocksServer;
using http_testing::NginxServer;
using http_testing::NginxSite;
using http_testing::ProxyCredentials;
using http_testing::throughProxy;
using http_testing::TinyproxyServer;
using testing_helpers::TempDir;

namespace {

enum Site { Plain, Secure };

std::vector<NginxSite> plainAndSecureSites(const std::string& root) {
    const std::string files = http_testing::servingFiles(root);
    return {{files, false}, http_testing::tlsSite(files)};
}

class ProxyTest : public ::testing::Test {
protected:
    // Both sites' file, by address and by name, through `proxy`.
    void expectBothSitesThrough(const std::string& proxy) {
        HttpClient client(throughProxy(proxy));
        EXPECT_EQ(client.Get(nginx.url("/a.txt", Plain)), "first file\n") << proxy;
        EXPECT_EQ(client.Get(nginx.url("/a.txt", Secure)), "first file\n") << proxy;
        EXPECT_EQ(client.Get("https://localhost:" + std::to_string(nginx.port(Secure)) + "/a.txt"),
                  "first file\n")
            << proxy;
    }

    static ProxyError proxyErrorOf(const std::function<void()>& call) {
        return http_testing::errorOf<ProxyError>(call).value();
    }

    TempDir work;
    NginxServer nginx{work.path(), plainAndSecureSites(http_testing::makeTwoFileRoot(work.path()))};
};

std::string at(std::uint16_t port) {
    return "127.0.0.1:" + std::to_string(port);
}

} // namespace

TEST_F(ProxyTest, AnHttpProxyCarriesHttpAsAbsoluteFormAndHttpsThroughConnect) {
    TinyproxyServer proxy(work.path());
    expectBothSitesThrough("http://" + at(proxy.port()));
    const std::string log = proxy.log();
    EXPECT_NE(log.find("GET http://127.0.0.1:" + std::to_string(nginx.port(Plain)) + "/a.txt"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("CONNECT 127.0.0.1:" + std::to_string(nginx.port(Secure))),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("CONNECT localhost:"), std::string::npos) << log;
}

TEST_F(ProxyTest, AnHttpProxyWithAPasswordTakesItAndToldOtherwiseNamesOnlyItsAddress) {
    TinyproxyServer proxy(work.path(), ProxyCredentials{"tolvenka", "s3cr.t-x_y"});
    expectBothSitesThrough("http://tolvenka:s3cr%2Et-x_y@" + at(proxy.port()));
    HttpClient client(throughProxy("http://tolvenka:wrong@" + at(proxy.port())));
    const ProxyError error = proxyErrorOf([&] { client.Get(nginx.url("/a.txt", Secure)); });
    EXPECT_EQ(error.problem(), ProxyError::Problem::Refused);
    EXPECT_EQ(error.proxy(), at(proxy.port()));
    // tinyproxy says 401 where others say 407.
    EXPECT_EQ(error.detail().substr(0, 2), "40") << error.detail();
    EXPECT_EQ(std::string(error.what()).find("wrong"), std::string::npos);
    // To a plain request with the wrong password tinyproxy answers as a
    // server would (401), and that is what the request fails with.
    EXPECT_THROW(client.Get(nginx.url("/a.txt", Plain)), http::HttpStatusError);
}

TEST_F(ProxyTest, ASocksProxyCarriesBothWithNamesResolvedHereOrThere) {
    MicrosocksServer proxy(work.path());
    expectBothSitesThrough("socks5://" + at(proxy.port()));
    expectBothSitesThrough("socks5h://" + at(proxy.port()));
}

TEST_F(ProxyTest, ASocksProxyWithAPasswordTakesItAndRefusesOthers) {
    MicrosocksServer proxy(work.path(), ProxyCredentials{"tolvenka", "pa%ss"});
    expectBothSitesThrough("socks5h://tolvenka:pa%25ss@" + at(proxy.port()));
    HttpClient wrong(throughProxy("socks5h://tolvenka:nope@" + at(proxy.port())));
    EXPECT_EQ(proxyErrorOf([&] { wrong.Get(nginx.url("/a.txt", Secure)); }).problem(),
              ProxyError::Problem::SocksPasswordRejected);
    HttpClient none(throughProxy("socks5://" + at(proxy.port())));
    EXPECT_EQ(proxyErrorOf([&] { none.Get(nginx.url("/a.txt", Plain)); }).problem(),
              ProxyError::Problem::SocksWantsPassword);
}

TEST_F(ProxyTest, AProxyNobodyListensOnIsToldByItsAddressAndNoProxyGoesAround) {
    const std::uint16_t deadPort = http_testing::pickFreePort();
    for (const std::string scheme : {"http://", "socks5h://"}) {
        HttpClient client(throughProxy(scheme + "user:secret@" + at(deadPort)));
        const ProxyError error = proxyErrorOf([&] { client.Get(nginx.url("/a.txt", Secure)); });
        EXPECT_EQ(error.problem(), ProxyError::Problem::Unreachable);
        EXPECT_EQ(error.proxy(), at(deadPort));
        EXPECT_EQ(std::string(error.what()).find("secret"), std::string::npos);
    }
    http::ClientSettings settings;
    settings.proxies = http_testing::proxiesOf({{"http_proxy", "http://" + at(deadPort)},
                                                {"https_proxy", "http://" + at(deadPort)},
                                                {"no_proxy", "localhost,127.0.0.1"}});
    HttpClient direct(settings);
    EXPECT_EQ(direct.Get(nginx.url("/a.txt", Plain)), "first file\n");
    EXPECT_EQ(direct.Get(nginx.url("/a.txt", Secure)), "first file\n");
}
