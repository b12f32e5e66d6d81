#include "http/Url.h"

#include "http/HttpError.h"

#include <gtest/gtest.h>

using http::HttpError;
using http::Url;

TEST(Url, SplitsHostPortAndTarget) {
    const Url url = Url::parse("http://files.example:8080/files/123/a.zip?x=1&y=2#part");
    EXPECT_EQ(url.host, "files.example");
    EXPECT_EQ(url.port, 8080);
    EXPECT_EQ(url.target, "/files/123/a.zip?x=1&y=2");
}

TEST(Url, DefaultsAndNormalisation) {
    EXPECT_EQ(Url::parse("http://example").target, "/");
    EXPECT_EQ(Url::parse("http://example").port, 80);
    EXPECT_EQ(Url::parse("http://example#top").target, "/");
    EXPECT_EQ(Url::parse("http://example?q").target, "/?q");
    EXPECT_EQ(Url::parse("HTTP://example\\a\\b.html").target, "/a/b.html");
    EXPECT_EQ(Url::parse("example/page").host, "example");
}

TEST(Url, LettersBeyondAsciiGoOnTheWireAsTheEscapesOfTheirUtf8) {
    // "Отчёт" and a non-breaking space in CP1251; escapes already there stay.
    EXPECT_EQ(Url::parse("http://example/files/1/\xCE\xF2\xF7\xB8\xF2%20\xA0.zip?q=\xFF").target,
              "/files/1/%D0%9E%D1%82%D1%87%D1%91%D1%82%20%C2%A0.zip?q=%D1%8F");
}

TEST(Url, RefusesWhatItCannotFetch) {
    for (const char* address :
         {"ftp://example/", "socks5://example/", "https:///path", "http:///path", "http://[::1/",
          "http://[::1]x/", "http://example:/", "http://example:0/", "http://example:65536/",
          "http://example:8x/"}) {
        EXPECT_THROW(Url::parse(address), HttpError) << address;
    }
}

TEST(Url, RefusesAddressesThatWouldBreakTheRequest) {
    for (const char* address :
         {"http://example/a b", "http://example/a\r\nX-Injected: 1", "http://exa mple/",
          "http://example/\x7f", "http://example/tab\there"}) {
        EXPECT_THROW(Url::parse(address), HttpError) << address;
    }
}

// Every spelling of one address has one normalised form; its path and
// query are its own, and so are its scheme and port.
TEST(Url, NormalizedFormSpellsEachAddressOneWay) {
    const struct {
        const char* written;
        const char* normalized;
    } cases[] = {
        {"HTTP://Files.Example/files/1/A.zip", "http://files.example/files/1/A.zip"},
        {"hTTp://FILES.EXAMPLE:80/files/1/A.zip", "http://files.example/files/1/A.zip"},
        {"HTTPS://Files.Example:443/a", "https://files.example/a"},
        {"https://files.example:80/a", "https://files.example:80/a"},
        {"http://files.example:8080/a", "http://files.example:8080/a"},
        {"http://files.example:80", "http://files.example/"},
        {"http://files.example?q", "http://files.example/?q"},
        {"http://h/%7e%41%2d%5F/%2f%3a%3F%c3%a9", "http://h/~A-_/%2F%3A%3F%C3%A9"},
        {"http://h/a b%20c", "http://h/a%20b%20c"},
        {"http://h/\xc0\xe1.zip", "http://h/%D0%90%D0%B1.zip"},
        {"http://h/a\\b", "http://h/a/b"},
        {"http://h/100%", "http://h/100%25"},
        {"http://h/\"<|>", "http://h/%22%3C%7C%3E"},
        {"no address", "no%20address"},
    };
    for (const auto& [written, normalized] : cases) {
        EXPECT_EQ(Url::normalizedForm(written), normalized) << written;
    }
}

TEST(Url, HttpsIsSecureOnPort443UnlessWritten) {
    const Url url = Url::parse("HtTpS://files.example/files/1/a.zip");
    EXPECT_TRUE(url.secure);
    EXPECT_EQ(url.host, "files.example");
    EXPECT_EQ(url.port, 443);
    EXPECT_EQ(Url::parse("https://files.example:8443/").port, 8443);
    EXPECT_EQ(url.absoluteForm(), "https://files.example/files/1/a.zip");
    EXPECT_EQ(Url::parse("http://files.example:80/a?b").absoluteForm(), "http://files.example/a?b");
    EXPECT_EQ(Url::parse("https://files.example:80/").authority(), "files.example:80");
}

TEST(Url, AnIpv6AddressStandsInBrackets) {
    const Url url = Url::parse("http://[::1]:8080/a");
    EXPECT_EQ(url.host, "::1");
    EXPECT_EQ(url.port, 8080);
    EXPECT_EQ(url.authority(), "[::1]:8080");
    EXPECT_EQ(Url::parse("https://[fe80::1]/").authority(), "[fe80::1]");
}
