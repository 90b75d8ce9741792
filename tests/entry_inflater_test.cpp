// EntryInflater: result codes for intact, short, broken and foreign streams, and output handed
// out in chunks that add up to exactly the expected size.
#include <gtest/gtest.h>

#include <string>

#include "engine/extract/entry_inflater.h"
#include "extraction_fixtures.h"

namespace velmora {
namespace {

using extraction_test::NoiseBytes;
using extraction_test::RawDeflate;
using extraction_test::ScratchFolder;
using extraction_test::WriteBytes;
using extraction_test::XmlLikeText;

struct Outcome {
  int code = -1;
  uint32_t length = 0;  // the request's length after the call
  std::string output;
};

// One open, one call, as extraction does it.
Outcome InflateFile(const std::wstring& path, uint32_t length, uint32_t expected, uint32_t budget) {
  Outcome outcome;
  InflaterHandle handle;
  int open = OpenInflater(path, &handle);
  EXPECT_EQ(open, kInflateOk);
  if (open != kInflateOk) return outcome;
  InflaterRequest request{length, expected, budget};
  outcome.code = InflateToBuffer(
      handle.get(),
      [&](const uint8_t* data, size_t size) {
        outcome.output.append(reinterpret_cast<const char*>(data), size);
        return true;
      },
      &request);
  outcome.length = request.length;
  CloseInflater(handle);
  EXPECT_FALSE(handle);
  return outcome;
}

struct InflateCase {
  const char* what;
  std::string file;   // the temporary file's bytes
  uint32_t expected;  // U, also the length asked for
  uint32_t budget;    // Z
  int code;
  std::string output;  // what the sink got, when the code is 0
};

TEST(EntryInflaterTest, ResultCodes) {
  const std::string text = XmlLikeText(1000);
  const std::string stream = RawDeflate(text);
  const std::string noise = NoiseBytes(1000);
  const std::string noise_stream = RawDeflate(noise);
  ASSERT_GT(noise_stream.size(), noise.size());  // incompressible: Z > U
  const std::string big = XmlLikeText(3 * 1024 * 1024 + 17);
  const std::string big_stream = RawDeflate(big);
  const std::string half = stream.substr(0, stream.size() / 2);
  const uint32_t z = static_cast<uint32_t>(stream.size());

  const InflateCase cases[] = {
      {"intact stream", stream, 1000, z, kInflateOk, text},
      {"stream decodes to more than U: the first U bytes", stream, 600, z, kInflateOk,
       text.substr(0, 600)},
      {"stream ends before U bytes", stream, 1500, z, kInflateEndedEarly, ""},
      {"file ends inside the stream", half, 1000, z, kInflateIoError, ""},
      {"budget used up inside the stream", stream, 1000, z / 2, kInflateIoError, ""},
      {"not DEFLATE data", std::string(64, '\xFF'), 1000, 64, kInflateDataError, ""},
      {"Z greater than U, intact", noise_stream, 1000, static_cast<uint32_t>(noise_stream.size()),
       kInflateOk, noise},
      {"Z = 0, U = 10", "", 10, 0, kInflateIoError, ""},
      {"Z = 5, U = 0: nothing to produce", stream.substr(0, 5), 0, 5, kInflateOk, ""},
      {"output spans many chunks", big_stream, static_cast<uint32_t>(big.size()),
       static_cast<uint32_t>(big_stream.size()), kInflateOk, big},
  };
  ScratchFolder scratch;
  const std::wstring path = scratch.Path(L"stream.tmp");
  for (const InflateCase& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_TRUE(WriteBytes(path, c.file));
    Outcome outcome = InflateFile(path, c.expected, c.expected, c.budget);
    EXPECT_EQ(outcome.code, c.code);
    if (c.code == kInflateOk) {
      EXPECT_EQ(outcome.length, c.expected);
      EXPECT_TRUE(outcome.output == c.output)
          << "output of " << outcome.output.size() << " bytes differs";
    } else if (c.code == kInflateEndedEarly) {
      EXPECT_EQ(outcome.length, outcome.output.size());  // what there was, handed out
    } else {
      EXPECT_EQ(outcome.length, 0u);
    }
  }
}

TEST(EntryInflaterTest, OpenFailsForAMissingFile) {
  ScratchFolder scratch;
  InflaterHandle handle;
  EXPECT_EQ(OpenInflater(scratch.Path(L"missing.tmp"), &handle), kInflateCannotOpen);
  EXPECT_FALSE(handle);
}

TEST(EntryInflaterTest, RefusesWithoutAnOpenEntry) {
  ScratchFolder scratch;
  const std::string text = XmlLikeText(200);
  ASSERT_TRUE(WriteBytes(scratch.Path(L"s.tmp"), RawDeflate(text)));
  auto sink = [](const uint8_t*, size_t) { return true; };
  InflaterRequest request{200, 200, 1000};
  EXPECT_EQ(InflateToBuffer(nullptr, sink, &request), kInflateNotOpen);

  InflaterHandle handle;
  ASSERT_EQ(OpenInflater(scratch.Path(L"s.tmp"), &handle), kInflateOk);
  EXPECT_EQ(InflateToBuffer(handle.get(), sink, &request), kInflateOk);
  // The entry is finished: a second call is refused.
  request = {200, 200, 1000};
  EXPECT_EQ(InflateToBuffer(handle.get(), sink, &request), kInflateNotOpen);
}

TEST(EntryInflaterTest, ShorterRequestLeavesTheEntryOpenForTheRest) {
  ScratchFolder scratch;
  const std::string text = XmlLikeText(1000);
  const std::string stream = RawDeflate(text);
  ASSERT_TRUE(WriteBytes(scratch.Path(L"s.tmp"), stream));
  std::string output;
  auto sink = [&](const uint8_t* data, size_t size) {
    output.append(reinterpret_cast<const char*>(data), size);
    return true;
  };
  InflaterHandle handle;
  ASSERT_EQ(OpenInflater(scratch.Path(L"s.tmp"), &handle), kInflateOk);
  InflaterRequest first{400, 1000, static_cast<uint32_t>(stream.size())};
  EXPECT_EQ(InflateToBuffer(handle.get(), sink, &first), kInflateEndedEarly);
  EXPECT_EQ(first.length, 400u);
  InflaterRequest rest{600, 1000, 0};
  EXPECT_EQ(InflateToBuffer(handle.get(), sink, &rest), kInflateOk);
  EXPECT_EQ(rest.length, 600u);
  EXPECT_TRUE(output == text);
}

TEST(EntryInflaterTest, SinkThatRefusesEndsTheCall) {
  ScratchFolder scratch;
  const std::string stream = RawDeflate(XmlLikeText(1000));
  ASSERT_TRUE(WriteBytes(scratch.Path(L"s.tmp"), stream));
  InflaterHandle handle;
  ASSERT_EQ(OpenInflater(scratch.Path(L"s.tmp"), &handle), kInflateOk);
  InflaterRequest request{1000, 1000, static_cast<uint32_t>(stream.size())};
  EXPECT_EQ(InflateToBuffer(
                handle.get(), [](const uint8_t*, size_t) { return false; }, &request),
            kInflateIoError);
  EXPECT_EQ(request.length, 0u);
}

// With the sizes unknown the stream runs until it ends; whatever it decoded before breaking off
// still reaches the sink, since an XML part can be salvaged from it.
TEST(EntryInflaterTest, ToTheStreamsEndAndWhatCameBeforeABreak) {
  const std::string text = XmlLikeText(200000);
  const std::string stream = RawDeflate(text);
  const std::string half = stream.substr(0, stream.size() / 2);
  // Whole stored blocks up to a point, then a block of the reserved type.
  const std::string stored = RawDeflate(text, 0);
  const size_t block = 5 + 65535;  // the first stored block, header and data
  const std::string broken = stored.substr(0, block) + "\xFF\xFF\xFF";
  struct Case {
    const char* what;
    std::string file;
    bool to_end;
    uint32_t expected;  // U, when the size is known
    int code;
    std::string output;  // what the sink got (a prefix of the text when the code is not 0)
  };
  const Case cases[] = {
      {"unsized, intact", stream, true, 0, kInflateOk, text},
      {"unsized, more bytes after the stream's end", stream + "PK\x03\x04 next entry", true, 0,
       kInflateOk, text},
      {"unsized, the file ends inside the stream", half, true, 0, kInflateIoError, ""},
      {"unsized, a broken block", broken, true, 0, kInflateDataError, text.substr(0, 65535)},
      {"sized, the file ends inside the stream", half, false, 200000, kInflateIoError, ""},
      {"sized, a broken block", broken, false, 200000, kInflateDataError, text.substr(0, 65535)},
  };
  ScratchFolder scratch;
  const std::wstring path = scratch.Path(L"stream.tmp");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_TRUE(WriteBytes(path, c.file));
    InflaterHandle handle;
    ASSERT_EQ(OpenInflater(path, &handle), kInflateOk);
    InflaterRequest request;
    request.length = c.expected;
    request.expected_size = c.expected;
    request.input_budget = c.file.size();
    request.to_stream_end = c.to_end;
    std::string output;
    const int code = InflateToBuffer(
        handle.get(),
        [&](const uint8_t* data, size_t size) {
          output.append(reinterpret_cast<const char*>(data), size);
          return true;
        },
        &request);
    EXPECT_EQ(code, c.code);
    if (!c.output.empty()) {
      EXPECT_TRUE(output == c.output) << output.size() << " bytes";
    } else {
      // Cut off: a good part of the text came out before the input ran out.
      EXPECT_GT(output.size(), text.size() / 4);
      EXPECT_TRUE(text.compare(0, output.size(), output) == 0);
    }
    EXPECT_EQ(request.length, code == kInflateOk ? output.size() : 0u);
    CloseInflater(handle);
  }
}

}  // namespace
}  // namespace velmora
