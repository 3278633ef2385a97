#include <gtest/gtest.h>

#include "TestSandbox.h"
#include "codex/ReverseJSONL.h"

namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;
using ReverseJSONL::defaultMaximumLine;

// Wraps the real file to count the bytes read and to run an action after each read.
struct Observed {
  std::uint64_t bytesRead = 0;
  std::function<void()> afterRead;

  struct File : ReverseJSONL::File {
    File(const fs::path& path, Observed& owner) : inner(ReverseJSONL::openFile(path)), owner(owner) {}
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

TEST_F(ReverseJSONLTest, StopsAtTheFirstResultFromTheEnd) {
  const fs::path path = write("{\"n\":1}\n{\"n\":2}\n{\"n\":3}\nnot json, partly writ");
  EXPECT_EQ(ReverseJSONL::read(path, 4, 1024, firstRecord, {}), "{\"n\":3}");
  EXPECT_EQ(ReverseJSONL::read(write("plain\ntext"), 65536, 1024, firstRecord, {}), std::nullopt);
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

  // Cancelled while reading, also while passing over a line that is too long: no further chunk is read.
  using Case = std::tuple<std::string, std::uint64_t, std::uint64_t>;
  for (const auto& [content, stopAfter, expectedBytes] :
       {Case{lines, 0, 32}, Case{"a\n" + std::string(1000, 'b'), 64, 96}}) {
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
