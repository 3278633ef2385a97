#pragma once

#include <QFuture>
#include <QFutureWatcher>
#include <QObject>
#include <optional>

// Calls `done(future)` on `context`'s thread once `future` has finished. The watcher is a child of
// `context`, so nothing runs after `context` is gone (unlike QFuture::then with a context, which
// asserts on a deleted context).
template <typename T, typename F>
void whenFinished(const QFuture<T>& future, QObject* context, F done) {
  auto* watcher = new QFutureWatcher<T>(context);
  QObject::connect(watcher, &QFutureWatcherBase::finished, watcher, [watcher, done]() mutable {
    watcher->deleteLater();
    done(watcher->future());
  });
  watcher->setFuture(future);
}

// The result of a finished future, or nothing when it was cancelled without one.
template <typename T>
std::optional<T> finishedResult(const QFuture<T>& future) {
  if (future.resultCount() == 0) return std::nullopt;
  return future.result();
}
