#pragma once

#include <QProgressBar>

namespace quarvet::ui {

class StoreCall;

// How far a call of the window has come in bringing the record store up to date ("... N of
// M records chained"), shown while such a call runs. Hidden, it keeps its room in the layout, so
// that nothing moves when it appears.
class UpgradeBar : public QProgressBar {
    Q_OBJECT
public:
    explicit UpgradeBar(QWidget* parent);
    // Shows the upgrades `call` makes, until it ends.
    void follow(StoreCall* call);
    // `done` of `total` records chained.
    void showProgress(qint64 done, qint64 total);
};

} // namespace quarvet::ui
