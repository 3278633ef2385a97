#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <csignal>
#include <memory>

#include "EventLoop.h"
#include "statusbar/LineWriter.h"

namespace {

// A pipe as small as the system allows, so that a few lines fill it; the test reads without blocking.
struct SmallPipe {
  int read = -1, write = -1;
  SmallPipe() {
    if (int ends[2]; ::pipe2(ends, O_CLOEXEC) == 0) std::tie(read, write) = std::pair(ends[0], ends[1]);
    ::fcntl(write, F_SETPIPE_SZ, 4096);
    ::fcntl(read, F_SETFL, O_NONBLOCK);
  }
  ~SmallPipe() {
    if (read >= 0) ::close(read);
    if (write >= 0) ::close(write);
  }
  QByteArray drain() const {
    QByteArray bytes;
    char buffer[4096];
    for (ssize_t n; (n = ::read(read, buffer, sizeof buffer)) > 0;) bytes.append(buffer, n);
    return bytes;
  }
};

QByteArray line(char fill, int size = 1500) { return QByteArray(size - 1, fill) + '\n'; }

}  // namespace

TEST(LineWriter, ASlowReaderGetsWholeLinesAndOnlyTheNewestOfThoseThatWaited) {
  ::signal(SIGPIPE, SIG_IGN);
  SmallPipe pipe;
  ASSERT_GE(pipe.write, 0);
  auto writer = std::make_unique<LineWriter>(pipe.write);
  // Far more than the pipe holds; none of these calls may block.
  for (char fill = 'a'; fill <= 'z'; ++fill) writer->write(line(fill));
  EXPECT_EQ(writer->backlog(), 2) << "a started line and the newest one wait";

  QByteArray received;
  ASSERT_TRUE(waitUntil([&] {
    received += pipe.drain();
    return writer->backlog() == 0 && received.endsWith(line('z'));
  }));
  QByteArray order;
  const QList<QByteArray> lines = received.split('\n');
  for (qsizetype i = 0; i + 1 < lines.size(); ++i) {
    EXPECT_EQ(lines[i].size(), 1499) << "line " << i << " was cut or mixed";
    EXPECT_EQ(lines[i].count(lines[i].front()), lines[i].size());
    order += lines[i].front();
  }
  // What fit at first (two lines and a part), the rest of that part, then only the newest.
  EXPECT_EQ(order, "abcz");
  // The descriptor is left blocking again for whoever shares it.
  writer.reset();
  EXPECT_FALSE(::fcntl(pipe.write, F_GETFL) & O_NONBLOCK);
}

TEST(LineWriter, AReaderThatLeavesIsNoticedWithoutWriting) {
  ::signal(SIGPIPE, SIG_IGN);
  for (const bool socket : {false, true}) {
    SCOPED_TRACE(socket ? "socket" : "pipe");
    int ends[2];
    ASSERT_EQ(socket ? ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) : ::pipe2(ends, O_CLOEXEC), 0);
    const int reader = ends[0], written = ends[1];
    LineWriter writer(written);
    int closed = 0;
    QObject::connect(&writer, &LineWriter::closed, [&] { ++closed; });
    writer.write("{}\n");
    // The hang-up watch runs on a thread of its own: give a false report time to arrive.
    spinFor(std::chrono::milliseconds(100));
    EXPECT_EQ(closed, 0);
    ::close(reader);
    EXPECT_TRUE(waitUntil([&] { return closed == 1; }));
    EXPECT_TRUE(writer.isClosed());
    writer.write("{}\n");
    EXPECT_EQ(closed, 1);
    ::close(written);
  }
}
