#pragma once

#include <QFutureWatcher>
#include <QObject>
#include <QtConcurrent/QtConcurrentRun>
#include <type_traits>
#include <utility>

namespace tessaly {

// Runs `work` on Qt's thread pool, then `done(result)` on `owner`'s thread,
// only while `owner` lives: slow work (converting a deck, starting the
// decoder process) never holds up the interface. `work` must own what it
// reads; it may outlive `owner`.
template <class Work, class Done>
void RunOffThread(QObject* owner, Work work, Done done) {
    using Result = std::invoke_result_t<Work>;
    auto* watcher = new QFutureWatcher<Result>(owner);
    QObject::connect(watcher, &QFutureWatcherBase::finished, owner,
                     [watcher, done = std::move(done)]() mutable {
                         done(watcher->result());
                         watcher->deleteLater();
                     });
    watcher->setFuture(QtConcurrent::run(std::move(work)));
}

}  // namespace tessaly
