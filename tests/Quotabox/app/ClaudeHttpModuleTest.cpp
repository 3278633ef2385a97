#include <gtest/gtest.h>

#include <QTimer>
#include <QtConcurrent>

#include "BuildPaths.h"
#include "EventLoop.h"
#include "HttpTestServer.h"
#include "app/ClaudeHttpModule.h"

using namespace std::chrono_literals;

// The launcher's request, through the built module: answers come back, and a stop request still
// aborts a stalled exchange at once.
TEST(ClaudeHttpModuleTest, AnswersAndCancelsThroughTheModule) {
  const ClaudeUsageRequestFunction request = ClaudeHttpModule::request(60s, BuildPaths::httpModule());
  HttpTestServer server;
  server.respondWith(HttpTestResponse::json(418, "{}"));
  ClaudeUsageRequest description;
  description.url = QUrl(server.url("/u"));
  EXPECT_EQ(awaitFuture(QtConcurrent::run([&] { return request(description).statusCode; }), 30s), 418);

  HttpTestResponse stalled;
  stalled.mode = HttpTestResponse::Mode::stall;
  server.respondWith(stalled);
  std::stop_source stop;
  description.stop = stop.get_token();
  const auto started = std::chrono::steady_clock::now();
  QTimer::singleShot(300ms, [&stop] { stop.request_stop(); });
  const QFuture<void> cancelled = QtConcurrent::run([&] { EXPECT_THROW(request(description), TransportError); });
  ASSERT_TRUE(waitUntil([&] { return cancelled.isFinished(); }, 30s));
  EXPECT_LT(std::chrono::steady_clock::now() - started, 5s);
}
