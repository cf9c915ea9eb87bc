#include "upgradebar.h"

#include "storecall.h"

#include <algorithm>
#include <limits>

namespace quarvet::ui {

UpgradeBar::UpgradeBar(QWidget* parent) : QProgressBar(parent)
{
    setObjectName(QStringLiteral("upgradeProgress"));
    QSizePolicy policy = sizePolicy();
    policy.setRetainSizeWhenHidden(true);
    setSizePolicy(policy);
    setTextVisible(true);
    hide();
}

void UpgradeBar::follow(StoreCall* call)
{
    connect(call, &StoreCall::upgrading, this, &UpgradeBar::showProgress);
    connect(call, &StoreCall::ended, this, &QWidget::hide);
}

void UpgradeBar::showProgress(qint64 done, qint64 total)
{
    // A bar counts in int; a store past two thousand million records is shown to scale.
    const qint64 scale = total / std::numeric_limits<int>::max() + 1;
    setRange(0, static_cast<int>(total / scale));
    setValue(static_cast<int>(std::clamp<qint64>(done, 0, total) / scale));
    setFormat(QStringLiteral("Bringing the record store up to date, once: %1 of %2 records chained")
                  .arg(done)
                  .arg(total));
    setToolTip(QStringLiteral("A store an earlier version of the program kept is brought up to "
                              "date once, by the first save into it."));
    show();
}

} // namespace quarvet::ui
