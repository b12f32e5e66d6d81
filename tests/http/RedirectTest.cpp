#include "http/Redirect.h"

#include "http/HttpError.h"

#include <gtest/gtest.h>

using http::HttpError;
using http::resolveRedirect;

TEST(Redirect, ResolvesEveryKindOfReferenceAgainstTheAddress) {
    const std::string base = "http://a.example:8080/dir/page.html?q=1#top";
    const std::pair<const char*, const char*> cases[] = {
        {"https://b.example/x", "https://b.example/x"},
        {"HTTP://B.example", "HTTP://B.example"},
        {"//c.example/y", "http://c.example/y"},
        {"/root?z=2", "http://a.example:8080/root?z=2"},
        {"other.html", "http://a.example:8080/dir/other.html"},
        {"../up/./there", "http://a.example:8080/up/there"},
        {"../../../../far", "http://a.example:8080/far"},
        {"sub/", "http://a.example:8080/dir/sub/"},
        {"..", "http://a.example:8080/"},
        {"?other", "http://a.example:8080/dir/page.html?other"},
        {"#frag", "http://a.example:8080/dir/page.html?q=1"},
        {"  /trimmed  ", "http://a.example:8080/trimmed"},
    };
    for (const auto& [location, expected] : cases) {
        EXPECT_EQ(resolveRedirect(base, location), expected) << location;
    }
    EXPECT_EQ(resolveRedirect("https://a.example", "next"), "https://a.example/next");
    EXPECT_EQ(resolveRedirect("https://a.example", "//b.example/"), "https://b.example/");
}

TEST(Redirect, RefusesAnythingButAnHttpOrHttpsAddressWithAHost) {
    for (const char* location : {"ftp://a.example/file", "javascript:alert(1)",
                                 "file:///etc/passwd", "mailto:x@y", "http:///nohost", "https://",
                                 "//", "http://a.example/with space", "http://a.example:99999/"}) {
        try {
            resolveRedirect("http://a.example/", location);
            ADD_FAILURE() << "followed " << location;
        } catch (const HttpError& error) {
            EXPECT_EQ(error.kind(), HttpError::Kind::BadRedirect) << location;
        }
    }
}
