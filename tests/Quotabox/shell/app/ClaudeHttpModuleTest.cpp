#include <gtest/gtest.h>

#include <QTimer>
#include <QtConcurrent>

#include "BuildPaths.h"
#include "EventLoop.h"
#include "HttpTestServer.h"
#include "app/ClaudeHttpModule.h"

using namespace std::chrono_literals;

// The launcher's request, through the built module: a stop request aborts a stalled exchange at once.
// The launcher's tests cover answers through the module.
TEST(ClaudeHttpModuleTest, CancelsAStalledRequestThroughTheModule) {
  const ClaudeUsageRequestFunction request = ClaudeHttpModule::request(60s, BuildPaths::httpModule());
  HttpTestServer server;
  ClaudeUsageRequest description;
  description.url = QUrl(server.url("/u"));
  HttpTestResponse stalled;
  stalled.mode = HttpTestResponse::Mode::stall;
  server.respondWith(stalled);
  std::stop_source stop;
  description.stop = stop.get_token();
  QTimer::singleShot(300ms, [&stop] { stop.request_stop(); });
  const QFuture<void> cancelled = QtConcurrent::run([&] { EXPECT_THROW(request(description), TransportError); });
  // Only the stop ends it this soon: the exchange itself may take a minute.
  ASSERT_TRUE(waitUntil([&] { return cancelled.isFinished(); }, 30s));
  EXPECT_EQ(server.requests().size(), 1u);  // the module did send it
}
