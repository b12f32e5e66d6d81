#include "tools/service-sim/Pages.h"

namespace servicesim::pages {

namespace {

const char* const NotFoundText = "The file could not be found.";
const char* const IpBusyText = "is already downloading a file.";
const char* const OverloadedText = "Currently a lot of users are downloading files.";

std::string document(const std::string& title, const std::string& content) {
    return "<!DOCTYPE html>\n<html><head><title>" + title + "</title></head>\n<body>\n" + content +
           "</body></html>\n";
}

std::string freeForm(const std::string& url) {
    return "<form id=\"ff\" action=\"" + url +
           "\" method=\"post\">\n<input type=\"submit\" name=\"dl.start\" value=\"Free\">\n"
           "</form>\n";
}

std::string notFoundNotice() {
    return std::string("<p class=\"error\">") + NotFoundText +
           " It may have been removed for a breach of the terms of use.</p>\n";
}

std::string waitNotice(const Step& step) {
    const std::string when =
        step.namesMinutes ? std::to_string(step.minutes) + " minutes" : std::string("an hour");
    return "<p>You have reached the download limit for free users. Or try again in about " + when +
           ".</p>\n";
}

std::string ipBusyNotice() {
    return std::string("<p>Your address 127.0.0.1 ") + IpBusyText +
           " Please wait until that download has finished.</p>\n";
}

std::string overloadedNotice() {
    return std::string("<p>") + OverloadedText +
           " Please come back later or use a premium account.</p>\n";
}

std::string countdownReply(const Step& step, const std::string& finalFormUrl) {
    std::string script = "<script type=\"text/javascript\">\n";
    if (step.withCountdownVar) {
        script += "var c=" + step.countdownText + ";\n";
    }
    script += "var tt = '<form name=\"dlf\" action=\"" + finalFormUrl +
              "\" method=\"post\">"
              "<input type=\"submit\" name=\"mirror\" value=\"Download\"></form>';\n"
              "function tick() { if (c > 0) { c--; setTimeout(tick, 1000); } "
              "else { document.getElementById('dl').innerHTML = tt; } }\n"
              "tick();\n</script>\n";
    return document("Download",
                    "<p>Your download is being prepared.</p>\n<div id=\"dl\"></div>\n" + script);
}

} // namespace

std::string linkPage(const Step& step, const std::string& fileName,
                     const std::string& freeFormUrl) {
    using Kind = Step::Kind;
    switch (step.kind) {
    case Kind::NotFound:
        return document("Error", notFoundNotice());
    case Kind::NotFoundWithForm:
        return document("Error", notFoundNotice() + freeForm(freeFormUrl));
    case Kind::NoForm:
        return document(fileName, "<h1>" + fileName +
                                      "</h1>\n<p>Downloads are paused for maintenance.</p>\n");
    default:
        return document(fileName, "<h1>" + fileName + "</h1>\n<p>Choose how to download.</p>\n" +
                                      freeForm(freeFormUrl));
    }
}

std::string freeFormReply(const Step& step, const std::string& finalFormUrl) {
    using Kind = Step::Kind;
    switch (step.kind) {
    case Kind::IpBusy:
        return document("Busy", ipBusyNotice());
    case Kind::WaitMinutes:
        return document("Limit", waitNotice(step));
    case Kind::Overloaded:
        return document("Overloaded", overloadedNotice());
    case Kind::WaitMinutesAndIpBusy:
        return document("Limit", ipBusyNotice() + waitNotice(step));
    case Kind::Countdown:
        return countdownReply(step, finalFormUrl);
    case Kind::NotFound:
    case Kind::NotFoundWithForm:
        return document("Error", notFoundNotice());
    default:
        return document("Hmm", "<p>Something went wrong on our side.</p>\n");
    }
}

std::string unknownFilePage() {
    return document("Error", notFoundNotice());
}

std::string listPage(const std::string& origin, const std::vector<std::string>& fileLinks) {
    std::string content = "<h1>Files</h1>\n<ul>\n";
    for (const auto& link : fileLinks) {
        content += "<li><a href=\"" + link + "\">" + link + "</a></li>\n";
    }
    content += "</ul>\n<p><a href=\"" + origin + "/about\">About this service</a> | " +
               "<a href=\"" + origin + "/list\">This list</a></p>\n";
    return document("Files", content);
}

std::string aboutPage() {
    return document("About", "<p>A file-hosting service. Free downloads are limited.</p>\n");
}

std::string errorPage(int status, const std::string& reason) {
    return document(std::to_string(status) + " " + reason,
                    "<h1>" + std::to_string(status) + " " + reason + "</h1>\n");
}

} // namespace servicesim::pages
