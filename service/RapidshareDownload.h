#pragma once

#include "engine/Download.h"
#include "service/LinkClass.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace http {
class HttpClient;
}

namespace tolvenka {

class StepAddress;

// The service's download kind: takes a file link through the service's free
// download conversation the way a visitor with a browser would. Link page,
// free form, the service's refusals and their waits, the countdown, the final
// form, whose answer is the file.
class RapidshareDownload : public Download {
public:
    enum class ServiceState : std::uint8_t {
        InQueue,
        Failed,
        ServerDown,
        IpBusy,
        WaitMinutes,
        Countdown,
        Transferring,
        Done,
        FileNotFound,
        Overloaded,
        // Waiting for a proxy that cannot be reached; the caption names it.
        ProxyUnreachable,
    };

    static constexpr std::int64_t SERVICE_RETRY_WAIT = 30;
    // The most minutes of a wait the service names that are believed: a day.
    static constexpr int MAX_NAMED_WAIT_MINUTES = 24 * 60;
    // Failed conversations in a row after which a download stops and waits
    // for the user.
    static constexpr int MAX_FAILED_CONVERSATIONS = 5;
    static constexpr std::int64_t COUNTDOWN_MARGIN = 5;
    // The countdown when the final form names none that can be read.
    static constexpr std::int64_t DEFAULT_COUNTDOWN = 60;
    // The marks a transfer leaves on its file (see platform::markOf), so
    // that a run after a crash knows the file for its own: the part file
    // while it is written, marked with the download's link, and the whole
    // file once it has arrived, marked with the identity of the link's file
    // (earlier versions marked it with the link as written, which still
    // counts).
    static constexpr const char* UNFINISHED_MARK = "user.tolvenka.unfinished";
    static constexpr const char* FINISHED_MARK = "user.tolvenka.finished";

    RapidshareDownload(std::string_view url, std::string_view targetPath);

    // The four functions of the kind, kept by the registry.
    // A file link of the service: "http://HOST/files/", digits, "/" and a
    // file name, in any letter case, the host with or without the default
    // port ":80". An empty name, "." or ".." would make
    // the target a folder, so such links are refused.
    static bool isServiceLink(std::string_view link);
    // A link of that form whose file name is missing or could not name a
    // file, or that ends with its digits: refused, and worth telling the
    // user about.
    static bool isNamelessServiceLink(std::string_view link);
    // Both questions at once, as the registry asks them.
    static LinkClass classify(std::string_view link);
    // What the file of a service link is, however the link is spelt:
    // "service:", the file's number and "/" and its name, with its escapes
    // spelt one way and its letters beyond ASCII as escapes of their UTF-8,
    // so that the scheme, the letter case of the host, a default port,
    // upper- or lower-case hex, raw or escaped letters and a space or "%20"
    // make no difference. Any other link: its http::Url::normalizedForm.
    static std::string identityOf(std::string_view link);
    // The same for a link of the service's files only; nothing for others.
    static std::optional<std::string> ownIdentityOf(std::string_view link);
    // Whether the plain file at `path` carries the finished mark of the
    // file of `link`.
    static bool isFinishedFileOf(const std::string& path, std::string_view link);
    static bool checkFileExists(http::HttpClient& client, const std::string& link);
    // The target is the first path in `folder` for the link's file name that
    // `isTaken` calls free.
    static std::unique_ptr<Download> create(const std::string& url, const std::string& folder,
                                            const std::function<bool(const std::string&)>& isTaken,
                                            NextFreeNumbers* nextNumbers = nullptr);
    // Null when the record was not written by this program: its link is no
    // link of the service, it ends before its fields do, or its link or path
    // holds a control byte (it would write elsewhere than it says).
    static std::unique_ptr<Download> load(std::istream& in, platform::DirectoryLookup& folders);
    // Whether the file of `link` arrived whole in `folder` before: a file
    // there under the link's file name, or under one a download takes when
    // that one is taken ("name (1).ext", ...), carries the finished mark of
    // the file of this link. `isTaken` tells which paths are taken.
    static bool hasArrivedIn(const std::string& link, const std::string& folder,
                             const std::function<bool(const std::string&)>& isTaken);

    ServiceState getServiceState() const { return serviceState.load(); }
    std::string getStateCaption() const override;
    void requeue() override;
    static std::string captionOf(ServiceState state);
    // The caption of a wait of `minutes` that the service named ("Подождите
    // 12 минут"); for none (0), "Подождите".
    static std::string waitCaption(int minutes);
    static State downloadStateOf(ServiceState state);

    // The wait before the next page conversation after `failuresInARow`
    // failed turns: none after the first, then 1, 2, 4, 8, 16, 30 seconds.
    static std::int64_t backOffSeconds(int failuresInARow);
    // Failed conversations since the last one that settled anything.
    int getFailuresInARow() const { return failuresInARow.load(); }
    // The countdown that a final-form reply asks for, in seconds.
    static std::int64_t countdownOf(const std::string& reply);
    // The minutes a refusal asks to wait ("Or try again in about 12
    // minutes"), at most MAX_NAMED_WAIT_MINUTES; 0 when it names none.
    static int minutesNamedIn(const std::string& reply);

protected:
    bool process() override;
    void removeLeftovers() override;
    void saveKindData(std::ostream& out) const override;

private:
    // Where the digits of "http://HOST/files/" and digits, in any letter
    // case, end in `link`; npos when it has not that form.
    static std::size_t fileIdEnd(std::string_view link);
    // Looks at the end of the link only, so that the cost of a question
    // does not grow with the link: an address of a page may run for
    // megabytes.
    static bool namesAFile(std::string_view link);

    // How a turn bears on the back-off: a settled turn (the file, "not
    // found", a refusal with its wait) resets it, a failed one grows it, and
    // a countdown leaves it as it is, since the transfer after it may fail.
    enum class TurnOutcome { Settled, CountedDown, Failed };

    void setServiceState(ServiceState newState);
    // Enters `newState` and waits there `seconds`.
    void waitIn(ServiceState newState, std::int64_t seconds);
    // Ends the run in Failed with `reason`: the download is due again after
    // its back-off, or stops for good after too many failures in a row or
    // after a failure that no new try mends (`needsTheUser`: this machine's,
    // an unverifiable certificate). Returns the run's result.
    bool endFailedRun(std::string reason, bool needsTheUser);
    // A queued download whose file arrived whole in an earlier run that died
    // before the queue file could record it: the target is marked as this
    // link's finished file (or its part file is, not yet renamed). Then it
    // is told as arrived, and Done without a request, and true.
    bool takeFinishedFile();
    TurnOutcome takeTurn(StepAddress& finalForm);
    TurnOutcome requestTicket(StepAddress& finalForm);
    void transferFile(const StepAddress& finalForm);
    // Throws the LocalFailure of what stands in the way of the file on this
    // machine, as far as can be told before it is made: a folder where the
    // file must go, a folder that cannot be made or written.
    void refuseBlockedTarget() const;
    // Moves the whole file from `partPath` to the target, never over a file
    // it did not write: a name taken meanwhile makes it take the next free
    // one, which becomes the target.
    void putInPlace(const std::string& partPath);

    std::atomic<ServiceState> serviceState{ServiceState::InQueue};
    // What the last refusal of WaitMinutes named; 0 for none.
    std::atomic<int> namedWaitMinutes{0};
    // Written by the run, and between runs by the GUI thread.
    std::atomic<int> failuresInARow{0};
};

} // namespace tolvenka
