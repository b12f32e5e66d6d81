#pragma once

#include "platform/Thread.h"

#include <QPointer>
#include <atomic>
#include <memory>
#include <string>

namespace http {
class HttpClient;
}

namespace tolvenka {

class TwaitDialog;

// A slow job of the link intake, run on a thread of its own while the wait
// dialog keeps the user waiting and offers to cancel. The job shows its
// progress in the dialog and, when it is over, asks the dialog to close.
//
// The most-derived constructor ends with start(), and the most-derived
// destructor begins with wait().
class WaitThread : public platform::Thread {
public:
    ~WaitThread() override;

    // GUI thread. Ends the job early: a request of the job's client fails at
    // once, and a job that goes step by step stops before its next step.
    // onDone() is then skipped. Harmless when repeated or after the end.
    void cancelWork();
    // Any thread. True once the job and its onDone() are over; from then on
    // the job only asks the dialog to close.
    bool isFinished() const { return finished.load(); }

protected:
    explicit WaitThread(TwaitDialog& waitDialog);

    // The job, on the job's thread. Whatever it throws ends the job quietly.
    virtual void doWork() = 0;
    // GUI thread, after doWork() unless the job was cancelled.
    virtual void onDone() = 0;

    bool isCancelled() const { return cancelled.load(); }
    http::HttpClient& client() { return *httpClient; }
    // Job thread. Shows `text` (CP1251) in the wait dialog and waits until it
    // is shown.
    void showInfo(const std::string& text);
    // GUI thread. Null once the dialog is gone.
    TwaitDialog* waitDialog() const;

private:
    void execute() final;
    void runOnDone();
    void requestDialogClose();

    // Guarded, since the request to close may reach the GUI thread after the
    // dialog is gone (at program end or in a test).
    const QPointer<TwaitDialog> dialog;
    const std::unique_ptr<http::HttpClient> httpClient;
    std::atomic<bool> cancelled{false};
    std::atomic<bool> finished{false};
};

} // namespace tolvenka
