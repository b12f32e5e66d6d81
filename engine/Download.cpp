#include "engine/Download.h"

#include "engine/QueueFileLine.h"
#include "engine/SpeedSamples.h"
#include "http/HttpClient.h"
#include "http/SpeedLimit.h"
#include "platform/Bell.h"
#include "platform/Clock.h"
#include "platform/DirectoryLookup.h"
#include "platform/FileSystem.h"
#include "platform/GuiThread.h"
#include "platform/Timer.h"
#include "support/Cp1251.h"
#include "support/PercentEscapes.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <limits>
#include <mutex>
#include <set>
#include <utility>

namespace tolvenka {

using namespace kestrune::text::literals;

namespace {

std::string twoDigits(std::int64_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "%02lld", static_cast<long long>(value));
    return text;
}

// File systems hold names of at most 255 bytes (of UTF-8, here); a name
// keeps room for a number to make it free and for ".part".
constexpr std::size_t maxNameBytes = 255 - std::string_view(" (99999).part").size();

// `name` cut to the file systems' limit, from the end of the part before its
// extension, a whole character at a time.
std::string withinNameLimit(std::string name) {
    const auto bytesOf = [](std::string_view cp1251) {
        return kestrune::text::toUtf8(cp1251).size();
    };
    if (bytesOf(name) <= maxNameBytes) {
        return name;
    }
    std::size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0 || name.size() - dot > 16) {
        dot = name.size();
    }
    const std::string extension = name.substr(dot);
    std::string stem = name.substr(0, dot);
    std::size_t bytes = bytesOf(stem) + bytesOf(extension);
    while (!stem.empty() && bytes > maxNameBytes) {
        bytes -= bytesOf(std::string_view(&stem.back(), 1));
        stem.pop_back();
    }
    return stem + extension;
}

// Kind names are few, and every download keeps one: each is kept once, for
// the program's life, since downloads of a reading let go may outlive any
// owner. Downloads are mostly made many of one kind in a row.
const std::string* keptKindName(const std::string& name) {
    static std::mutex mutex;
    static auto* const kept = new std::set<std::string>();
    thread_local const std::string* last = nullptr;
    if (last == nullptr || *last != name) {
        std::lock_guard lock(mutex);
        last = &*kept->insert(name).first;
    }
    return last;
}

bool isUsableFileName(std::string_view name) {
    return !name.empty() && name != "." && name != ".." &&
           name.find_first_of("/\\") == std::string_view::npos &&
           !kestrune::text::hasControlByte(name);
}

} // namespace

struct Download::RunParts {
    // Rung by `abort`, so that a wait ends at once without looking every
    // few milliseconds.
    platform::Bell abortBell;
    http::HttpClient client;
    SpeedSamples speedSamples;
    // Every reason this download has met, each kept once for its life, so
    // that a reader on another thread never holds freed text; a download
    // meets few different ones, however often it fails. Written only by the
    // thread that runs the download.
    std::vector<std::unique_ptr<const std::string>> knownReasons;
    // The reason shown, one of `knownReasons`, or null.
    std::atomic<const std::string*> failureReason{nullptr};
    // When a download that failed is due for its next try (clock time); -1
    // when no try of its own is to come.
    std::atomic<std::int64_t> retryAt{-1};
    std::atomic<std::int64_t> waitEndsAt{-1}; // clock time; -1 when no wait runs
    std::atomic<std::int64_t> lastActivity{0};
    std::atomic<std::int64_t> bytesAtLastTick{0};
    std::atomic<std::int64_t> bytesReceived{0};
    std::unique_ptr<platform::Timer> speedTimer; // while Downloading; GUI thread
    // The limit of the run, and its value at the last speed tick (GUI thread).
    std::atomic<const http::SpeedLimit*> speedLimit{nullptr};
    // Whom the run under way tells of its file; the running thread's only.
    const ArrivalReport* arrivals = nullptr;
    std::int64_t limitAtLastTick = 0;
};

Download::Download(std::string_view link, std::string_view targetPath, const std::string& kindName)
    : texts(link, targetPath)
    , kindName(keptKindName(kindName)) {}

Download::~Download() {
    delete runParts.load();
}

Download::RunParts& Download::ensureRunParts() {
    if (RunParts* parts = runParts.load()) {
        return *parts;
    }
    auto parts = std::make_unique<RunParts>();
    parts->client.OnWork = [this](http::HttpClient*, http::WorkMode, std::int64_t count) {
        onHttpWork(count);
    };
    // Published once whole. An abort that read null before this has set its
    // flag, which every wait looks at before it sleeps.
    runParts = parts.get();
    return *parts.release();
}

http::HttpClient& Download::getHttpClient() {
    return ensureRunParts().client;
}

std::string_view Download::fileNameOf(std::string_view link) {
    // Looked for from the end a byte at a time, which for a name of a few
    // letters is quicker than a search for either byte.
    std::size_t nameStart = link.size();
    while (nameStart > 0 && link[nameStart - 1] != '/' && link[nameStart - 1] != '\\') {
        --nameStart;
    }
    return link.substr(nameStart);
}

std::string Download::localFileNameOf(std::string_view link) {
    const std::string_view name = fileNameOf(link);
    if (name.find('%') == std::string_view::npos) {
        return withinNameLimit(std::string(name));
    }
    // Links carry their names percent-encoded as UTF-8, beside letters
    // written as they are (CP1251 here, UTF-8 on the wire); the program keeps
    // CP1251, so a name must survive that way to be used decoded.
    const std::string utf8 = kestrune::text::percentDecoded(kestrune::text::toUtf8(name));
    if (!kestrune::text::isCp1251Representable(utf8)) {
        return withinNameLimit(std::string(name));
    }
    std::string decoded = kestrune::text::fromUtf8(utf8);
    return withinNameLimit(isUsableFileName(decoded) ? decoded : std::string(name));
}

std::string Download::targetPathIn(const std::string& folder, const std::string& link) {
    std::string path = folder;
    if (!path.empty() && path.back() != '/') {
        path += '/';
    }
    path += localFileNameOf(link);
    return path;
}

bool Download::isPathTaken(const std::string& path) {
    return platform::isTaken(path) || platform::isTaken(path + ".part");
}

std::string Download::firstFreePath(const std::string& path,
                                    const std::function<bool(const std::string&)>& isTaken,
                                    NextFreeNumbers* nextNumbers) {
    if (!isTaken(path)) {
        return path;
    }
    const std::size_t nameStart = path.rfind('/') == std::string::npos ? 0 : path.rfind('/') + 1;
    std::size_t dot = path.rfind('.');
    // A name that starts with its only dot (".profile") has no extension.
    if (dot == std::string::npos || dot <= nameStart) {
        dot = path.size();
    }
    const std::string stem = path.substr(0, dot);
    const std::string extension = path.substr(dot);
    std::uint64_t* next =
        nextNumbers != nullptr ? &nextNumbers->try_emplace(path, 1).first->second : nullptr;
    for (std::uint64_t number = next != nullptr ? *next : 1;; ++number) {
        std::string candidate = stem + " (" + std::to_string(number) + ")" + extension;
        if (!isTaken(candidate)) {
            if (next != nullptr) {
                *next = number + 1;
            }
            return candidate;
        }
    }
}

std::string Download::storedTargetPath(std::string path, const std::string& link,
                                       platform::DirectoryLookup& folders) {
    if (folders.isDirectory(path)) {
        return targetPathIn(path, link);
    }
    return path; // moved, where a conditional expression would copy it
}

std::string Download::captionOf(State state) {
    static const std::array<std::string_view, 8> captions = {
        "В очереди"_cp1251,
        "В обработке"_cp1251,
        "Ошибка"_cp1251,
        "Ожидание начала загрузки"_cp1251,
        "Ожидание действий пользователя"_cp1251,
        "Загрузка"_cp1251,
        "Готово"_cp1251,
        "Файл не найден"_cp1251,
    };
    return std::string(captions.at(static_cast<std::size_t>(state)));
}

const char* Download::persistedWordOf(State state) {
    switch (state) {
    case State::Complete:
        return "Complete";
    case State::NotFound:
        return "NotFound";
    default:
        return "Queue";
    }
}

std::string Download::heldCaption() {
    return std::string("Приостановлена"_cp1251);
}

bool Download::showsHeld() const {
    const State now = state.load();
    return held.load() && (now == State::Queued || now == State::Error);
}

std::string Download::getStateCaption() const {
    return showsHeld() ? heldCaption() : captionOf(state.load());
}

bool Download::run(const http::SpeedLimit* speedLimit, const ArrivalReport* arrivals) {
    RunParts& parts = ensureRunParts();
    parts.retryAt = -1;
    parts.client.setSpeedLimit(speedLimit);
    parts.speedLimit = speedLimit;
    parts.arrivals = arrivals;
    setState(State::Processing);
    parts.bytesReceived = 0;
    const SpeedSamples::Window samplesWindow =
        parts.speedSamples.open(SPEED_WINDOW_SECONDS * SPEED_SAMPLES_PER_SECOND);
    // The abort request lives as long as this run: an abort that arrived
    // between the worker's pick and this point still ends the run.
    struct ForgetAbortAtEnd {
        std::atomic<bool>& flag;
        ~ForgetAbortAtEnd() { flag = false; }
    } forgetAbortAtEnd{abortRequested};
    try {
        return process();
    } catch (AbortType) {
        setState(State::Queued);
        return false;
    } catch (...) {
        setState(State::Error);
        throw;
    }
}

void Download::abort() {
    // The flag goes first: the kind clears the client's disconnect and then
    // looks at the flag, so this order cannot lose the disconnect.
    abortRequested = true;
    if (RunParts* parts = runParts.load()) {
        parts->abortBell.ring();
        parts->client.Disconnect();
    }
}

void Download::forgetAbort() {
    abortRequested = false;
}

void Download::requeue() {
    const State now = state.load();
    if (now == State::Error || now == State::NotFound) {
        clearFailureReason();
        if (RunParts* parts = runParts.load()) {
            parts->retryAt = -1;
        }
        setState(State::Queued);
    }
}

void Download::retarget(std::string_view path) {
    removeLeftovers();
    texts.retarget(path);
    recordChanged = true;
    onStatusChange(this);
}

void Download::setHeld(bool hold) {
    held = hold;
    recordChanged = true;
    // Told like a change of state: the caption and the stored word follow.
    onStatusChange(this);
}

bool Download::isDue(std::int64_t nowMs) const {
    if (held.load()) {
        return false;
    }
    const State now = state.load();
    if (now == State::Queued) {
        return true;
    }
    const std::int64_t due = getRetryAtMs();
    return now == State::Error && due >= 0 && due <= nowMs;
}

std::int64_t Download::getRetryAtMs() const {
    const RunParts* parts = runParts.load();
    return parts != nullptr ? parts->retryAt.load() : -1;
}

bool Download::hasStoppedWithError() const {
    return state.load() == State::Error && getRetryAtMs() < 0;
}

void Download::retryAfter(std::int64_t seconds) {
    ensureRunParts().retryAt = platform::clockMs() + std::max<std::int64_t>(0, seconds) * 1000;
}

std::int64_t Download::getWaitEndsAtMs() const {
    if (const RunParts* parts = runParts.load(); parts != nullptr) {
        if (const std::int64_t inRun = parts->waitEndsAt.load(); inRun >= 0) {
            return inRun;
        }
    }
    return state.load() == State::Error ? getRetryAtMs() : -1;
}

std::string Download::getWaitTimeLeft() const {
    const std::int64_t endsAt = getWaitEndsAtMs();
    if (endsAt < 0) {
        return "-";
    }
    const std::int64_t leftMs = std::max<std::int64_t>(0, endsAt - platform::clockMs());
    return formatRemainingTime((leftMs + 999) / 1000);
}

std::string Download::getFailureReason() const {
    const RunParts* parts = runParts.load();
    const std::string* reason = parts != nullptr ? parts->failureReason.load() : nullptr;
    return reason != nullptr ? *reason : std::string();
}

void Download::setFailureReason(std::string reason) {
    RunParts& parts = ensureRunParts();
    auto& knownReasons = parts.knownReasons;
    const auto known = std::find_if(knownReasons.begin(), knownReasons.end(),
                                    [&](const auto& text) { return *text == reason; });
    if (known == knownReasons.end()) {
        knownReasons.push_back(std::make_unique<const std::string>(std::move(reason)));
        parts.failureReason = knownReasons.back().get();
    } else {
        parts.failureReason = known->get();
    }
}

void Download::clearFailureReason() {
    if (RunParts* parts = runParts.load()) {
        parts->failureReason = nullptr;
    }
}

void Download::moveTargetPath(std::string_view path) {
    platform::synchronize([&] { texts.retarget(path); });
    recordChanged = true;
}

void Download::setState(State newState) {
    const State oldState = state.exchange(newState);
    if (std::string_view(persistedWordOf(oldState)) != persistedWordOf(newState)) {
        recordChanged = true;
    }
    if ((oldState == State::Downloading) != (newState == State::Downloading)) {
        platform::synchronize([&] { runSpeedTimer(newState == State::Downloading); });
    }
    onStatusChange(this);
    // Only a run watches for a silent connection.
    if (RunParts* parts = runParts.load()) {
        parts->lastActivity = platform::clockMs();
    }
}

// GUI thread. The timer ticks only while bytes arrive, so a long queue of
// downloads that wait or are done costs no timer at all.
void Download::runSpeedTimer(bool running) {
    std::unique_ptr<platform::Timer>& speedTimer = ensureRunParts().speedTimer;
    if (!running) {
        speedTimer.reset();
    } else if (!speedTimer) {
        speedTimer = std::make_unique<platform::Timer>(1000 / SPEED_SAMPLES_PER_SECOND,
                                                       [this] { onSpeedTimer(); });
    }
}

void Download::waitSeconds(std::int64_t seconds) {
    if (seconds > 0) {
        waitUntil(deadlineAfter(seconds));
    }
}

void Download::waitInState(State newState, std::int64_t seconds) {
    const std::int64_t deadline = seconds > 0 ? deadlineAfter(seconds) : -1;
    std::atomic<std::int64_t>& waitEndsAt = ensureRunParts().waitEndsAt;
    waitEndsAt = deadline;
    setState(newState);
    if (deadline >= 0) {
        waitUntil(deadline);
    }
    waitEndsAt = -1;
}

std::int64_t Download::deadlineAfter(std::int64_t seconds) {
    constexpr std::int64_t maxSeconds = std::numeric_limits<std::int64_t>::max() / 2000;
    return platform::clockMs() + std::min(seconds, maxSeconds) * 1000;
}

void Download::waitUntil(std::int64_t deadline) {
    RunParts& parts = ensureRunParts();
    parts.waitEndsAt = deadline;
    struct NothingTimedAtEnd {
        std::atomic<std::int64_t>& endsAt;
        ~NothingTimedAtEnd() { endsAt = -1; }
    } nothingTimedAtEnd{parts.waitEndsAt};
    // The bell may still ring for an abort that a finished run forgot; the
    // flag decides, the bell only wakes.
    while (!abortRequested) {
        if (platform::clockMs() >= deadline) {
            return;
        }
        parts.abortBell.waitUntil(deadline);
    }
    throw AbortType::Requested;
}

void Download::resetProgress() {
    RunParts& parts = ensureRunParts();
    parts.bytesAtLastTick = 0;
    parts.bytesReceived = 0;
    parts.speedSamples.clear();
}

bool Download::readCommonFields(std::istream& in, std::string& link, std::string& targetPath,
                                State& state, bool& isHeld) {
    std::string word;
    const bool whole = readQueueFileLine(in, link) && readQueueFileLine(in, targetPath) &&
                       readQueueFileLine(in, word);
    isHeld = word == "Paused";
    if (word == "Complete") {
        state = State::Complete;
    } else if (word == "NotFound") {
        state = State::NotFound;
    } else {
        state = State::Queued;
    }
    return whole;
}

void Download::restoreStoredState(State stored, bool isHeld) {
    state = stored;
    held = isHeld;
}

std::string Download::persistedWord() const {
    const char* word = persistedWordOf(state.load());
    return held.load() && std::string_view(word) == "Queue" ? "Paused" : word;
}

// The common fields go out as one piece: a long queue's file is many
// records, and each write to a stream, like each allocation, has a cost of
// its own. Nearly every record fits the buffer on the stack.
void Download::save(std::ostream& out) const {
    constexpr std::string_view lineEnd = "\r\n";
    const std::string word = persistedWord();
    const std::string_view fields[] = {*kindName, texts.link(), texts.target(), word};
    std::size_t size = 0;
    for (const std::string_view field : fields) {
        size += field.size() + lineEnd.size();
    }
    std::array<char, 1024> onStack;
    std::string onHeap(size > onStack.size() ? size : 0, '\0');
    char* const record = onHeap.empty() ? onStack.data() : onHeap.data();
    char* at = record;
    for (const std::string_view field : fields) {
        at = std::copy(field.begin(), field.end(), at);
        at = std::copy(lineEnd.begin(), lineEnd.end(), at);
    }
    out.write(record, static_cast<std::streamsize>(size));
    saveKindData(out);
    out.write(lineEnd.data(), static_cast<std::streamsize>(lineEnd.size()));
}

// Worker thread, inside a run.
void Download::onHttpWork(std::int64_t count) {
    RunParts& parts = *runParts.load();
    parts.lastActivity = platform::clockMs();
    parts.bytesReceived = count;
}

// Runs only while Downloading, which a run enters with its parts made.
void Download::onSpeedTimer() {
    RunParts* parts = runParts.load();
    if (state.load() != State::Downloading || parts == nullptr) {
        return;
    }
    // A new limit starts the figure over: an average that still held the
    // seconds before the change would creep towards it for the whole window.
    const http::SpeedLimit* limit = parts->speedLimit.load();
    const std::int64_t limitNow = limit != nullptr ? limit->bytesPerSecond() : 0;
    if (std::exchange(parts->limitAtLastTick, limitNow) != limitNow) {
        parts->speedSamples.clear();
    }
    const std::int64_t received = parts->bytesReceived.load();
    const std::int64_t perTick = received - parts->bytesAtLastTick.exchange(received);
    parts->speedSamples.push(static_cast<int>(std::clamp<std::int64_t>(
        perTick, std::numeric_limits<int>::min(), std::numeric_limits<int>::max())));
    const double idleSeconds =
        static_cast<double>(platform::clockMs() - parts->lastActivity.load()) * 0.001;
    if (idleSeconds > static_cast<double>(IDLE_TIMEOUT_SECONDS)) {
        parts->client.Disconnect();
    }
}

void Download::fileArrived(const ArrivedFile& file) {
    const ArrivalReport* arrivals = ensureRunParts().arrivals;
    if (arrivals != nullptr && *arrivals) {
        (*arrivals)(*this, file);
    }
}

std::int64_t Download::getTotalBytes() const {
    const RunParts* parts = runParts.load();
    if (state.load() != State::Downloading || parts == nullptr || !parts->client.hasResponse()) {
        return -1;
    }
    return parts->client.ContentLength();
}

std::int64_t Download::getReceivedBytes() const {
    const RunParts* parts = runParts.load();
    return state.load() == State::Downloading && parts != nullptr ? parts->bytesReceived.load()
                                                                  : -1;
}

long double Download::getSpeed() const {
    const RunParts* parts = runParts.load();
    if (state.load() != State::Downloading || parts == nullptr) {
        return -1;
    }
    const SpeedSamples::Summary samples = parts->speedSamples.summary();
    if (samples.count == 0) {
        return -1;
    }
    return static_cast<long double>(samples.sum) * (1.0L / 1024) / samples.count *
           SPEED_SAMPLES_PER_SECOND;
}

std::string Download::getRemainingTime() const {
    const RunParts* parts = runParts.load();
    if (state.load() != State::Downloading || parts == nullptr || !parts->client.hasResponse() ||
        parts->speedSamples.summary().count == 0) {
        return "-";
    }
    const std::int64_t total = parts->client.ContentLength();
    if (total == 0) {
        return "-";
    }
    const std::int64_t seconds = remainingSeconds(total - parts->bytesReceived.load(), getSpeed());
    return seconds < 0 ? "-" : formatRemainingTime(seconds);
}

std::int64_t Download::remainingSeconds(std::int64_t bytesLeft, long double kilobytesPerSecond) {
    // Whole kilobytes per second, as the speed is shown.
    const long double speed = std::trunc(kilobytesPerSecond);
    if (!(speed >= 1)) {
        return -1;
    }
    return static_cast<std::int64_t>(
        static_cast<long double>(std::max<std::int64_t>(0, bytesLeft)) * (1.0L / 1024) / speed);
}

std::string Download::formatRemainingTime(std::int64_t seconds) {
    return std::to_string(seconds / 3600) + ":" + twoDigits(seconds / 60 % 60) + ":" +
           twoDigits(seconds % 60);
}

} // namespace tolvenka
