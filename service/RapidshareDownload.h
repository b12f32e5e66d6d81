#pragma once

#include "engine/Download.h"

#include <atomic>
#include <cstdint>
#include <string>

namespace tolvenka {

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
    };

    static constexpr std::int64_t SERVICE_RETRY_WAIT = 30;
    static constexpr std::int64_t COUNTDOWN_MARGIN = 5;
    // The countdown when the final form names none that can be read.
    static constexpr std::int64_t DEFAULT_COUNTDOWN = 60;

    RapidshareDownload(std::string url, const std::string& folder);

    // The four functions of the kind, kept by the registry.
    static bool isServiceLink(const std::string& link);
    static bool checkFileExists(const std::string& link);
    static Download* create(const std::string& url, const std::string& folder);
    static Download* load(std::istream& in);

    ServiceState getServiceState() const { return serviceState.load(); }
    std::string getStateCaption() const override;
    static std::string captionOf(ServiceState state);
    static State downloadStateOf(ServiceState state);

    // The wait before the next page conversation after `failuresInARow`
    // failed turns: none after the first, then 1, 2, 4, 8, 16, 30 seconds.
    static std::int64_t backOffSeconds(int failuresInARow);
    // The countdown that a final-form reply asks for, in seconds.
    static std::int64_t countdownOf(const std::string& reply);

protected:
    bool process() override;
    void saveKindData(std::ostream& out) const override;

private:
    enum class TurnOutcome { Known, Failed };

    void setServiceState(ServiceState newState);
    TurnOutcome takeTurn(std::string& finalAddress);
    TurnOutcome requestTicket(std::string& finalAddress);
    void transferFile(const std::string& finalAddress);

    std::atomic<ServiceState> serviceState{ServiceState::InQueue};
};

} // namespace tolvenka
