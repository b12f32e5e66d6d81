#pragma once

#include <string>
#include <utility>

namespace servicesim {

// One outcome in a file's script. Each GET of the file's link page is a new
// attempt and plays the next step; the last step repeats for ever.
//
// The first four kinds decide the link page itself. The others show the
// page with the free form and decide the reply to "dl.start=Free"; only
// `Countdown` gives the final form, whose "mirror=" POST yields the file.
struct Step {
    enum class Kind {
        NotFound,             // page with the not-found text
        NotFoundWithForm,     // page with the not-found text and the free form
        NoForm,               // page without any form ("server down")
        ServerError,          // HTTP 500 for the link page
        IpBusy,               // "... is already downloading a file."
        WaitMinutes,          // "... Or try again in about N minutes."
        Overloaded,           // "Currently a lot of users are downloading files."
        WaitMinutesAndIpBusy, // both of the first two texts
        Garbage,              // a page with none of the known texts
        Countdown,            // "var c=<text>;" and the final form
    };

    Kind kind = Kind::Countdown;
    std::string countdownText = "0"; // Countdown: what follows "var c=" up to ';'
    bool withCountdownVar = true;    // Countdown: false leaves "var c=" out
    int minutes = 3;                 // WaitMinutes, WaitMinutesAndIpBusy
    bool namesMinutes = true;        // WaitMinutes: false asks for "about an hour"

    static Step notFound() { return Step{Kind::NotFound}; }
    static Step notFoundWithForm() { return Step{Kind::NotFoundWithForm}; }
    static Step noForm() { return Step{Kind::NoForm}; }
    static Step serverError() { return Step{Kind::ServerError}; }
    static Step ipBusy() { return Step{Kind::IpBusy}; }
    static Step waitMinutes(int minutes = 3) {
        Step step{Kind::WaitMinutes};
        step.minutes = minutes;
        return step;
    }
    static Step waitWithoutMinutes() {
        Step step{Kind::WaitMinutes};
        step.namesMinutes = false;
        return step;
    }
    static Step overloaded() { return Step{Kind::Overloaded}; }
    static Step waitMinutesAndIpBusy(int minutes = 3) {
        Step step{Kind::WaitMinutesAndIpBusy};
        step.minutes = minutes;
        return step;
    }
    static Step garbage() { return Step{Kind::Garbage}; }
    static Step countdown(std::string text) {
        Step step{Kind::Countdown};
        step.countdownText = std::move(text);
        return step;
    }
    static Step countdownWithoutVar() {
        Step step{Kind::Countdown};
        step.withCountdownVar = false;
        return step;
    }

    // Whether the link page of this step carries the free form.
    bool pageHasFreeForm() const {
        return kind != Kind::NotFound && kind != Kind::NoForm && kind != Kind::ServerError;
    }
};

} // namespace servicesim
