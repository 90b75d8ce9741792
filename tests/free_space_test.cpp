// Inflating into the working folder keeps a free-space margin on its volume: a small tmpfs is
// the working folder's volume here, and a damaged file's header truthfully declares far more
// sheet data than the volume holds.
#include <gtest/gtest.h>
#include <zlib.h>

#include <mutex>
#include <string>
#include <vector>

#include "engine/extract/entry_extractor.h"
#include "engine/job/recovery_observer.h"
#include "engine/job/working_folder.h"
#include "platform/platform.h"
#include "support/job_runner.h"
#include "support/raw_deflate.h"
#include "support/recording_window.h"
#include "support/scratch.h"
#include "support/small_volume.h"

namespace velmora::test {
namespace {

class Recoveries : public RecoveryObserver {
 public:
  void OnFileRecovered(const FileRecovery& recovery) override {
    std::lock_guard lock(mutex_);
    files.push_back(recovery);
  }
  std::vector<FileRecovery> files;

 private:
  std::mutex mutex_;
};

void Put16(Bytes& out, uint32_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}
void Put32(Bytes& out, uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}

// A local header with these sizes and CRC-32, its name, then `data` as it is.
void AppendEntry(Bytes& out, const std::string& name, uint16_t method, uint32_t crc,
                 uint32_t compressed, uint32_t size, const std::string& data) {
  Put32(out, 0x04034b50);
  Put16(out, 20);
  Put16(out, 0);
  Put16(out, method);
  Put16(out, 0);
  Put16(out, 0x21);
  Put32(out, crc);
  Put32(out, compressed);
  Put32(out, size);
  Put16(out, static_cast<uint32_t>(name.size()));
  Put16(out, 0);
  out.insert(out.end(), name.begin(), name.end());
  out.insert(out.end(), data.begin(), data.end());
}

// A content.xml of one sheet with `blocks` blocks of 64 KiB of rows, as one raw DEFLATE
// stream. Each piece is deflated on its own and flushed to a byte boundary, so the block's
// stream is written once and repeated: a gigabyte of rows takes a few megabytes, as a real
// writer's stream of such rows would.
struct Sheet {
  std::string stream;
  uint32_t size = 0;
  uint32_t crc = 0;
};
Sheet RepeatedSheet(uint32_t blocks) {
  const std::string head =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?><office:document-content "
      "xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
      "xmlns:table=\"urn:oasis:names:tc:opendocument:xmlns:table:1.0\" "
      "xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\"><office:body>"
      "<office:spreadsheet><table:table table:name=\"Ledger\">";
  const std::string row =
      "<table:table-row><table:table-cell office:value-type=\"float\" office:value=\"7\">"
      "<text:p>7</text:p></table:table-cell></table:table-row>";
  std::string block;
  while (block.size() + row.size() <= 65536) block += row;
  const std::string tail =
      "</table:table></office:spreadsheet></office:body></office:document-content>";
  const auto crc_of = [](const std::string& s) {
    return static_cast<uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(s.data()), static_cast<uInt>(s.size())));
  };
  Sheet sheet;
  const std::string block_stream = RawDeflate(block, 9, Z_FULL_FLUSH);
  sheet.stream = RawDeflate(head, 6, Z_FULL_FLUSH);
  sheet.stream.reserve(sheet.stream.size() + block_stream.size() * blocks + 64);
  uLong crc = crc_of(head);
  for (uint32_t i = 0; i < blocks; ++i) {
    sheet.stream += block_stream;
    crc = crc32_combine(crc, crc_of(block), static_cast<z_off_t>(block.size()));
  }
  sheet.stream += RawDeflate(tail, 6, Z_FINISH);
  sheet.crc =
      static_cast<uint32_t>(crc32_combine(crc, crc_of(tail), static_cast<z_off_t>(tail.size())));
  sheet.size = static_cast<uint32_t>(head.size() + uint64_t{block.size()} * blocks + tail.size());
  return sheet;
}

const EntryOutcome* OutcomeOf(const FileRecovery& recovery, const std::string& name) {
  for (size_t i = 0; i < recovery.entries.size(); ++i)
    if (recovery.entries[i].name == W(name)) return &recovery.outcomes[i];
  return nullptr;
}

// A header that truthfully declares a content.xml of nearly a gigabyte, in a file of a few
// megabytes, inflated into a working folder on an 8 MiB volume: the part is cut where the
// volume's margin begins (and salvaged, its sound rows kept), the volume keeps its margin, and
// the run goes on with the next file.
TEST(FreeSpaceTest, InflatingStopsAtTheVolumesMarginAndTheRunGoesOn) {
  ScratchFolder scratch;
  SmallVolume volume(scratch.Path(L"volume"), 8 << 20);
  if (!volume.mounted()) GTEST_SKIP() << volume.why_not();
  const std::string mimetype = "application/vnd.oasis.opendocument.spreadsheet";
  const Sheet sheet = RepeatedSheet(16500);
  ASSERT_GT(sheet.size, 1u << 30);
  Bytes huge;
  AppendEntry(huge, "mimetype", 0,
              static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(mimetype.data()),
                                          static_cast<uInt>(mimetype.size()))),
              static_cast<uint32_t>(mimetype.size()), static_cast<uint32_t>(mimetype.size()),
              mimetype);
  AppendEntry(huge, "content.xml", 8, sheet.crc, static_cast<uint32_t>(sheet.stream.size()),
              sheet.size, sheet.stream);
  const std::wstring huge_path = scratch.Path(L"huge.ods");
  ASSERT_TRUE(WriteBytes(huge_path, huge));
  const std::wstring small_path = scratch.Path(L"small.ods");
  ASSERT_TRUE(WriteBytes(small_path, MakeZip({{"mimetype", mimetype, false},
                                              {"content.xml", "<doc>cells</doc>", true}})));

  SetWorkingFolderOverride(volume.path() + platform::kSeparator + L"ClcTemp");
  RecordingWindow window;
  window.quiet = true;
  window.AddFile(huge_path);
  window.AddFile(small_path);
  JobRunning running{0};
  Recoveries recoveries;
  RunRepairJob({&running, &window, &recoveries});
  SetWorkingFolderOverride(L"");

  platform::VolumeSpace space;
  ASSERT_TRUE(platform::GetVolumeSpace(volume.path(), &space));
  const uint64_t margin = FreeSpaceMargin(space.total);
  // Written past the margin only: the salvaged part's closing tags and the parts package
  // completion writes, a page or two.
  EXPECT_GE(space.available + 65536, margin) << space.available << " of " << space.total;

  ASSERT_EQ(recoveries.files.size(), 2u);
  const EntryOutcome* content = OutcomeOf(recoveries.files[0], "content.xml");
  ASSERT_NE(content, nullptr);
  EXPECT_TRUE(content->space_cut);
  EXPECT_TRUE(content->written);
  EXPECT_TRUE(content->salvaged);
  EXPECT_GT(content->bytes_written, 4u << 20);
  EXPECT_LT(content->bytes_written, 8u << 20);
  EXPECT_FALSE(content->crc_matched);

  const EntryOutcome* next = OutcomeOf(recoveries.files[1], "content.xml");
  ASSERT_NE(next, nullptr);
  EXPECT_TRUE(next->written);
  EXPECT_FALSE(next->space_cut);
  EXPECT_EQ(ReadBytes(volume.path() + platform::kSeparator + L"ClcTemp" + platform::kSeparator +
                      L"small.ods1" + platform::kSeparator + L"content.xml"),
            ToBytes("<doc>cells</doc>"));
}

}  // namespace
}  // namespace velmora::test
