#include "service/RapidshareDownload.h"

#include "engine/FailureReason.h"
#include "engine/LocalFailure.h"
#include "http/HttpClient.h"
#include "http/HttpError.h"
#include "http/Url.h"
#include "platform/Clock.h"
#include "platform/FileOutput.h"
#include "platform/FileSystem.h"
#include "service/ServiceHost.h"
#include "service/StepAddress.h"
#include "support/Cp1251.h"
#include "support/PercentEscapes.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <limits>
#include <sstream>

namespace tolvenka {

using namespace kestrune::text::literals;

namespace {

// What the service's pages say.
constexpr std::string_view notFoundText = "The file could not be found.";
constexpr std::string_view freeFormMarker = "<form id=\"ff\" action=\"";
constexpr std::string_view waitMinutesText = "Or try again in about ";
// The unit of the number after that ("minute" or "minutes").
constexpr std::string_view unitWord = "minute";
constexpr std::string_view ipBusyText = "is already downloading a file.";
constexpr std::string_view overloadedText = "Currently a lot of users are downloading files.";
constexpr std::string_view finalFormMarker = "'<form name=\"dlf\" action=\"";
constexpr std::string_view countdownMarker = "var c=";

bool contains(const std::string& text, std::string_view part) {
    return text.find(part) != std::string::npos;
}

// The text after the first `marker` up to (not including) `end`; empty when
// either is missing.
std::string textAfter(const std::string& text, std::string_view marker, char end) {
    const std::size_t start = text.find(marker);
    if (start == std::string::npos) {
        return {};
    }
    const std::size_t from = start + marker.size();
    const std::size_t to = text.find(end, from);
    return to == std::string::npos ? std::string() : text.substr(from, to - from);
}

// A decimal integer at the start of `text` (blanks skipped, a sign allowed),
// held within +-10^15 so that arithmetic on it cannot overflow.
bool parseInteger(const std::string& text, std::int64_t& value) {
    constexpr std::int64_t limit = 1'000'000'000'000'000;
    std::size_t pos = text.find_first_not_of(" \t\n\v\f\r");
    if (pos == std::string::npos) {
        return false;
    }
    const bool negative = text[pos] == '-';
    if (text[pos] == '-' || text[pos] == '+') {
        ++pos;
    }
    if (pos >= text.size() || text[pos] < '0' || text[pos] > '9') {
        return false;
    }
    std::int64_t magnitude = 0;
    for (; pos < text.size() && text[pos] >= '0' && text[pos] <= '9'; ++pos) {
        magnitude = std::min(limit, magnitude * 10 + (text[pos] - '0'));
    }
    value = negative ? -magnitude : magnitude;
    return true;
}

} // namespace

RapidshareDownload::RapidshareDownload(std::string_view url, std::string_view targetPath)
    : Download(url, targetPath, serviceHost()) {}

std::size_t RapidshareDownload::fileIdEnd(std::string_view link) {
    // Compared in place, without copies: every address of a page passes
    // through here, and every record of a long queue file. Most letters are
    // as written, so a letter is lowered only where it differs from the one
    // wanted, which is in lower case already.
    const auto matchesAt = [link](std::size_t at, std::string_view wanted) {
        if (link.size() < at || link.size() - at < wanted.size()) {
            return false;
        }
        for (std::size_t i = 0; i < wanted.size(); ++i) {
            const char given = link[at + i];
            if (given != wanted[i] && kestrune::text::toLowerCp1251(given) != wanted[i]) {
                return false;
            }
        }
        return true;
    };
    // The service's pages are the same over https, on its port 443; the
    // letter after "http" tells which scheme to compare.
    const bool secure = link.size() > 4 && (link[4] == 's' || link[4] == 'S');
    const std::string_view scheme = secure ? "https://" : "http://";
    const std::string_view host = serviceLinkHost();
    if (!matchesAt(0, scheme) || !matchesAt(scheme.size(), host)) {
        return std::string::npos;
    }
    std::size_t at = scheme.size() + host.size();
    // The default port is the same as none.
    const std::string_view defaultPort = secure ? ":443/" : ":80/";
    if (host.find(':') == std::string_view::npos &&
        link.compare(at, defaultPort.size(), defaultPort) == 0) {
        at += defaultPort.size() - 1;
    }
    constexpr std::string_view filesPath = "/files/";
    if (!matchesAt(at, filesPath)) {
        return std::string::npos;
    }
    at += filesPath.size();
    std::size_t digitsEnd = at;
    while (digitsEnd < link.size() && link[digitsEnd] >= '0' && link[digitsEnd] <= '9') {
        ++digitsEnd;
    }
    return digitsEnd != at ? digitsEnd : std::string::npos;
}

bool RapidshareDownload::namesAFile(std::string_view link) {
    // The name is what follows the last separator, so an empty one, "." or
    // ".." shows in the last three bytes.
    const auto nameIs = [&](std::string_view name) {
        if (!link.ends_with(name)) {
            return false;
        }
        const std::size_t before = link.size() - name.size();
        return before == 0 || link[before - 1] == '/' || link[before - 1] == '\\';
    };
    return !nameIs("") && !nameIs(".") && !nameIs("..");
}

LinkClass RapidshareDownload::classify(std::string_view link) {
    const std::size_t idEnd = fileIdEnd(link);
    if (idEnd == std::string::npos) {
        return LinkClass::Other;
    }
    if (idEnd == link.size()) {
        return LinkClass::Nameless;
    }
    if (link[idEnd] != '/') {
        return LinkClass::Other;
    }
    return namesAFile(link) ? LinkClass::Download : LinkClass::Nameless;
}

bool RapidshareDownload::isServiceLink(std::string_view link) {
    return classify(link) == LinkClass::Download;
}

bool RapidshareDownload::isNamelessServiceLink(std::string_view link) {
    return classify(link) == LinkClass::Nameless;
}

std::string RapidshareDownload::identityOf(std::string_view link) {
    std::optional<std::string> own = ownIdentityOf(link);
    return own ? std::move(*own) : http::Url::normalizedForm(link);
}

std::optional<std::string> RapidshareDownload::ownIdentityOf(std::string_view link) {
    const std::size_t idEnd = fileIdEnd(link);
    if (idEnd >= link.size() || link[idEnd] != '/') {
        return std::nullopt;
    }
    std::size_t idStart = idEnd;
    while (idStart > 0 && link[idStart - 1] >= '0' && link[idStart - 1] <= '9') {
        --idStart;
    }
    // One number however many zeros lead it.
    while (idStart + 1 < idEnd && link[idStart] == '0') {
        ++idStart;
    }
    const std::string_view name = link.substr(idEnd + 1);
    constexpr std::string_view prefix = "service:";
    std::string identity;
    identity.reserve(prefix.size() + (idEnd - idStart) + 1 + name.size());
    identity.append(prefix).append(link, idStart, idEnd - idStart).append("/");
    // Most names are spelt one way only already: letters, digits and signs
    // of ASCII, no escapes.
    const auto spelledOneWay = [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte > 0x20 && byte < 0x7F && c != '%' && c != '\\' &&
               std::string_view("\"<>^`{|}").find(c) == std::string_view::npos;
    };
    if (std::all_of(name.begin(), name.end(), spelledOneWay)) {
        return identity.append(name);
    }
    std::string slashed(name);
    std::replace(slashed.begin(), slashed.end(), '\\', '/');
    return identity.append(kestrune::text::normalizedEscapes(kestrune::text::toUtf8(slashed)));
}

bool RapidshareDownload::isFinishedFileOf(const std::string& path, std::string_view link) {
    const std::optional<std::string> mark = platform::markOf(path, FINISHED_MARK);
    if (!mark) {
        return false;
    }
    const std::string identity = identityOf(link);
    return *mark == identity || identityOf(*mark) == identity;
}

bool RapidshareDownload::checkFileExists(http::HttpClient& client, const std::string& link) {
    return !contains(client.Get(link), notFoundText);
}

std::unique_ptr<Download>
RapidshareDownload::create(const std::string& url, const std::string& folder,
                           const std::function<bool(const std::string&)>& isTaken,
                           NextFreeNumbers* nextNumbers) {
    return std::make_unique<RapidshareDownload>(
        url, firstFreePath(targetPathIn(folder, url), isTaken, nextNumbers));
}

std::unique_ptr<Download> RapidshareDownload::load(std::istream& in,
                                                   platform::DirectoryLookup& folders) {
    std::string link;
    std::string path;
    State state = State::Queued;
    bool held = false;
    if (!readCommonFields(in, link, path, state, held) || !isServiceLink(link) ||
        kestrune::text::hasControlByte(link) || kestrune::text::hasControlByte(path)) {
        return nullptr;
    }
    const std::string targetPath = storedTargetPath(std::move(path), link, folders);
    auto download = std::make_unique<RapidshareDownload>(link, targetPath);
    download->restoreStoredState(state, held);
    download->serviceState = state == State::Complete   ? ServiceState::Done
                             : state == State::NotFound ? ServiceState::FileNotFound
                                                        : ServiceState::InQueue;
    return download;
}

bool RapidshareDownload::hasArrivedIn(const std::string& link, const std::string& folder,
                                      const std::function<bool(const std::string&)>& isTaken) {
    bool arrived = false;
    // The names a download of the link takes in turn, while they are taken.
    firstFreePath(targetPathIn(folder, link), [&](const std::string& path) {
        if (!isTaken(path)) {
            return false;
        }
        arrived = isFinishedFileOf(path, link);
        return !arrived;
    });
    return arrived;
}

std::string RapidshareDownload::captionOf(ServiceState state) {
    static const std::array<std::string_view, 11> captions = {
        "В очереди"_cp1251,
        "Ошибка"_cp1251,
        "Сервер в дауне, ожидание"_cp1251,
        "С этого IP-адреса уже идёт загрузка, ожидание"_cp1251,
        "Подождите"_cp1251,
        "Обратный отсчёт перед загрузкой"_cp1251,
        "Загрузка"_cp1251,
        "Готово"_cp1251,
        "Файл не найден"_cp1251,
        "Сервер перегружен"_cp1251,
        "прокси-сервер недоступен"_cp1251,
    };
    return std::string(captions.at(static_cast<std::size_t>(state)));
}

Download::State RapidshareDownload::downloadStateOf(ServiceState state) {
    switch (state) {
    case ServiceState::InQueue:
        return State::Queued;
    case ServiceState::Failed:
        return State::Error;
    case ServiceState::Transferring:
        return State::Downloading;
    case ServiceState::Done:
        return State::Complete;
    case ServiceState::FileNotFound:
        return State::NotFound;
    default:
        return State::WaitingForStart;
    }
}

std::string RapidshareDownload::waitCaption(int minutes) {
    if (minutes <= 0) {
        return captionOf(ServiceState::WaitMinutes);
    }
    const int lastTwo = minutes % 100;
    const int last = minutes % 10;
    const std::string_view word = last == 1 && lastTwo != 11 ? "минуту"_cp1251
                                  : last >= 2 && last <= 4 && (lastTwo < 12 || lastTwo > 14)
                                      ? "минуты"_cp1251
                                      : "минут"_cp1251;
    return std::string("Подождите "_cp1251) + std::to_string(minutes) + " " + std::string(word);
}

std::string RapidshareDownload::getStateCaption() const {
    if (showsHeld()) {
        return heldCaption();
    }
    const ServiceState state = serviceState.load();
    if (state == ServiceState::WaitMinutes) {
        return waitCaption(namedWaitMinutes.load());
    }
    if (state == ServiceState::ProxyUnreachable) {
        // The reason names the proxy.
        if (std::string reason = getFailureReason(); !reason.empty()) {
            return reason;
        }
    }
    return captionOf(state);
}

void RapidshareDownload::saveKindData(std::ostream&) const {}

void RapidshareDownload::requeue() {
    const ServiceState now = serviceState.load();
    if (now == ServiceState::Failed || now == ServiceState::FileNotFound) {
        serviceState = ServiceState::InQueue;
        failuresInARow = 0;
        Download::requeue();
    }
}

void RapidshareDownload::setServiceState(ServiceState newState) {
    serviceState = newState;
    setState(downloadStateOf(newState));
}

void RapidshareDownload::waitIn(ServiceState newState, std::int64_t seconds) {
    serviceState = newState;
    waitInState(downloadStateOf(newState), seconds);
}

std::int64_t RapidshareDownload::backOffSeconds(int failuresInARow) {
    if (failuresInARow < 2) {
        return 0;
    }
    return failuresInARow >= 7 ? 30 : std::int64_t{1} << (failuresInARow - 2);
}

std::int64_t RapidshareDownload::countdownOf(const std::string& reply) {
    std::int64_t seconds = 0;
    return parseInteger(textAfter(reply, countdownMarker, ';'), seconds) ? seconds
                                                                         : DEFAULT_COUNTDOWN;
}

int RapidshareDownload::minutesNamedIn(const std::string& reply) {
    const std::size_t marker = reply.find(waitMinutesText);
    if (marker == std::string::npos) {
        return 0;
    }
    std::size_t at = marker + waitMinutesText.size();
    const std::size_t digitsStart = at;
    int minutes = 0;
    for (; at < reply.size() && reply[at] >= '0' && reply[at] <= '9'; ++at) {
        minutes = std::min(MAX_NAMED_WAIT_MINUTES, minutes * 10 + (reply[at] - '0'));
    }
    if (at == digitsStart) {
        return 0;
    }
    at = std::min(reply.find_first_not_of(" \t", at), reply.size());
    // "about 2 hours" names no minutes.
    return reply.compare(at, unitWord.size(), unitWord) == 0 ? minutes : 0;
}

bool RapidshareDownload::process() {
    if (takeFinishedFile()) {
        return true;
    }
    StepAddress finalForm;
    // Turns in a row that could not reach the proxy. Like the service's own
    // waits, the wait for it concerns every download alike: it is waited out
    // here with the back-off, and never counts against this download.
    int proxyFailuresInARow = 0;
    for (;;) {
        // A disconnect left by the idle guard or an earlier abort ends here;
        // the abort flag is looked at after, so a new abort is never lost.
        getHttpClient().clearDisconnect();
        // A settled verdict wins over an abort that came after it: the file
        // is on disk, or the service has said there is none.
        if (serviceState == ServiceState::Done) {
            return true;
        }
        if (serviceState == ServiceState::FileNotFound) {
            return false;
        }
        if (isAbortRequested()) {
            setServiceState(ServiceState::InQueue);
            return false;
        }
        try {
            if (proxyFailuresInARow > 0) {
                waitIn(ServiceState::ProxyUnreachable, backOffSeconds(proxyFailuresInARow));
            }
            // The transfer after a countdown goes ahead at once.
            if (serviceState != ServiceState::Countdown) {
                refuseBlockedTarget();
            }
            const TurnOutcome outcome = takeTurn(finalForm);
            proxyFailuresInARow = 0;
            switch (outcome) {
            case TurnOutcome::Settled:
                failuresInARow = 0;
                break;
            case TurnOutcome::CountedDown:
                break;
            case TurnOutcome::Failed:
                return endFailedRun(unknownReplyReason(), false);
            }
        } catch (AbortType) {
            setServiceState(ServiceState::InQueue);
            throw;
        } catch (...) {
            // A failure that an abort caused says nothing about the
            // download, which goes back to the queue at the next turn.
            if (isAbortRequested()) {
                setServiceState(ServiceState::Failed);
                continue;
            }
            const std::exception_ptr failure = std::current_exception();
            if (blocksEveryDownload(failure)) {
                setFailureReason(failureReasonOf(failure));
                ++proxyFailuresInARow;
                continue;
            }
            return endFailedRun(failureReasonOf(failure), needsTheUser(failure));
        }
    }
}

bool RapidshareDownload::takeFinishedFile() {
    if (serviceState != ServiceState::InQueue) {
        return false;
    }
    const std::string target(getTargetPath());
    if (!isFinishedFileOf(target, getLink())) {
        // Or it was cut off between marking the whole part file and
        // renaming it.
        const std::string partPath = target + ".part";
        if (!isFinishedFileOf(partPath, getLink()) ||
            platform::renameWithoutReplacing(partPath, target) != 0) {
            return false;
        }
        platform::syncFolderOf(target);
    }
    fileArrived(ArrivedFile{platform::fileSizeOf(target), -1, true});
    clearFailureReason();
    setServiceState(ServiceState::Done);
    return true;
}

// The back-off is waited out between runs, so that one download that keeps
// failing never holds the downloads behind it; the service's own waits
// concern every download alike and stay inside the run.
bool RapidshareDownload::endFailedRun(std::string reason, bool needsTheUser) {
    setFailureReason(std::move(reason));
    if (!needsTheUser && ++failuresInARow < MAX_FAILED_CONVERSATIONS) {
        retryAfter(backOffSeconds(failuresInARow));
    }
    setServiceState(ServiceState::Failed);
    return false;
}

RapidshareDownload::TurnOutcome RapidshareDownload::takeTurn(StepAddress& finalForm) {
    if (serviceState == ServiceState::Countdown) {
        transferFile(finalForm);
        return TurnOutcome::Settled;
    }
    return requestTicket(finalForm);
}

// No step follows a redirect, so none can lead from https back to http: a
// reply of any status but success fails the turn.
RapidshareDownload::TurnOutcome RapidshareDownload::requestTicket(StepAddress& finalForm) {
    const std::string page = getHttpClient().Get(std::string(getLink()));
    if (contains(page, notFoundText)) {
        setServiceState(ServiceState::FileNotFound);
        return TurnOutcome::Settled;
    }
    if (!contains(page, freeFormMarker)) {
        waitIn(ServiceState::ServerDown, SERVICE_RETRY_WAIT);
        return TurnOutcome::Settled;
    }
    const StepAddress freeForm(std::string(getLink()), textAfter(page, freeFormMarker, '"'));
    std::string reply;
    try {
        reply = getHttpClient().Post(freeForm.address(), "dl.start=Free");
    } catch (const http::HttpError&) {
        freeForm.rethrowFailure();
    }

    ServiceState refusal = ServiceState::InQueue;
    if (contains(reply, waitMinutesText)) {
        refusal = ServiceState::WaitMinutes;
    } else if (contains(reply, ipBusyText)) {
        refusal = ServiceState::IpBusy;
    } else if (contains(reply, overloadedText)) {
        refusal = ServiceState::Overloaded;
    }
    if (refusal == ServiceState::WaitMinutes) {
        // The service refuses every request before the time it named.
        const int minutes = minutesNamedIn(reply);
        namedWaitMinutes = minutes;
        waitIn(refusal, std::max<std::int64_t>(SERVICE_RETRY_WAIT, std::int64_t{minutes} * 60));
        return TurnOutcome::Settled;
    }
    if (refusal != ServiceState::InQueue) {
        waitIn(refusal, SERVICE_RETRY_WAIT);
        return TurnOutcome::Settled;
    }
    if (!contains(reply, finalFormMarker)) {
        return TurnOutcome::Failed;
    }
    StepAddress address(freeForm.address(), textAfter(reply, finalFormMarker, '"'));
    waitIn(ServiceState::Countdown, countdownOf(reply) + COUNTDOWN_MARGIN);
    finalForm = std::move(address);
    return TurnOutcome::CountedDown;
}

void RapidshareDownload::transferFile(const StepAddress& finalForm) {
    refuseBlockedTarget();
    resetProgress();
    const std::int64_t startedAtMs = platform::clockMs();
    setServiceState(ServiceState::Transferring);
    // The reply goes into "<target>.part" and becomes the target only when
    // it has arrived whole, so a failed transfer never costs an existing file.
    std::string partPath = std::string(getTargetPath()) + ".part";
    const std::string folder = partPath.substr(0, partPath.rfind('/') + 1);
    // As a browser does, a folder that is not there yet is made.
    int error = 0;
    if (!platform::createParentFolders(partPath, &error)) {
        throw LocalFailure::fromError(error, LocalFailure::Kind::CannotCreateFolder, folder);
    }
    platform::FileOutput file;
    // Where the file system keeps no marks, a leftover stays behind as
    // before.
    while (!file.create(partPath, UNFINISHED_MARK, getLink())) {
        if (file.error() != EEXIST) {
            throw LocalFailure::fromError(file.error(), LocalFailure::Kind::NoAccess, folder);
        }
        // What a run of this download left when the program was killed is
        // taken over. Another program's unfinished file, or one still
        // written, is left alone, and this one takes the next free name.
        if (platform::removeAbandoned(partPath, UNFINISHED_MARK, getLink())) {
            continue;
        }
        moveTargetPath(firstFreePath(std::string(getTargetPath()), isPathTaken));
        partPath = std::string(getTargetPath()) + ".part";
    }
    try {
        std::istringstream body("mirror=");
        try {
            getHttpClient().Post(finalForm.address(), body, file.stream());
        } catch (const http::HttpError&) {
            // A body the file would not take is the disk's failure, not the
            // network's.
            if (file.error() != 0) {
                throw LocalFailure::fromError(file.error(), LocalFailure::Kind::CannotWrite,
                                              partPath);
            }
            finalForm.rethrowFailure();
        }
        // Marked whole only once every byte is in the file, and before it
        // gets its name; the flush to disk in `close` keeps the mark too.
        if (file.stream().flush() && file.mark(FINISHED_MARK, identityOf(getLink()))) {
            file.unmark(UNFINISHED_MARK);
        }
        if (!file.close()) {
            throw LocalFailure::fromError(file.error(), LocalFailure::Kind::CannotWrite, partPath);
        }
        putInPlace(partPath);
    } catch (...) {
        // Removed while still locked: once let go, another program may take
        // the name over, and its file must not go instead.
        platform::removeFile(partPath);
        file.abandon();
        throw;
    }
    fileArrived(ArrivedFile{platform::fileSizeOf(std::string(getTargetPath())),
                            (platform::clockMs() - startedAtMs + 500) / 1000, false});
    clearFailureReason();
    setServiceState(ServiceState::Done);
}

void RapidshareDownload::removeLeftovers() {
    platform::removeAbandoned(std::string(getTargetPath()) + ".part", UNFINISHED_MARK, getLink());
}

void RapidshareDownload::refuseBlockedTarget() const {
    const std::string target(getTargetPath());
    if (platform::isDirectory(target)) {
        throw LocalFailure(LocalFailure::Kind::TargetIsFolder, target);
    }
    const std::string folder = target.substr(0, target.rfind('/') + 1);
    const int obstacle = platform::obstacleToCreating(target);
    if (obstacle != 0) {
        throw LocalFailure::fromError(obstacle,
                                      platform::isDirectory(folder)
                                          ? LocalFailure::Kind::NoAccess
                                          : LocalFailure::Kind::CannotCreateFolder,
                                      folder);
    }
}

void RapidshareDownload::putInPlace(const std::string& partPath) {
    std::string target(getTargetPath());
    for (;;) {
        const int error = platform::renameWithoutReplacing(partPath, target);
        if (error == 0) {
            break;
        }
        if (error != EEXIST) {
            throw LocalFailure::fromError(error, LocalFailure::Kind::CannotWrite, target);
        }
        // Someone put a file of that name there while this one arrived.
        target = firstFreePath(target, isPathTaken);
    }
    // The new name outlives a crash of the system, as the file's bytes do.
    platform::syncFolderOf(target);
    if (target != getTargetPath()) {
        moveTargetPath(target);
    }
}

} // namespace tolvenka
