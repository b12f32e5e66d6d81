#include "service/StepAddress.h"

#include <gtest/gtest.h>

using tolvenka::StepAddress;

TEST(StepAddress, AnHttpsPageNeverLeadsOnInTheClear) {
    struct Case {
        std::string page;
        std::string written;
        std::string requested; // empty: as written, and nothing unprotected
    };
    const Case cases[] = {
        {"https://s.example/files/1/a.zip", "http://s.example/ff/1/1", "https://s.example/ff/1/1"},
        {"https://s.example/files/1/a.zip", "HTTP://s.example:80/ff?x=1#y",
         "https://s.example/ff?x=1"},
        {"https://s.example/files/1/a.zip", "http://s.example:8080/ff",
         "https://s.example:8080/ff"},
        {"https://s.example:8443/f", "s.example/ff", "https://s.example/ff"},
        {"https://s.example/f", "http://[::1]/ff", "https://[::1]/ff"},
        {"https://s.example/f", "https://s.example:80/ff", ""},
        {"http://s.example/f", "http://s.example/ff", ""},
        {"https://s.example/f", "/ff/1/1", ""},
        {"https://s.example/f", "ftp://s.example/ff", ""},
    };
    for (const Case& c : cases) {
        const StepAddress step(c.page, c.written);
        const bool upgraded = !c.requested.empty();
        EXPECT_EQ(step.address(), upgraded ? c.requested : c.written) << c.written;
        EXPECT_EQ(step.unprotected(), upgraded ? c.written : "") << c.written;
    }
}
