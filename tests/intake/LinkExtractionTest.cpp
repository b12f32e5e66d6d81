#include "intake/LinkExtraction.h"

#include "service/DownloadMaker.h"
#include "service/ServiceHost.h"
#include "support/Cp1251.h"

#include <gtest/gtest.h>

namespace {

using kestrune::text::literals::operator""_cp1251;
using Links = std::vector<std::string>;
using namespace std::string_literals;

// The registry with the default service host, so that
// "http://rapidshare.com/files/<digits>/<name>" is a download link.
class LinkExtractionTest : public ::testing::Test {
protected:
    LinkExtractionTest() { tolvenka::setServiceHost(std::string(tolvenka::DEFAULT_SERVICE_HOST)); }

    // Appends what a search of `text` finds, as copies, to `all` and `downloads`.
    tolvenka::FoundLinks extract(const std::string& text,
                                 std::size_t maxBytes = tolvenka::FoundLinks::maxTextBytes) {
        tolvenka::FoundLinks found = tolvenka::extractLinks(text, maxBytes);
        for (std::size_t index = 0; index < found.count(); ++index) {
            all.emplace_back(found.address(index));
        }
        const Links links = found.downloadLinks();
        downloads.insert(downloads.end(), links.begin(), links.end());
        return found;
    }

    tolvenka::DownloadMaker maker;
    Links all;
    Links downloads;
};

TEST_F(LinkExtractionTest, AddressEndsAtTheFirstCharacterOutsideTheUrlSet) {
    extract("see http://a.example/x, then http://b.example/y;z http://c.example/(1) "
            "http://d.example/\"q\" http://e.example/a b http://f.example/<p>");
    EXPECT_EQ(all, (Links{"http://a.example/x", "http://b.example/y", "http://c.example/",
                          "http://d.example/", "http://e.example/a", "http://f.example/"}));
    EXPECT_TRUE(downloads.empty());
}

TEST_F(LinkExtractionTest, UrlSetKeepsItsTwelvePunctuationMarks) {
    extract("http://h.example/~a-b_c+d=e/f.g:1&h%20?i#j\n");
    EXPECT_EQ(all, (Links{"http://h.example/~a-b_c+d=e/f.g:1&h%20?i#j"}));
}

TEST_F(LinkExtractionTest, MarkerAndLettersMatchInAnyCaseAndComeOutAsWritten) {
    extract("HTTP://RapidShare.COM/files/42/Big.ZIP and HtTp://Other.Example/Page");
    EXPECT_EQ(all, (Links{"HTTP://RapidShare.COM/files/42/Big.ZIP", "HtTp://Other.Example/Page"}));
    EXPECT_EQ(downloads, (Links{"HTTP://RapidShare.COM/files/42/Big.ZIP"}));
}

TEST_F(LinkExtractionTest, DuplicatesAreReportedOncePerOccurrence) {
    extract("http://rapidshare.com/files/1/a.zip http://rapidshare.com/files/1/a.zip");
    EXPECT_EQ(all.size(), 2u);
    EXPECT_EQ(downloads, (Links{2, "http://rapidshare.com/files/1/a.zip"}));
}

TEST_F(LinkExtractionTest, NestedMarkerYieldsASecondShorterAddressRightAfterTheOuter) {
    extract("http://go.example/?to=http://rapidshare.com/files/7/b.rar end");
    EXPECT_EQ(all, (Links{"http://go.example/?to=http://rapidshare.com/files/7/b.rar",
                          "http://rapidshare.com/files/7/b.rar"}));
    EXPECT_EQ(downloads, (Links{"http://rapidshare.com/files/7/b.rar"}));
}

TEST_F(LinkExtractionTest, TextEdgesBoundAddresses) {
    extract("http://start.example/a");
    extract("http://");
    extract("http:/");
    extract("");
    extract("ttp://x.example");
    extract("a:b");
    extract("x\0http://z.example/\0http://w.example"s);
    EXPECT_EQ(
        all, (Links{"http://start.example/a", "http://", "http://z.example/", "http://w.example"}));
}

TEST_F(LinkExtractionTest, BareMarkerIsAnAddressOfItsOwn) {
    extract("look: http:// (nothing) http://\thttp://");
    EXPECT_EQ(all, (Links{3, "http://"}));
}

TEST_F(LinkExtractionTest, HttpsIsFoundAsHttpIsAndAMarkerInsideAWordToo) {
    extract("https://secure.example/a xhttp://mid.example/b HTTPS://rapidshare.com/files/7/s.zip "
            "xhttps://in.example/c?u=https://nested.example/ https:// https:/x");
    EXPECT_EQ(all, (Links{"https://secure.example/a", "http://mid.example/b",
                          "HTTPS://rapidshare.com/files/7/s.zip",
                          "https://in.example/c?u=https://nested.example/",
                          "https://nested.example/", "https://"}));
    EXPECT_EQ(downloads, (Links{"HTTPS://rapidshare.com/files/7/s.zip"}));
}

TEST_F(LinkExtractionTest, CyrillicLettersContinueAnAddressAndOtherHighBytesEndIt) {
    extract(std::string("«http://rapidshare.com/files/5/Годовой_отчёт.zip» "
                        "http://x.example/Ёлка\u00A0z http://x.example/a—b"_cp1251));
    const std::string withLetters("http://rapidshare.com/files/5/Годовой_отчёт.zip"_cp1251);
    EXPECT_EQ(all, (Links{withLetters, std::string("http://x.example/Ёлка"_cp1251),
                          "http://x.example/a"}));
    EXPECT_EQ(downloads, (Links{withLetters}));
}

TEST_F(LinkExtractionTest, ListsAreOnlyAppendedToAndDownloadLinksKeepTheirOrder) {
    all = {"earlier"};
    downloads = {"earlier download"};
    extract("<a href=\"http://rapidshare.com/files/1/one.zip\">1</a>\r\n"
            "<a href='http://forum.example/t?id=3'>x</a>\r\n"
            "http://rapidshare.com/files/2/two.zip\r\n"
            "http://rapidshare.com/files/x/not-digits.zip http://rapidshare.com/files/3");
    EXPECT_EQ(all, (Links{"earlier", "http://rapidshare.com/files/1/one.zip",
                          "http://forum.example/t?id=3", "http://rapidshare.com/files/2/two.zip",
                          "http://rapidshare.com/files/x/not-digits.zip",
                          "http://rapidshare.com/files/3"}));
    EXPECT_EQ(downloads, (Links{"earlier download", "http://rapidshare.com/files/1/one.zip",
                                "http://rapidshare.com/files/2/two.zip"}));
}

TEST_F(LinkExtractionTest, ManyMarkersInARowAreEachReportedAsPlacesInTheText) {
    std::string text;
    for (int i = 0; i < 100'000; ++i) {
        text += "HTTP://";
    }
    const tolvenka::FoundLinks found = tolvenka::extractLinks(text);
    ASSERT_EQ(found.count(), 100'000u);
    // Each address runs to the end of the text, since the marker's own
    // characters are URL characters; none is a copy.
    EXPECT_EQ(found.address(0), text);
    EXPECT_EQ(found.address(0).data(), found.text().data());
    EXPECT_EQ(found.address(99'999), "HTTP://");
    EXPECT_FALSE(found.isCut());
}

TEST_F(LinkExtractionTest, ALimitEndsTheSearchBeforeTheAddressItWouldCut) {
    const std::string first = "http://rapidshare.com/files/1/a.zip";
    const std::string text = first + " x http://rapidshare.com/files/2/b.zip tail";
    const tolvenka::FoundLinks found = extract(text, first.size() + 12);
    EXPECT_EQ(downloads, (Links{first}));
    EXPECT_TRUE(found.isCut());
    EXPECT_EQ(found.takenBytes(), first.size() + 3);
    EXPECT_FALSE(extract(text, text.size()).isCut());
}

TEST_F(LinkExtractionTest, LinksNestedManyTimesOverEndTheSearchBeforeTheyOutgrowTheText) {
    // Each link is a download link that holds all those after it: copied,
    // they would cost the square of the text.
    const std::string before =
        "http://rapidshare.com/files/1/a.rar?to=http://rapidshare.com/files/2/b.rar ";
    std::string text = before;
    for (int i = 0; i < 20'000; ++i) {
        text += "http://rapidshare.com/files/" + std::to_string(i) + "/";
    }
    text += "name.rar";
    const tolvenka::FoundLinks found = extract(text);
    EXPECT_TRUE(found.isCut());
    EXPECT_EQ(found.takenBytes(), before.size());
    EXPECT_EQ(downloads.size(), 2u) << "a link in another's redirect is no trouble";
}

TEST_F(LinkExtractionTest, NamelessLinksAreCountedOnceEach) {
    const tolvenka::FoundLinks found =
        extract("http://rapidshare.com/files/1/ http://rapidshare.com/files/1/ "
                "http://rapidshare.com/files/2 http://rapidshare.com/files/3/.. "
                "http://rapidshare.com/files/4/a.zip");
    EXPECT_EQ(found.distinctNamelessCount(), 3u);
    EXPECT_EQ(downloads.size(), 1u);
}

TEST(TextCutMessage, SaysHowMuchOfTheTextWasTaken) {
    constexpr std::size_t megabyte = 1024 * 1024;
    const std::pair<std::size_t, const char*> cases[] = {{4 * megabyte, "4"},
                                                         {16 * megabyte, "16"},
                                                         {megabyte / 2, "0,5"},
                                                         {100, "0,1"},
                                                         {12 * megabyte + megabyte / 2, "12"}};
    for (const auto& [taken, figure] : cases) {
        EXPECT_EQ(tolvenka::textCutMessage(taken),
                  std::string("Текст слишком большой: взяты первые "_cp1251) + figure +
                      std::string(" МБ"_cp1251));
    }
}

} // namespace
