#include "engine/FailureReason.h"

#include "engine/UnprotectedAddressFailure.h"
#include "http/CertificateError.h"
#include "http/HttpClient.h"
#include "http/ProxyError.h"
#include "support/Cp1251.h"
#include "tests/common/LoopbackServer.h"
#include "tests/http/ProxyEnvironment.h"

#include <algorithm>
#include <array>
#include <gtest/gtest.h>
#include <set>
#include <tuple>
#include <vector>

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
    const std::string at = "127.0.0.1:" + std::to_string(proxy.port());
    // A plain request goes to the proxy whole; an https one asks for a
    // tunnel, which some proxies answer with 401 for a wrong password.
    const std::string plain = "http://files.example/a.zip";
    const std::string tunnel = "https://files.example/a.zip";
    const std::vector<std::array<std::string_view, 3>> cases = {
        {"407 Proxy Authentication Required", plain, "407 — нужен другой пароль"_cp1251},
        {"401 Unauthorized", tunnel, "401 — нужен другой пароль"_cp1251},
        {"403 Forbidden", tunnel, "403 — доступ запрещён"_cp1251},
        {"502 Bad Gateway", tunnel, "502"}};
    for (const auto& [status, address, why] : cases) {
        proxy.addConnection(
            {LoopbackServer::readRequest(), LoopbackServer::send("HTTP/1.1 " + std::string(status) +
                                                                 "\r\nContent-Length: 0\r\n\r\n")});
        EXPECT_EQ(reasonOfRequest("http://me:secret@" + at, std::string(address)),
                  std::string("прокси-сервер "_cp1251) + at + std::string(" отказал: "_cp1251) +
                      std::string(why))
            << status;
    }
}

// A proxy that cannot be reached is waited for; a refusal that no new try
// changes stops the download at once; what tells of the server behind the
// proxy, or of a proxy that answers badly, counts as a failed turn.
TEST(FailureReason, EachProxyFailureIsWaitedForStopsOrCounts) {
    enum Fate { Waits, Stops, Counts };
    using Problem = http::ProxyError::Problem;
    const std::tuple<Problem, int, Fate> cases[] = {
        {Problem::Unreachable, 0, Waits},   {Problem::Refused, 407, Stops},
        {Problem::Refused, 502, Counts},    {Problem::SocksPasswordRejected, 0, Stops},
        {Problem::SocksRefused, 2, Stops},  {Problem::SocksRefused, 5, Counts},
        {Problem::NotAnswering, 0, Counts}, {Problem::TooSlow, 0, Counts},
    };
    for (const auto& [problem, code, fate] : cases) {
        const auto failure =
            std::make_exception_ptr(http::ProxyError(problem, "127.0.0.1:3128", {}, code));
        const Fate met = tolvenka::blocksEveryDownload(failure) ? Waits
                         : tolvenka::needsTheUser(failure)      ? Stops
                                                                : Counts;
        EXPECT_EQ(met, fate) << static_cast<int>(problem) << " " << code;
    }
    EXPECT_EQ(failureReasonOf(
                  std::make_exception_ptr(http::ProxyError(Problem::TooSlow, "127.0.0.1:3128"))),
              "прокси-сервер 127.0.0.1:3128 не ответил вовремя"_cp1251);
    EXPECT_EQ(failureReasonOf(
                  std::make_exception_ptr(http::HttpError(http::HttpError::Kind::TooSlow, "late"))),
              "ответ сервера не пришёл вовремя"_cp1251);
}

// What a page gave, cut to be read, and why https failed; whether the user
// must act is that failure's own matter.
TEST(FailureReason, AStepTakenOverHttpsInsteadNamesTheUnprotectedAddress) {
    const auto failure = std::make_exception_ptr(tolvenka::UnprotectedAddressFailure(
        "http://s.example/" + std::string(500, 'a'),
        std::make_exception_ptr(CertificateError(CertificateError::Problem::Expired, 10, "old"))));
    const std::string reason = failureReasonOf(failure);
    EXPECT_TRUE(
        reason.starts_with("страница указала незащищённый адрес http://s.example/a"_cp1251));
    EXPECT_TRUE(
        reason.ends_with("a… — сертификат сервера не подтверждён: срок действия истёк"_cp1251));
    EXPECT_LT(reason.size(), 320u);
    EXPECT_TRUE(tolvenka::needsTheUser(failure));
}
