#include "engine/FailureReason.h"

#include "http/CertificateError.h"
#include "http/HttpClient.h"
#include "http/ProxyError.h"
#include "support/Cp1251.h"
#include "tests/common/LoopbackServer.h"
#include "tests/http/ProxyEnvironment.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <set>

using http::CertificateError;
using testing_helpers::LoopbackServer;
using tolvenka::failureReasonOf;
using namespace kestrune::text::literals;

namespace {

bool hasLatinLetters(const std::string& text) {
    return std::any_of(text.begin(), text.end(),
                       [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); });
}

std::string reasonOfCertificate(CertificateError::Problem problem, long verifyResult) {
    return failureReasonOf(std::make_exception_ptr(
        CertificateError(problem, verifyResult, "certificate has expired")));
}

// What the user is told when a request through `proxy` fails.
std::string reasonOfRequest(const std::string& proxy, const std::string& address) {
    http::HttpClient client(http_testing::throughProxy(proxy, 2000));
    try {
        client.Get(address);
    } catch (...) {
        return failureReasonOf(std::current_exception());
    }
    ADD_FAILURE() << "the request went through";
    return {};
}

} // namespace

// The verifier speaks English; the user reads why in Russian, or at least
// the verifier's number where no words are known.
TEST(FailureReason, ACertificateProblemIsToldInRussianOrByTheVerifiersNumber) {
    using Problem = CertificateError::Problem;
    const std::string_view prefix = "сертификат сервера не подтверждён: "_cp1251;
    EXPECT_EQ(reasonOfCertificate(Problem::Expired, 10),
              "сертификат сервера не подтверждён: срок действия истёк"_cp1251);
    EXPECT_EQ(reasonOfCertificate(Problem::Other, 62),
              "сертификат сервера не подтверждён: ошибка проверки 62"_cp1251);
    std::set<std::string> reasons;
    for (const Problem problem :
         {Problem::WrongHost, Problem::UnknownIssuer, Problem::SelfSigned, Problem::Expired,
          Problem::NotYetValid, Problem::Revoked, Problem::BadSignature, Problem::WrongPurpose,
          Problem::TooWeak, Problem::NotAnAuthority, Problem::Untrusted, Problem::Other}) {
        const std::string reason = reasonOfCertificate(problem, 62);
        EXPECT_TRUE(reason.starts_with(prefix)) << static_cast<int>(problem);
        EXPECT_FALSE(hasLatinLetters(reason)) << static_cast<int>(problem);
        reasons.insert(reason);
    }
    EXPECT_EQ(reasons.size(), 12u);
}

// A proxy's status line is its own English: the user sees the code, what it
// asks of them where that is known, and the proxy as host:port alone.
TEST(FailureReason, AProxyRefusalKeepsItsCodeInRussianWordsAndHidesThePassword) {
    LoopbackServer proxy;
    const std::string noBody = "\r\nContent-Length: 0\r\n\r\n";
    for (const char* statusLine :
         {"HTTP/1.1 407 Proxy Authentication Required", "HTTP/1.1 401 Unauthorized",
          "HTTP/1.1 403 Forbidden", "HTTP/1.1 502 Bad Gateway"}) {
        proxy.addConnection(
            {LoopbackServer::readRequest(), LoopbackServer::send(statusLine + noBody)});
    }
    const std::string at = "127.0.0.1:" + std::to_string(proxy.port());
    const auto refused = [&](std::string_view why) {
        return std::string("прокси-сервер "_cp1251) + at + std::string(" отказал: "_cp1251) +
               std::string(why);
    };
    const std::string withPassword = "http://me:secret@" + at;
    // A plain request goes to the proxy whole; an https one asks for a tunnel.
    EXPECT_EQ(reasonOfRequest(withPassword, "http://files.example/a.zip"),
              refused("407 — нужен другой пароль"_cp1251));
    // Some proxies answer a tunnel with the wrong password so.
    EXPECT_EQ(reasonOfRequest(withPassword, "https://files.example/a.zip"),
              refused("401 — нужен другой пароль"_cp1251));
    EXPECT_EQ(reasonOfRequest(withPassword, "https://files.example/a.zip"),
              refused("403 — доступ запрещён"_cp1251));
    EXPECT_EQ(reasonOfRequest(withPassword, "https://files.example/a.zip"), refused("502"));
}
