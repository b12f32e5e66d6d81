#include "ui/ComfortControls.h"

#include "http/SpeedLimit.h"
#include "ui/ClipboardWatch.h"
#include "ui/UserSettings.h"
#include "widgets/FlowLayout.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QTimer>

namespace tolvenka {

namespace {

constexpr int limitKeptAfterMs = 500;
constexpr int typingRestsAfterMs = 500;
constexpr int speedLimitStep = 50;
constexpr std::int64_t bytesPerKilobyte = 1024;

} // namespace

// The limit is one piece of the row, so that its caption stays with its box.
ComfortControls::ComfortControls(UserSettings& settings, http::SpeedLimit& limit,
                                 ClipboardWatch& watch, QWidget* parent)
    : QWidget(parent)
    , settings(settings)
    , limit(limit) {
    auto* row = new FlowLayout(this, 16);
    row->setContentsMargins(0, 0, 0, 0);
    auto* limitPiece = new QWidget(this);
    auto* limitLayout = new QHBoxLayout(limitPiece);
    limitLayout->setContentsMargins(0, 0, 0, 0);
    limitLayout->setSpacing(7);
    const QString limitCaption = QString::fromUtf8("Скорость не выше, кБ/с:");
    auto* caption = new QLabel(limitCaption, limitPiece);
    speedLimit = new QSpinBox(limitPiece);
    speedLimit->setObjectName(QStringLiteral("speedLimit"));
    speedLimit->setAccessibleName(limitCaption);
    caption->setBuddy(speedLimit);
    speedLimit->setRange(0, UserSettings::maxSpeedLimit);
    speedLimit->setSingleStep(speedLimitStep);
    speedLimit->setSpecialValueText(QString::fromUtf8("без ограничения"));
    // A number being typed takes effect once typing rests, or at once with
    // Enter or the focus leaving; not a digit at a time, for "600" would
    // pass through 6 kB/s.
    speedLimit->setKeyboardTracking(false);
    typingRest = new QTimer(this);
    typingRest->setSingleShot(true);
    typingRest->setInterval(typingRestsAfterMs);
    connect(typingRest, &QTimer::timeout, this, [this] {
        // Half a number (the box emptied to type anew) waits for the rest.
        if (speedLimit->hasAcceptableInput()) {
            speedLimit->interpretText();
        }
    });
    speedLimit->setValue(settings.speedLimit());
    // The box's own signal stays silent while a number is typed; its editor
    // tells every key.
    connect(speedLimit->findChild<QLineEdit*>(), &QLineEdit::textChanged, typingRest,
            qOverload<>(&QTimer::start));
    applySpeedLimit(speedLimit->value());
    limitToKeep = new QTimer(this);
    limitToKeep->setSingleShot(true);
    limitToKeep->setInterval(limitKeptAfterMs);
    connect(limitToKeep, &QTimer::timeout, this, [this] { keepSpeedLimit(); });
    connect(speedLimit, &QSpinBox::valueChanged, this, [this](int value) {
        applySpeedLimit(value);
        limitToKeep->start();
    });
    limitLayout->addWidget(caption);
    limitLayout->addWidget(speedLimit);

    watchClipboard = new QCheckBox(QString::fromUtf8("Следить за буфером обмена"), this);
    watchClipboard->setObjectName(QStringLiteral("watchClipboard"));
    watchClipboard->setMinimumHeight(17);
    watchClipboard->setChecked(settings.watchesClipboard());
    watch.setOn(watchClipboard->isChecked());
    connect(watchClipboard, &QCheckBox::toggled, this, [this, &watch](bool checked) {
        watch.setOn(checked);
        this->settings.setWatchesClipboard(checked);
    });

    row->addWidget(limitPiece);
    row->addWidget(watchClipboard);
}

void ComfortControls::keepSpeedLimit() {
    limitToKeep->stop();
    settings.setSpeedLimit(speedLimit->value());
}

void ComfortControls::applySpeedLimit(int kilobytesPerSecond) {
    limit.set(kilobytesPerSecond * bytesPerKilobyte);
}

} // namespace tolvenka
