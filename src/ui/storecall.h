#pragma once

#include "records/recordstore.h"

#include <QObject>
#include <QPointer>

#include <chrono>
#include <functional>

class QCloseEvent;
class QThreadPool;
class QTimer;
class QWidget;

namespace quarvet::ui {

// One call into a record store at a time, on a thread of the pool it is given, so that a
// busy or distant database never freezes the window; with a deadline past which the window
// is told that the store has not answered, and with the window's close held while the call
// runs: a window closed meanwhile closes once the call succeeds and stays open when it fails,
// so that nothing typed into it is lost.
class StoreCall : public QObject {
    Q_OBJECT
public:
    // The call itself, run on the pool's thread; it reports into what it captured.
    using Work = std::function<records::StoreFailure()>;
    // What to do with the outcome, on the window's thread.
    using Done = std::function<void(const records::StoreFailure&)>;

    // Calls run on `threads`, which must outlive them (the pools below do); `window` is the
    // one closed once a call it was closed during has succeeded.
    StoreCall(QThreadPool* threads, QWidget* window,
              std::chrono::milliseconds deadline = std::chrono::minutes(2));

    // Starts `work`, then `done` with its outcome; false, and nothing started, while a call
    // runs.
    bool start(Work work, Done done);
    bool isBusy() const { return busy_; }
    // The call told how far it has come (an upgrade's progress): its deadline starts afresh,
    // since a store that works and says so is no store that does not answer.
    void progressed();
    // For the window's closeEvent: true, with the event ignored, while a call runs.
    bool holdClose(QCloseEvent* event);
    // For an outcome the window refuses after all (the store answered, yet nothing was kept):
    // a close asked for meanwhile is not carried out, so that what was typed stays.
    void keepOpen() { closeWhenDone_ = false; }

    // Saves have a pool of their own, so that reads of the history never queue ahead of a
    // save; both are owned by the application, which waits for a call still running when it
    // ends.
    static QThreadPool* savingThreads();
    static QThreadPool* readingThreads();

signals:
    // The deadline passed and the store has not answered yet.
    void overdue();
    // The call brings the store up to date first: `done` of `total` records chained so far.
    void upgrading(qint64 done, qint64 total);
    // The call has ended, before its outcome is told.
    void ended();

private:
    void finish(const records::StoreFailure& failure, const Done& done);

    QThreadPool* threads_;
    QPointer<QWidget> window_;
    QTimer* deadline_;
    bool busy_ = false;
    bool closeWhenDone_ = false;
};

} // namespace quarvet::ui
