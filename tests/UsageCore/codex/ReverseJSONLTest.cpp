#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <future>

#include "TestSandbox.h"
#include "codex/ReverseJSONL.h"

namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;
using ReverseJSONL::defaultMaximumLine;

// Wraps the real file to count the bytes read and to run an action after each read.
struct Observed {
  std::uint64_t bytesRead = 0;
  std::vector<std::uint64_t> offsets;
  std::function<void()> afterRead;

  struct File : ReverseJSONL::File {
    File(const fs::path& path, Observed& owner) : inner(ReverseJSONL::openFile(path)), owner(owner) {}
    std::uint64_t size() override { return inner->size(); }
    std::size_t readAt(std::uint64_t offset, char* into, std::size_t count) override {
      const std::size_t got = inner->readAt(offset, into, count);
      owner.bytesRead += got;
      owner.offsets.push_back(offset);
      if (owner.afterRead) owner.afterRead();
      return got;
    }
    std::unique_ptr<ReverseJSONL::File> inner;
    Observed& owner;
  };
  ReverseJSONL::Opener opener() {
    return [this](const fs::path& path) { return std::make_unique<File>(path, *this); };
  }
};

// The first line that starts with "{", as a parse function would find a record.
std::optional<std::string> firstRecord(std::string_view line) {
  if (line.starts_with("{")) return std::string(line);
  return std::nullopt;
}

class ReverseJSONLTest : public SandboxedTest {
 protected:
  fs::path write(const std::string& content) {
    return sandbox.writeFile("log.jsonl", QByteArray::fromStdString(content));
  }
  // Every line offered, in the order offered.
  Lines offered(const std::string& content, std::size_t chunk, std::size_t maximumLine) {
    Lines lines;
    ReverseJSONL::visitLines(write(content), chunk, maximumLine,
                             [&](std::string_view line) {
                               lines.emplace_back(line);
                               return false;
                             },
                             {});
    return lines;
  }
};

}  // namespace

TEST_F(ReverseJSONLTest, OffersEveryLineLastFirstAcrossChunkBoundaries) {
  using Case = std::tuple<std::string, std::size_t, std::size_t, Lines>;  // content, chunk, limit, offered
  const Case cases[] = {
      {"", 4, 5, {}},
      {"ab\ncd\nef", 2, 5, {"ef", "cd", "ab"}},  // a newline on every chunk edge
      {"12345\n123456\n", 4, 5, {"12345"}},      // exactly at the limit, then one byte more
      {"123456\n12345", 4, 5, {"12345"}},
      {"a\n" + std::string(30, 'b') + "\nc", 7, 5, {"c", "a"}},  // an overlong line between two others
      {"only", 0, 5, {"only"}},                                  // chunk 0 still reads
  };
  for (const auto& [content, chunk, limit, expected] : cases) {
    EXPECT_EQ(offered(content, chunk, limit), expected) << content << " " << chunk;
  }
}

TEST_F(ReverseJSONLTest, ReadsCoverWholePagesButTheLast) {
  // The record sits 50 KB before the end: reads of 4 KiB, then twice as much each time.
  const std::string filler = std::string(999, 'x') + "\n";
  std::string content = "{\"n\":1}\n";
  for (int i = 0; i < 100; ++i) content += filler;
  const std::size_t record = content.size();
  content += "{\"n\":2}\n";
  for (int i = 0; i < 50; ++i) content += filler;
  Observed io;
  EXPECT_EQ(ReverseJSONL::read(write(content), 65536, 1024, firstRecord, {}, io.opener()), "{\"n\":2}");
  ASSERT_GE(io.offsets.size(), 2u);
  EXPECT_GE(content.size() - io.offsets[0], 1024u);  // at least a quarter of the first step
  for (const std::uint64_t offset : io.offsets) EXPECT_EQ(offset % 4096, 0u) << offset;
  EXPECT_LE(io.offsets.back(), record);
  EXPECT_GT(io.offsets.back() + 65536, record);  // and no further back than needed
}

TEST_F(ReverseJSONLTest, OverlongLinesAreSkippedInOnePass) {
  const std::string huge = "{\"tool_output\":\"" + std::string(defaultMaximumLine, 'z') + "\"}";
  Observed io;
  const fs::path path = write("{\"first\":1}\n{\"before\":true}\n" + huge);
  EXPECT_EQ(ReverseJSONL::read(path, 65536, defaultMaximumLine, firstRecord, {}, io.opener()), "{\"before\":true}");
  EXPECT_EQ(io.bytesRead, fs::file_size(path));  // nothing read twice
  // Also when long lines sit between records and end with a newline.
  EXPECT_EQ(ReverseJSONL::read(write("{\"first\":1}\n" + huge + "\n" + huge + "\nshort\n"), 4096, defaultMaximumLine,
                               firstRecord, {}),
            "{\"first\":1}");
}

TEST_F(ReverseJSONLTest, CancellationAndFailures) {
  std::string lines;
  for (int i = 0; i < 1000; ++i) lines += "line " + std::to_string(i) + "\n";
  const fs::path path = write(lines);
  std::stop_source stopped;
  stopped.request_stop();
  EXPECT_THROW(ReverseJSONL::read(path, 64, 1024, firstRecord, stopped.get_token()), ReverseJSONL::Cancelled);

  // Cancelled while reading, also while passing over a line that is too long: no further chunk is
  // read. The first read runs back to a multiple of the step (8890 bytes: 26; 1002: 10, then 32s).
  using Case = std::tuple<std::string, std::uint64_t, std::uint64_t>;
  for (const auto& [content, stopAfter, expectedBytes] :
       {Case{lines, 0, 26}, Case{"a\n" + std::string(1000, 'b'), 64, 74}}) {
    std::stop_source source;
    Observed io;
    io.afterRead = [&, limit = stopAfter] {
      if (io.bytesRead > limit) source.request_stop();
    };
    EXPECT_THROW(ReverseJSONL::read(write(content), 32, 40, firstRecord, source.get_token(), io.opener()),
                 ReverseJSONL::Cancelled);
    EXPECT_EQ(io.bytesRead, expectedBytes);
  }
  EXPECT_THROW(ReverseJSONL::read(sandbox.path("missing.jsonl"), 64, 1024, firstRecord, {}), ReverseJSONL::ReadError);
}

TEST_F(ReverseJSONLTest, OpensOnlyRegularFilesAndNeverBlocks) {
  const fs::path log = write("{\"n\":1}\n");
  const fs::path fifo = sandbox.path("pipe.jsonl");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const fs::path link = sandbox.path("link.jsonl");
  fs::create_symlink(log, link);
  for (const fs::path& path : {fifo, link, sandbox.home()}) {
    auto opened = std::async(std::launch::async, [&] { return ReverseJSONL::read(path, 64, 1024, firstRecord, {}); });
    if (opened.wait_for(std::chrono::seconds(5)) != std::future_status::ready) {
      ::close(::open(fifo.c_str(), O_WRONLY | O_NONBLOCK));  // lets a reader stuck on the pipe go
      FAIL() << path << " blocked the reader";
    }
    EXPECT_THROW(opened.get(), ReverseJSONL::ReadError) << path;
  }
}

// A 512 MiB log (sparse, lines of 1 MiB of zeros) whose only record is its first line: reading it
// back to that record must stay within one step plus one line, checked in a child under a limit of
// its address space.
TEST_F(ReverseJSONLTest, MemoryStaysBoundedWhateverTheFileSize) {
  constexpr std::uint64_t kSize = 512ull << 20, kLine = 1 << 20;
  const fs::path path = sandbox.path("huge.jsonl");
  {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(fd, 0);
    const std::string first = "{\"first\":1}\n";
    ASSERT_EQ(::write(fd, first.data(), first.size()), static_cast<ssize_t>(first.size()));
    for (std::uint64_t end = kLine; end <= kSize; end += kLine) ASSERT_EQ(::pwrite(fd, "\n", 1, end - 1), 1);
    ::close(fd);
  }

  // In a child whose address space may grow by only 32 MiB.
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    long pages = 0;
    std::ifstream("/proc/self/statm") >> pages;
    const rlim_t limit = static_cast<rlim_t>(pages) * static_cast<rlim_t>(::sysconf(_SC_PAGESIZE)) + (32u << 20);
    const rlimit cap{limit, limit};
    if (::setrlimit(RLIMIT_AS, &cap) != 0) ::_exit(3);
    try {
      const auto value = ReverseJSONL::read(path, ReverseJSONL::defaultChunkSize, defaultMaximumLine, firstRecord, {});
      ::_exit(value == "{\"first\":1}" ? 0 : 1);
    } catch (...) {
      ::_exit(2);
    }
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "child status " << status;
}
