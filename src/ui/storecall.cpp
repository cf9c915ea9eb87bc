#include "storecall.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFutureWatcher>
#include <QThreadPool>
#include <QTimer>
#include <QWidget>
#include <QtConcurrent/QtConcurrentRun>

namespace quarvet::ui {

StoreCall::StoreCall(QThreadPool* threads, QWidget* window, std::chrono::milliseconds deadline)
    : QObject(window), threads_(threads), window_(window), deadline_(new QTimer(this))
{
    deadline_->setSingleShot(true);
    deadline_->setInterval(deadline);
    connect(deadline_, &QTimer::timeout, this, &StoreCall::overdue);
}

bool StoreCall::start(Work work, Done done)
{
    if (busy_)
        return false;
    busy_ = true;
    auto* watcher = new QFutureWatcher<records::StoreFailure>(this);
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher, done] {
        const records::StoreFailure failure = watcher->result();
        watcher->deleteLater();
        finish(failure, done);
    });
    // An upgrade the call makes is told on its thread and shown on the window's; a call that
    // has ended meanwhile (its window gone) is told nothing.
    auto told = [self = QPointer<StoreCall>(this)](qint64 done, qint64 total) {
        QMetaObject::invokeMethod(
            qApp,
            [self, done, total] {
                if (self && self->busy_) {
                    self->progressed();
                    emit self->upgrading(done, total);
                }
            },
            Qt::QueuedConnection);
    };
    watcher->setFuture(QtConcurrent::run(threads_, [work = std::move(work), told] {
        const records::UpgradeProgressOnThisThread progress(told);
        return work();
    }));
    deadline_->start();
    return true;
}

void StoreCall::finish(const records::StoreFailure& failure, const Done& done)
{
    deadline_->stop();
    busy_ = false;
    emit ended();
    // Told to the window before it closes, so that a saved record is announced.
    if (done)
        done(failure);
    const bool close = closeWhenDone_ && !failure.failed();
    closeWhenDone_ = false;
    if (close && window_)
        window_->close();
}

void StoreCall::progressed()
{
    if (busy_)
        deadline_->start();
}

bool StoreCall::holdClose(QCloseEvent* event)
{
    if (!busy_)
        return false;
    closeWhenDone_ = true;
    event->ignore();
    return true;
}

QThreadPool* StoreCall::savingThreads()
{
    static QThreadPool* const threads = new QThreadPool(QCoreApplication::instance());
    return threads;
}

QThreadPool* StoreCall::readingThreads()
{
    static QThreadPool* const threads = new QThreadPool(QCoreApplication::instance());
    return threads;
}

} // namespace quarvet::ui
