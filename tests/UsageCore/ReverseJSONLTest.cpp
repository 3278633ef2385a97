#include <gtest/gtest.h>

#include <random>
#include <stop_token>
#include <string>
#include <vector>

#include "ReverseJSONL.h"
#include "TestSandbox.h"

namespace {

namespace fs = std::filesystem;

// Wraps the real file to count the bytes read and to run an action after each read.
struct Observed {
  std::size_t opens = 0;
  std::uint64_t bytesRead = 0;
  std::function<void()> afterRead;

  ReverseJSONL::Opener opener() {
    return [this](const fs::path& path) -> std::unique_ptr<ReverseJSONL::File> {
      ++opens;
      return std::make_unique<File>(ReverseJSONL::openFile(path), *this);
    };
  }

  struct File : ReverseJSONL::File {
    File(std::unique_ptr<ReverseJSONL::File> inner, Observed& owner) : inner(std::move(inner)), owner(owner) {}
    std::uint64_t size() override { return inner->size(); }
    std::size_t readAt(std::uint64_t offset, char* into, std::size_t count) override {
      const std::size_t got = inner->readAt(offset, into, count);
      owner.bytesRead += got;
      if (owner.afterRead) owner.afterRead();
      return got;
    }
    std::unique_ptr<ReverseJSONL::File> inner;
    Observed& owner;
  };
};

// Every line offered, in the order offered.
std::vector<std::string> offered(const fs::path& path, std::size_t chunk, std::size_t maximumLine) {
  std::vector<std::string> lines;
  ReverseJSONL::visitLines(path, chunk, maximumLine,
                           [&](std::string_view line) {
                             lines.emplace_back(line);
                             return false;
                           },
                           {});
  return lines;
}

// What a reader must offer: every non-empty line within the limit, last first.
std::vector<std::string> expectedLines(const std::string& content, std::size_t maximumLine) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start <= content.size()) {
    std::size_t end = content.find('\n', start);
    if (end == std::string::npos) end = content.size();
    const std::string line = content.substr(start, end - start);
    if (!line.empty() && line.size() <= maximumLine) lines.insert(lines.begin(), line);
    start = end + 1;
  }
  return lines;
}

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
};

}  // namespace

TEST_F(ReverseJSONLTest, OffersEveryLineLastFirstForAnyChunking) {
  std::mt19937 random(7);
  for (int round = 0; round < 40; ++round) {
    // Lines from empty to longer than the limit, with and without a final newline.
    std::string content;
    const int count = std::uniform_int_distribution<int>(0, 12)(random);
    for (int i = 0; i < count; ++i) {
      const int length = std::uniform_int_distribution<int>(0, 40)(random);
      content += std::string(length, static_cast<char>('a' + i)) + (i + 1 < count || round % 2 ? "\n" : "");
    }
    const fs::path path = write(content);
    for (const std::size_t chunk : {0, 1, 2, 3, 7, 16, 64, 65536}) {
      for (const std::size_t maximumLine : {5, 20, 1000}) {
        EXPECT_EQ(offered(path, chunk, maximumLine), expectedLines(content, maximumLine))
            << "round " << round << " chunk " << chunk << " max " << maximumLine;
      }
    }
  }
}

TEST_F(ReverseJSONLTest, SmallFilesAndLineShapes) {
  EXPECT_EQ(offered(write(""), 65536, 100), std::vector<std::string>{});
  EXPECT_EQ(offered(write("\n\n\n"), 65536, 100), std::vector<std::string>{});
  EXPECT_EQ(offered(write("{\"only\":1}"), 65536, 100), std::vector<std::string>{"{\"only\":1}"});
  EXPECT_EQ(offered(write("{\"only\":1}\n"), 1, 100), std::vector<std::string>{"{\"only\":1}"});
  // A line exactly at the limit is offered; one byte more is not.
  EXPECT_EQ(offered(write("12345\n123456\n"), 4, 5), std::vector<std::string>{"12345"});
  EXPECT_EQ(offered(write("123456\n12345"), 4, 5), std::vector<std::string>{"12345"});
}

TEST_F(ReverseJSONLTest, StopsAtFirstResultFromTheEnd) {
  const fs::path path = write("{\"n\":1}\n{\"n\":2}\n{\"n\":3}\nnot json, partly writ");
  EXPECT_EQ(ReverseJSONL::read(path, 65536, 1024, firstRecord, {}), "{\"n\":3}");
  EXPECT_EQ(ReverseJSONL::read(write("plain\ntext"), 65536, 1024, firstRecord, {}), std::nullopt);

  int calls = 0;
  ReverseJSONL::visitLines(path, 4, 1024,
                           [&](std::string_view) {
                             ++calls;
                             return calls == 2;
                           },
                           {});
  EXPECT_EQ(calls, 2);
}

TEST_F(ReverseJSONLTest, RecordAcrossChunkBoundaryIsReassembled) {
  const std::string record = "{\"type\":\"event_msg\",\"payload\":{\"type\":\"token_count\"}}";
  // The last 64 KiB start 20 bytes into the record.
  const std::string tail(65536 - (record.size() - 20) - 1, 'y');
  const std::string content = std::string(1000, 'x') + "\n" + record + "\n" + tail;
  ASSERT_EQ(content.size() - 65536, content.find(record) + 20);
  EXPECT_EQ(ReverseJSONL::read(write(content), ReverseJSONL::defaultChunkSize, ReverseJSONL::defaultMaximumLine,
                               firstRecord, {}),
            record);
}

TEST_F(ReverseJSONLTest, OverlongLinesAreSkippedCheaply) {
  const std::string before = "{\"before\":true}";
  const std::string huge = "{\"tool_output\":\"" + std::string(ReverseJSONL::defaultMaximumLine, 'z') + "\"}";
  Observed io;
  const fs::path path = write("{\"first\":1}\n" + before + "\n" + huge);
  EXPECT_EQ(ReverseJSONL::read(path, ReverseJSONL::defaultChunkSize, ReverseJSONL::defaultMaximumLine, firstRecord, {},
                               io.opener()),
            before);
  EXPECT_EQ(io.bytesRead, fs::file_size(path));  // one pass over the long line, nothing twice

  // Also when the long line sits between records and ends with a newline.
  const fs::path middle = write("{\"first\":1}\n" + huge + "\n" + huge + "\nshort\n");
  EXPECT_EQ(ReverseJSONL::read(middle, 4096, ReverseJSONL::defaultMaximumLine, firstRecord, {}), "{\"first\":1}");
  // A file that is one long line has nothing to offer.
  EXPECT_EQ(offered(write(huge), 65536, ReverseJSONL::defaultMaximumLine), std::vector<std::string>{});
}

TEST_F(ReverseJSONLTest, ReadsOnlyTheTailWhenTheRecordIsNearTheEnd) {
  std::string content;
  while (content.size() < 4 * 1024 * 1024) content += "{\"type\":\"response_item\"," + std::string(300, 'r') + "}\n";
  content += "tail line\n";
  Observed io;
  const fs::path path = write(content);
  EXPECT_TRUE(ReverseJSONL::read(path, 65536, ReverseJSONL::defaultMaximumLine, firstRecord, {}, io.opener()));
  EXPECT_EQ(io.opens, 1u);
  EXPECT_EQ(io.bytesRead, 65536u);
}

TEST_F(ReverseJSONLTest, CancellationAndFailures) {
  std::string content;
  for (int i = 0; i < 1000; ++i) content += "line " + std::to_string(i) + "\n";
  const fs::path path = write(content);

  std::stop_source stopped;
  stopped.request_stop();
  EXPECT_THROW(ReverseJSONL::read(path, 64, 1024, firstRecord, stopped.get_token()), ReverseJSONL::Cancelled);

  // Cancelled while reading: the next chunk is not read.
  std::stop_source source;
  Observed io;
  io.afterRead = [&] { source.request_stop(); };
  EXPECT_THROW(ReverseJSONL::read(path, 64, 1024, firstRecord, source.get_token(), io.opener()),
               ReverseJSONL::Cancelled);
  EXPECT_EQ(io.bytesRead, 64u);

  // Also while passing over a line that is too long.
  std::stop_source skipping;
  Observed skipIO;
  skipIO.afterRead = [&] {
    if (skipIO.bytesRead > 64) skipping.request_stop();
  };
  EXPECT_THROW(ReverseJSONL::read(write("a\n" + std::string(1000, 'b')), 32, 40, firstRecord, skipping.get_token(),
                                  skipIO.opener()),
               ReverseJSONL::Cancelled);
  EXPECT_EQ(skipIO.bytesRead, 96u);

  EXPECT_THROW(ReverseJSONL::read(sandbox.path("missing.jsonl"), 64, 1024, firstRecord, {}), ReverseJSONL::ReadError);
}
