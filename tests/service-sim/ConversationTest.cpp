// The link page, the free-form reply and the script of a file, as the client
// sees them on the wire.
#include "tests/service-sim/ServiceTexts.h"
#include "tests/service-sim/TestClient.h"
#include "tools/service-sim/ServiceSim.h"

#include <gtest/gtest.h>

using namespace servicesim;
using namespace simtest;

namespace {

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// What the client would take as the countdown text: after the first "var c=" up to ';'.
std::string countdownTextOf(const std::string& reply) {
    const auto at = reply.find(CountdownVar);
    if (at == std::string::npos) {
        return "<none>";
    }
    const auto start = at + std::string(CountdownVar).size();
    return reply.substr(start, reply.find(';', start) - start);
}

class Conversation : public ::testing::Test {
protected:
    std::string addFile(std::vector<Step> script, const std::string& id = "123") {
        FileSpec spec;
        spec.id = id;
        spec.name = "a.zip";
        spec.size = 1000;
        spec.script = std::move(script);
        return sim.addFile(spec);
    }

    // One attempt up to the free-form reply, as the client makes it.
    Reply freeFormReply(const std::string& link) {
        const Reply page = get(link);
        const std::string freeForm = textAfter(page.body, FreeFormMarker);
        EXPECT_FALSE(freeForm.empty()) << page.body;
        return post(freeForm, "dl.start=Free");
    }

    ServiceSim sim;
};

TEST_F(Conversation, LinkIsTheFilesAddressOnTheSimsHost) {
    EXPECT_EQ(addFile({}), "http://" + sim.host() + "/files/123/a.zip");
    EXPECT_EQ(sim.host(), "127.0.0.1:" + std::to_string(sim.port()));
}

TEST_F(Conversation, LinkPageKinds) {
    struct Case {
        Step step;
        bool notFoundText;
        bool freeForm;
    };
    const Case cases[] = {
        {Step::notFound(), true, false},     {Step::notFoundWithForm(), true, true},
        {Step::noForm(), false, false},      {Step::ipBusy(), false, true},
        {Step::countdown("5"), false, true},
    };
    int id = 1;
    for (const auto& c : cases) {
        const Reply page = get(addFile({c.step}, std::to_string(id++)));
        EXPECT_EQ(page.status, 200);
        EXPECT_EQ(contains(page.body, NotFoundText), c.notFoundText) << page.body;
        EXPECT_EQ(contains(page.body, FreeFormMarker), c.freeForm) << page.body;
    }
}

TEST_F(Conversation, ServerErrorStepAnswers500) {
    EXPECT_EQ(get(addFile({Step::serverError()})).status, 500);
}

TEST_F(Conversation, FreeFormPointsAtTheSimsHost) {
    const std::string freeForm = textAfter(get(addFile({})).body, FreeFormMarker);
    EXPECT_TRUE(freeForm.starts_with("http://" + sim.host() + "/")) << freeForm;
}

TEST_F(Conversation, RefusalRepliesCarryExactlyTheirTexts) {
    struct Case {
        Step step;
        bool wait, ipBusy, overloaded;
    };
    const Case cases[] = {
        {Step::ipBusy(), false, true, false},     {Step::waitMinutes(), true, false, false},
        {Step::overloaded(), false, false, true}, {Step::waitMinutesAndIpBusy(), true, true, false},
        {Step::garbage(), false, false, false},
    };
    int id = 1;
    for (const auto& c : cases) {
        const Reply reply = freeFormReply(addFile({c.step}, std::to_string(id++)));
        EXPECT_EQ(reply.status, 200);
        EXPECT_EQ(contains(reply.body, WaitText), c.wait) << reply.body;
        EXPECT_EQ(contains(reply.body, IpBusyText), c.ipBusy) << reply.body;
        EXPECT_EQ(contains(reply.body, OverloadedText), c.overloaded) << reply.body;
        EXPECT_FALSE(contains(reply.body, FinalFormMarker)) << reply.body;
        EXPECT_FALSE(contains(reply.body, NotFoundText)) << reply.body;
    }
}

TEST_F(Conversation, WaitReplyNamesTheMinutes) {
    const Reply reply = freeFormReply(addFile({Step::waitMinutes(7)}));
    EXPECT_TRUE(contains(reply.body, "Or try again in about 7 minutes.")) << reply.body;
}

TEST_F(Conversation, CountdownReplyCarriesTheScriptedTextAndTheFinalForm) {
    int id = 1;
    for (const std::string text : {"45", "-5", "-20", "0", "abc", " 12"}) {
        const std::string link = addFile({Step::countdown(text)}, std::to_string(id));
        const Reply reply = freeFormReply(link);
        EXPECT_EQ(countdownTextOf(reply.body), text);
        EXPECT_EQ(textAfter(reply.body, FinalFormMarker), sim.finalFormUrl(std::to_string(id)));
        ++id;
    }
}

TEST_F(Conversation, CountdownWithoutVarHasTheFinalFormOnly) {
    const Reply reply = freeFormReply(addFile({Step::countdownWithoutVar()}));
    EXPECT_EQ(countdownTextOf(reply.body), "<none>");
    EXPECT_EQ(textAfter(reply.body, FinalFormMarker), sim.finalFormUrl("123"));
}

TEST_F(Conversation, EmptyScriptCountsDownZero) {
    const Reply reply = freeFormReply(addFile({}));
    EXPECT_EQ(countdownTextOf(reply.body), "0");
}

TEST_F(Conversation, EachPageGetTakesTheNextStepAndTheLastRepeats) {
    const std::string link = addFile({Step::ipBusy(), Step::overloaded(), Step::countdown("2")});
    EXPECT_TRUE(contains(freeFormReply(link).body, IpBusyText));
    EXPECT_TRUE(contains(freeFormReply(link).body, OverloadedText));
    EXPECT_EQ(countdownTextOf(freeFormReply(link).body), "2");
    EXPECT_EQ(countdownTextOf(freeFormReply(link).body), "2");
    EXPECT_EQ(sim.attempts("123"), 4);
}

TEST_F(Conversation, FreeFormAnswersForTheAttemptThatShowedIt) {
    const std::string link = addFile({Step::ipBusy(), Step::countdown("9")});
    const std::string first = textAfter(get(link).body, FreeFormMarker);
    const std::string second = textAfter(get(link).body, FreeFormMarker);
    EXPECT_NE(first, second);
    EXPECT_EQ(countdownTextOf(post(second, "dl.start=Free").body), "9");
    EXPECT_TRUE(contains(post(first, "dl.start=Free").body, IpBusyText));
}

TEST_F(Conversation, PageStepsWalkTheScriptToo) {
    const std::string link = addFile({Step::noForm(), Step::serverError(), Step::notFound()});
    EXPECT_FALSE(contains(get(link).body, FreeFormMarker));
    EXPECT_EQ(get(link).status, 500);
    EXPECT_TRUE(contains(get(link).body, NotFoundText));
    EXPECT_TRUE(contains(get(link).body, NotFoundText));
}

TEST_F(Conversation, ReplacingAFileStartsItsScriptOver) {
    const std::string link = addFile({Step::ipBusy(), Step::overloaded()});
    freeFormReply(link);
    addFile({Step::ipBusy(), Step::overloaded()});
    EXPECT_EQ(sim.attempts("123"), 0);
    EXPECT_TRUE(contains(freeFormReply(link).body, IpBusyText));
}

TEST_F(Conversation, WrongFormBodiesAreRefused) {
    const std::string link = addFile({});
    const std::string freeForm = textAfter(get(link).body, FreeFormMarker);
    EXPECT_EQ(post(freeForm, "dl.start=Free\r\n").status, 400);
    EXPECT_EQ(post(freeForm, "").status, 400);
    EXPECT_EQ(post(sim.finalFormUrl("123"), "mirror=1").status, 400);
}

TEST_F(Conversation, FormsThatWereNeverShownAreNotFound) {
    addFile({Step::noForm()});
    get("http://" + sim.host() + "/files/123/a.zip");
    EXPECT_EQ(post("http://" + sim.host() + "/ff/123/1", "dl.start=Free").status, 404);
    EXPECT_EQ(post("http://" + sim.host() + "/ff/123/2", "dl.start=Free").status, 404);
    EXPECT_EQ(post("http://" + sim.host() + "/ff/999/1", "dl.start=Free").status, 404);
    EXPECT_EQ(post("http://" + sim.host() + "/dl/999/a.zip", "mirror=").status, 404);
}

TEST_F(Conversation, UnknownFileGetsTheNotFoundPage) {
    const Reply page = get("http://" + sim.host() + "/files/555/nothing.zip");
    EXPECT_EQ(page.status, 200);
    EXPECT_TRUE(contains(page.body, NotFoundText));
}

TEST_F(Conversation, UnknownPathsAre404) {
    for (const std::string path : {"/", "/files/", "/files/12x/a.zip", "/nothing", "/list/x"}) {
        EXPECT_EQ(get("http://" + sim.host() + path).status, 404) << path;
    }
    EXPECT_EQ(post("http://" + sim.host() + "/list", "a=b").status, 404);
}

TEST_F(Conversation, ListPageLinksEveryFileAndOrdinaryPages) {
    const std::string first = addFile({}, "1");
    const std::string second = addFile({}, "22");
    const Reply list = get(sim.listUrl());
    EXPECT_EQ(list.status, 200);
    EXPECT_TRUE(contains(list.body, first));
    EXPECT_TRUE(contains(list.body, second));
    EXPECT_TRUE(contains(list.body, "http://" + sim.host() + "/about"));
    EXPECT_EQ(get("http://" + sim.host() + "/about").status, 200);
}

TEST_F(Conversation, AddedPagesAreServedWhateverTheQuery) {
    sim.addPage("/links.html", "<a href=\"http://x/files/1/y\">y</a>");
    const Reply page = get("http://" + sim.host() + "/links.html?from=test");
    EXPECT_EQ(page.status, 200);
    EXPECT_EQ(page.body, "<a href=\"http://x/files/1/y\">y</a>");
}

TEST_F(Conversation, AddFileRefusesWhatCannotStandInALink) {
    FileSpec spec;
    spec.id = "12a";
    EXPECT_THROW(sim.addFile(spec), std::invalid_argument);
    spec.id = "12";
    for (const std::string name : {"", "a b.zip", "a/b", "a\"b"}) {
        spec.name = name;
        EXPECT_THROW(sim.addFile(spec), std::invalid_argument) << name;
    }
}

} // namespace
