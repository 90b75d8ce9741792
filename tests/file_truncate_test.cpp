// File::Truncate: a file written, cut back and written on, as the salvage of a damaged XML part
// does it (it keeps a sound prefix and appends closing tags).
#include <gtest/gtest.h>

#include <string>

#include "extraction_fixtures.h"
#include "platform/platform.h"

namespace velmora::platform {
namespace {

using extraction_test::ReadBytes;
using extraction_test::ScratchFolder;

TEST(FileTruncateTest, CutsTheFileAndWritesOnAtTheNewEnd) {
  ScratchFolder scratch;
  const std::wstring path = scratch.Path(L"t.xml");
  struct Case {
    const char* what;
    uint64_t size;
    std::string expected;
  };
  const Case cases[] = {
      {"cut in the middle", 5, "<root</root>"},
      {"cut to nothing", 0, "</root>"},
      {"cut at the end: unchanged", 12, "<root><a/><b</root>"},
      {"extended with zeros", 14, std::string("<root><a/><b\0\0</root>", 21)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    File file = File::Create(path);
    ASSERT_TRUE(file.IsOpen());
    ASSERT_TRUE(file.Write("<root><a/><b", 12));
    ASSERT_TRUE(file.Truncate(c.size));
    EXPECT_EQ(file.Size(), static_cast<int64_t>(c.size));
    EXPECT_EQ(file.Position(), static_cast<int64_t>(c.size));
    ASSERT_TRUE(file.Write("</root>", 7));
    file.Close();
    EXPECT_TRUE(ReadBytes(path) == c.expected) << ReadBytes(path);
  }
}

TEST(FileTruncateTest, FailsOnAClosedFileOrOneOpenForReading) {
  ScratchFolder scratch;
  File closed;
  EXPECT_FALSE(closed.Truncate(0));
  const std::wstring path = scratch.Path(L"r.txt");
  {
    File file = File::Create(path);
    ASSERT_TRUE(file.Write("content", 7));
  }
  File reading = File::OpenRead(path, Sharing::kRead);
  ASSERT_TRUE(reading.IsOpen());
  EXPECT_FALSE(reading.Truncate(2));
  reading.Close();
  EXPECT_EQ(ReadBytes(path), "content");
}

}  // namespace
}  // namespace velmora::platform
