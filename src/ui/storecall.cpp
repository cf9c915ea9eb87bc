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
    watcher->setFuture(QtConcurrent::run(threads_, std::move(work)));
    deadline_->start();
    return true;
}

void StoreCall::finish(const records::StoreFailure& failure, const Done& done)
{
    deadline_->stop();
    busy_ = false;
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
