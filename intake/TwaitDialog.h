#pragma once

#include "support/Event.h"
#include "widgets/FixedDialog.h"

#include <memory>
#include <string>

class QLabel;
class QPushButton;

namespace tolvenka {

class WaitThread;

// The small modal dialog under which a link job runs: a progress text and a
// button that cancels the job. It closes when the job asks it to; a close by
// the user while the job runs only cancels the job.
class TwaitDialog : public FixedDialog {
public:
    explicit TwaitDialog(QWidget* parent = nullptr);
    ~TwaitDialog() override;

    // Takes the running `job`, deletes the previous job, and shows the dialog
    // modally until the job has ended.
    void execute(std::unique_ptr<WaitThread> job);

    // GUI thread. Shows a progress text (CP1251). Only jobs write it, so each
    // showing starts with the last text written.
    void setInfo(const std::string& text);
    // GUI thread. A job's request to close: honoured once the current job has
    // finished, ignored otherwise.
    void closeIfJobFinished();
    // GUI thread. Cancels the running job, as "Отмена" does; the dialog
    // closes when the job has ended.
    void cancelJob();

    // Fires on the GUI thread with every progress text shown.
    kestrune::Event<const std::string&> onInfoChange;

protected:
    // Every way of closing a dialog ends here; while the job runs the close
    // is refused and the job cancelled instead.
    void done(int result) override;

private:
    bool jobRunning() const;

    QLabel* info;
    QPushButton* cancel;
    std::unique_ptr<WaitThread> currentThread;
};

} // namespace tolvenka
