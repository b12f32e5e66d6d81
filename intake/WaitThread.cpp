#include "intake/WaitThread.h"

#include "http/HttpClient.h"
#include "intake/TwaitDialog.h"
#include "platform/GuiThread.h"

namespace tolvenka {

WaitThread::WaitThread(TwaitDialog& waitDialog)
    : dialog(&waitDialog)
    , httpClient(std::make_unique<http::HttpClient>()) {}

// The client outlives the thread: members go after this body, and the
// derived destructor has already waited.
WaitThread::~WaitThread() {
    wait();
}

void WaitThread::cancelWork() {
    // The flag first, so that the job sees it when its request fails.
    cancelled = true;
    httpClient->Disconnect();
}

void WaitThread::showInfo(const std::string& text) {
    platform::synchronize([this, &text] {
        if (dialog) {
            dialog->setInfo(text);
        }
    });
}

TwaitDialog* WaitThread::waitDialog() const {
    return dialog.data();
}

void WaitThread::execute() {
    try {
        doWork();
    } catch (...) {
        // A failed job ends where it failed; what it found so far stands.
    }
    if (!cancelled) {
        runOnDone();
    }
    // Finished before the close request, so that the dialog never refuses
    // the request that the job makes.
    finished = true;
    requestDialogClose();
}

void WaitThread::runOnDone() {
    try {
        platform::synchronize([this] { onDone(); });
    } catch (...) {
        // The dialog must close even when onDone() fails.
    }
}

void WaitThread::requestDialogClose() {
    platform::post([dialog = dialog] {
        if (dialog) {
            dialog->closeIfJobFinished();
        }
    });
}

} // namespace tolvenka
