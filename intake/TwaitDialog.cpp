#include "intake/TwaitDialog.h"

#include "intake/WaitThread.h"
#include "platform/GuiThread.h"
#include "widgets/PushButton.h"
#include "widgets/WidgetText.h"

#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

namespace tolvenka {

namespace {

constexpr int clientWidth = 313;
constexpr int clientHeight = 66;
constexpr int margin = 8;
constexpr int buttonTop = 32;
constexpr int buttonHeight = 25;

} // namespace

TwaitDialog::TwaitDialog(QWidget* parent)
    : FixedDialog(clientWidth, clientHeight, parent)
    , info(new QLabel(QStringLiteral("Идёт загрузка..."), this))
    , cancel(new PushButton(QStringLiteral("Отмена"), QSize(clientWidth - 2 * margin, buttonHeight),
                            this)) {
    setWindowTitle(QStringLiteral("Подождите"));

    info->setObjectName(QStringLiteral("info"));
    info->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    info->setMinimumHeight(buttonTop - margin);
    cancel->setObjectName(QStringLiteral("cancel"));

    // The progress texts are longer than the first one; the dialog grows
    // when one needs more room than it has.
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(margin, margin, margin, clientHeight - buttonTop - buttonHeight);
    layout->setSpacing(0);
    layout->addWidget(info);
    layout->addWidget(cancel);

    connect(cancel, &QPushButton::clicked, this, [this] { cancelJob(); });
}

TwaitDialog::~TwaitDialog() {
    if (jobRunning()) {
        currentThread->cancelWork();
    }
}

void TwaitDialog::execute(std::unique_ptr<WaitThread> job) {
    currentThread = std::move(job);
    // A job that ended before the dialog showed may have had its close
    // request dropped while the dialog was hidden; ask again.
    if (currentThread->isFinished()) {
        platform::post([self = QPointer<TwaitDialog>(this)] {
            if (self) {
                self->closeIfJobFinished();
            }
        });
    }
    exec();
}

void TwaitDialog::setInfo(const std::string& text) {
    info->setText(toQString(text));
    onInfoChange(text);
}

void TwaitDialog::closeIfJobFinished() {
    if (isVisible() && !jobRunning()) {
        close();
    }
}

void TwaitDialog::done(int result) {
    if (jobRunning()) {
        currentThread->cancelWork();
        return;
    }
    FixedDialog::done(result);
}

void TwaitDialog::cancelJob() {
    if (currentThread) {
        currentThread->cancelWork();
    }
}

bool TwaitDialog::jobRunning() const {
    return currentThread && !currentThread->isFinished();
}

} // namespace tolvenka
