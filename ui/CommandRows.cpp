#include "ui/CommandRows.h"

#include "ui/ComfortControls.h"
#include "widgets/FlowLayout.h"
#include "widgets/PushButton.h"

#include <QCheckBox>
#include <QSpinBox>
#include <QVBoxLayout>

namespace tolvenka {

namespace {

const QSize buttonSize(145, 25);

} // namespace

CommandRows::CommandRows(UserSettings& userSettings, http::SpeedLimit& limit, ClipboardWatch& watch,
                         QWidget* parent)
    : QWidget(parent)
    , add(new PushButton(QString::fromUtf8("Добавить"), buttonSize, this))
    , start(new PushButton(QString::fromUtf8("Продолжить загрузку"), buttonSize, this))
    , stop(new PushButton(QString::fromUtf8("Остановить загрузку"), buttonSize, this))
    , deleteWhenComplete(new QCheckBox(QString::fromUtf8("Удалять загруженные"), this))
    , history(new PushButton(QString::fromUtf8("История…"), QSize(0, buttonSize.height()), this))
    , settings(new PushButton(QString::fromUtf8("Настройки…"), QSize(0, buttonSize.height()), this))
    , comfort(new ComfortControls(userSettings, limit, watch, this)) {
    auto* rows = new QVBoxLayout(this);
    rows->setContentsMargins(8, 8, 8, 8);
    rows->setSpacing(6);
    auto* buttonRow = new FlowLayout(nullptr, 7);
    rows->addLayout(buttonRow);
    deleteWhenComplete->setMinimumHeight(17);
    deleteWhenComplete->setChecked(true);
    for (QWidget* control : queueControls()) {
        buttonRow->addWidget(control);
    }
    buttonRow->addWidget(history);
    buttonRow->addWidget(settings);
    rows->addWidget(comfort);

    add->setObjectName(QStringLiteral("add"));
    start->setObjectName(QStringLiteral("start"));
    stop->setObjectName(QStringLiteral("stop"));
    deleteWhenComplete->setObjectName(QStringLiteral("deleteWhenComplete"));
    history->setObjectName(QStringLiteral("history"));
    settings->setObjectName(QStringLiteral("settings"));
    setTabOrder(add, start);
    setTabOrder(start, stop);
    setTabOrder(stop, deleteWhenComplete);
    setTabOrder(deleteWhenComplete, history);
    setTabOrder(history, settings);
    setTabOrder(settings, comfort->speedBox());
    setTabOrder(comfort->speedBox(), comfort->watchBox());
}

std::vector<QWidget*> CommandRows::queueControls() const {
    return {add, start, stop, deleteWhenComplete};
}

QWidget* CommandRows::firstInTabOrder() const {
    return add;
}

QWidget* CommandRows::lastInTabOrder() const {
    return comfort->watchBox();
}

} // namespace tolvenka
