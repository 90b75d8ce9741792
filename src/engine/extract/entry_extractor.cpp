#include "engine/extract/entry_extractor.h"

#include <zlib.h>

#include <algorithm>
#include <map>
#include <memory>
#include <mutex>
#include <new>

#include "engine/extract/byte_repair.h"
#include "engine/extract/entry_inflater.h"
#include "engine/extract/xml_salvage.h"
#include "engine/job/working_folder.h"
#include "engine/zip_format.h"
#include "platform/platform.h"

namespace velmora {

namespace {

// Compressed bytes move from the damaged file to the temporary file (and stored entries to
// their output) in chunks of this size, whatever size the header claims.
constexpr size_t kCopyChunk = 256 * 1024;

// An entry's output. When nothing is at the target yet, the output is written there directly
// and deleted unless Commit keeps it: a file system pays dearly for every name it creates,
// renames or deletes, and most entries have a name of their own. When something is there (an
// earlier entry of the same name, or a folder), the output is written under a provisional name
// in the target's folder and renamed over the target only by Commit, so what is there stays
// unless the entry gives a file. A folder-level provisional name rather than target + suffix,
// so that it is never longer than the target's own name could be.
class PartialFile {
 public:
  explicit PartialFile(const std::wstring& target) : target_(target) {
    // Creating only where nothing is yet asks the file system once per name instead of
    // looking first, and never overwrites what is there.
    path_ = target;
    file_ = platform::File::CreateNew(path_);
    if (file_.IsOpen()) {
      created_ = true;
      direct_ = true;
      return;
    }
    if (!platform::File::ExistsError(platform::LastError())) return;
    const size_t cut = target.rfind(platform::kSeparator);
    const std::wstring folder = cut == std::wstring::npos ? L"" : target.substr(0, cut + 1);
    for (int n = 1; n < 100; ++n) {
      path_ =
          n == 1 ? folder + L"~velmora.part" : folder + L"~velmora" + std::to_wstring(n) + L".part";
      file_ = platform::File::CreateNew(path_);
      if (file_.IsOpen()) {
        created_ = true;
        return;
      }
      if (!platform::File::ExistsError(platform::LastError())) return;
    }
  }
  ~PartialFile() {
    if (!created_) return;
    file_.Close();
    platform::RemoveFile(path_);
  }
  PartialFile(const PartialFile&) = delete;
  PartialFile& operator=(const PartialFile&) = delete;

  bool IsOpen() const { return file_.IsOpen(); }
  platform::File& file() { return file_; }
  // Closes the file and keeps it as the target (moved over it when written under the
  // provisional name). Closed first: Windows renames no open file.
  bool Commit() {
    file_.Close();
    if (!direct_ && !platform::RenameReplacing(path_, target_)) return false;
    created_ = false;
    return true;
  }

 private:
  std::wstring target_;
  std::wstring path_;
  platform::File file_;
  bool created_ = false;
  bool direct_ = false;  // written at the target itself
};

// What may still be written on a volume before it comes down to FreeSpaceMargin, shared by
// every entry and every thread of the process that writes below one folder (the working folder,
// or an output's own folder outside it). Asking the volume costs a system call (some 20 us on a
// loaded machine, a tenth of a small file's extraction if every entry asked), so the answer is
// kept as an allowance: half of what the volume had above the margin, at most kAllowanceCap,
// asked again once it is used up. Halving makes the writers close in on the margin instead of
// passing it, and a volume freed meanwhile is seen at the next ask.
class VolumeBudget {
 public:
  // True when `n` more bytes may be written below `root`.
  bool Take(const std::wstring& root, size_t n) {
    std::lock_guard lock(mutex_);
    // Roots are few (one working folder per run); a process that writes below many folders
    // starts again rather than keep them all.
    if (allowances_.size() > 64) allowances_.clear();
    uint64_t& allowance = allowances_[root];
    if (n <= allowance) {
      allowance -= n;
      return true;
    }
    platform::VolumeSpace space;
    // A volume that cannot be asked is written as before (and asked again only after as much
    // as a full allowance).
    if (!platform::GetVolumeSpace(root, &space)) {
      allowance = kAllowanceCap;
      return true;
    }
    const uint64_t margin = FreeSpaceMargin(space.total);
    const uint64_t room = space.available > margin ? space.available - margin : 0;
    if (room < n) {
      allowance = 0;
      return false;
    }
    allowance = std::max<uint64_t>(std::min<uint64_t>(room / 2, kAllowanceCap), n) - n;
    return true;
  }

 private:
  static constexpr uint64_t kAllowanceCap = 64 * 1024 * 1024;
  std::mutex mutex_;
  std::map<std::wstring, uint64_t> allowances_;
};

VolumeBudget& Budget() {
  static VolumeBudget budget;
  return budget;
}

// The folder whose volume an output is written on: the working folder when the output is
// below it, else the output's own folder.
std::wstring SpaceRoot(const std::wstring& target) {
  const std::wstring working = platform::WithTrailingSeparator(GetWorkingFolderPath());
  if (target.compare(0, working.size(), working) == 0) return GetWorkingFolderPath();
  const size_t cut = target.rfind(platform::kSeparator);
  return cut == std::wstring::npos ? L"." : target.substr(0, cut == 0 ? 1 : cut);
}

// The free-space check of one entry's output.
class SpaceGuard {
 public:
  explicit SpaceGuard(const std::wstring& target) : root_(SpaceRoot(target)) {}
  // True when `n` more bytes may be written.
  bool Allow(size_t n) { return Budget().Take(root_, n); }

 private:
  std::wstring root_;
};

// Copies up to `count` bytes from the source's position through `buffer`. Returns the number
// of bytes copied (fewer when the source ends first), or -1 when a read or write fails.
template <typename Writer>
int64_t CopyBytes(platform::File& source, uint64_t count, uint8_t* buffer, Writer&& write) {
  uint64_t done = 0;
  while (done < count) {
    const size_t want = static_cast<size_t>(std::min<uint64_t>(count - done, kCopyChunk));
    const int64_t got = source.Read(buffer, want);
    if (got < 0) return -1;
    if (got == 0) break;
    if (!write(buffer, static_cast<size_t>(got))) return -1;
    done += static_cast<uint64_t>(got);
  }
  return static_cast<int64_t>(done);
}

// What one entry writes: the partial file, with the CRC-32 and the count of the bytes written.
class EntryOutput {
 public:
  EntryOutput(const std::wstring& target, const RecoveredEntry& entry, uint8_t* buffer)
      : file_(target), space_(target), entry_(entry), buffer_(buffer) {}

  bool IsOpen() const { return file_.IsOpen(); }
  bool Write(const uint8_t* data, size_t n) {
    if (failed_ || space_cut_) return false;
    if (!space_.Allow(n)) {
      // What was written so far is the entry's beginning, true as far as it goes.
      space_cut_ = true;
      return false;
    }
    if (!file_.file().Write(data, n)) {
      failed_ = true;
      return false;
    }
    // Only a CRC-32 there is to compare with is worth its time (a quarter of an intact
    // entry's extraction).
    if (entry_.crc_known) crc_ = crc32(crc_, data, static_cast<uInt>(n));
    size_ += n;
    return true;
  }

  uint32_t crc() const { return crc_; }
  // Whether what was written so far stands and is all the data gave (no write failed, and the
  // volume's margin did not cut it).
  bool Healthy() const { return !failed_ && !space_cut_; }
  bool SpaceCut() const { return space_cut_; }

  // Keeps only the first `size` bytes written (and their CRC-32).
  bool CutTo(uint64_t size) {
    platform::File& file = file_.file();
    if (failed_ || size > size_ || !file.Truncate(size) || !file.Seek(0)) return false;
    crc_ = 0;
    uint64_t done = 0;
    while (done < size) {
      const int64_t got =
          file.Read(buffer_, static_cast<size_t>(std::min<uint64_t>(size - done, kCopyChunk)));
      if (got <= 0) return false;
      if (entry_.crc_known) crc_ = crc32(crc_, buffer_, static_cast<uInt>(got));
      done += static_cast<uint64_t>(got);
    }
    size_ = size;
    return true;
  }

  // Empties the partial file for a second writing of the entry.
  bool Restart() {
    if (failed_ || !file_.file().Truncate(0)) return false;
    crc_ = 0;
    size_ = 0;
    return true;
  }

  // XORs `mask` into the byte written at `offset`, and takes the CRC-32 the entry records (the
  // caller has proved that the change gives it).
  bool Patch(uint64_t offset, uint8_t mask, uint8_t* old_value) {
    platform::File& file = file_.file();
    uint8_t value = 0;
    if (failed_ || !file.Seek(offset) || file.Read(&value, 1) != 1) return false;
    *old_value = value;
    value ^= mask;
    if (!file.Seek(offset) || !file.Write(&value, 1)) return false;
    crc_ = entry_.crc32;
    return true;
  }

  // Keeps the entry whole after a one-byte correction of its data, at `offset` in the damaged
  // file.
  void CommitRepaired(uint64_t offset, uint8_t old_value, uint8_t new_value,
                      EntryOutcome* outcome) {
    if (failed_) return;
    CommitWhole(outcome);
    if (!outcome->written) return;
    outcome->repaired = true;
    outcome->repair_offset = offset;
    outcome->repair_old = old_value;
    outcome->repair_new = new_value;
  }

  // Decides what the entry gives once its data has been written: `whole` when all of it came
  // out, and whether it is an XML part that may be salvaged.
  void Finish(bool whole, bool xml_part, EntryOutcome* outcome) {
    if (failed_) return;  // a write failed: what is there is not the entry
    if (space_cut_) {
      outcome->space_cut = true;
      whole = false;
    }
    if (whole) {
      const bool crc_failed = entry_.crc_known && crc_ != entry_.crc32;
      // A part that fails its CRC but is still a well-formed document is kept whole: the
      // check cannot tell which bytes are wrong, and the reader can still open it.
      if (!crc_failed || !xml_part) return CommitWhole(outcome);
      XmlTracker tracker;
      if (!Track(&tracker)) return;
      if (tracker.IsWholeDocument()) return CommitWhole(outcome);
      return Salvage(tracker, outcome);
    }
    if (!xml_part) return;
    XmlTracker tracker;
    if (!Track(&tracker)) return;
    Salvage(tracker, outcome);
  }

 private:
  void CommitWhole(EntryOutcome* outcome) {
    if (!file_.Commit()) return;
    outcome->written = true;
    outcome->bytes_written = size_;
    outcome->crc_checked = entry_.crc_known;
    outcome->crc_matched = entry_.crc_known && crc_ == entry_.crc32;
  }

  // Runs the tracker over what was written, read back from the partial file (the page cache
  // still holds it), so that intact entries never pay for the look; it stops at the damage.
  bool Track(XmlTracker* tracker) {
    platform::File& file = file_.file();
    if (!file.Seek(0)) return false;
    while (!tracker->damaged()) {
      const int64_t got = file.Read(buffer_, kCopyChunk);
      if (got < 0) return false;
      if (got == 0) break;
      tracker->Feed(buffer_, static_cast<size_t>(got));
    }
    return true;
  }

  // Keeps the sound prefix up to the tracker's cut and closes the elements open there.
  void Salvage(const XmlTracker& tracker, EntryOutcome* outcome) {
    if (!tracker.HasCut()) return;  // not even the root element's start tag survived
    const std::string closing = tracker.ClosingTags();
    platform::File& file = file_.file();
    if (!file.Truncate(tracker.cut()) || !file.Write(closing.data(), closing.size())) return;
    if (!file_.Commit()) return;
    outcome->written = true;
    outcome->salvaged = true;
    outcome->salvaged_bytes = tracker.cut();
    outcome->bytes_written = tracker.cut() + closing.size();
    // The bytes written are not the entry's: they cannot match its CRC-32.
    outcome->crc_checked = entry_.crc_known;
    outcome->crc_matched = false;
  }

  PartialFile file_;
  SpaceGuard space_;
  const RecoveredEntry& entry_;
  uint8_t* buffer_;
  bool failed_ = false;
  bool space_cut_ = false;
  uint32_t crc_ = 0;
  uint64_t size_ = 0;
};

// A stored entry: its Z bytes unchanged. A damaged file that ends inside them yields no file
// (the bytes that are there are not the entry), unless the entry is an XML part to salvage.
void CopyStored(platform::File& source, const std::wstring& output_path,
                const RecoveredEntry& entry, bool xml_part, const RepairControl& control,
                uint8_t* buffer, EntryOutcome* outcome) {
  EntryOutput output(output_path, entry, buffer);
  if (!output.IsOpen()) return;
  const uint32_t size = entry.compressed_size;
  const int64_t copied = CopyBytes(
      source, size, buffer, [&](const uint8_t* data, size_t n) { return output.Write(data, n); });
  if (copied < 0) {
    if (output.SpaceCut()) output.Finish(false, xml_part, outcome);
    return;
  }
  const bool whole = copied == static_cast<int64_t>(size);
  if (whole && entry.crc_known && output.crc() != entry.crc32 && output.Healthy()) {
    // Stored bytes are the data itself: one changed byte is found from the CRC-32 alone.
    const ByteCorrection fix = FindSingleByteError(size, output.crc(), entry.crc32, control);
    uint8_t old_value = 0;
    if (fix.found && output.Patch(fix.offset, fix.new_value, &old_value)) {
      output.CommitRepaired(entry.data_offset + fix.offset, old_value,
                            static_cast<uint8_t>(old_value ^ fix.new_value), outcome);
      return;
    }
  }
  output.Finish(whole, xml_part, outcome);
}

// Reads the whole compressed data back from the temporary file for a correction search; empty
// when it is too large to search or cannot be read.
std::vector<uint8_t> ReadForRepair(platform::File& file, uint32_t size) {
  std::vector<uint8_t> data;
  if (size == 0 || size > kMaxRepairInput) return data;
  if (!file.IsOpen() || !file.Seek(0)) return data;
  data.resize(size);
  if (file.Read(data.data(), size) != static_cast<int64_t>(size)) data.clear();
  return data;
}

// A deflated entry that failed (a data error, text that is not XML, a wrong size or CRC-32):
// when one changed byte explains it, the corrected stream is written whole in place of what
// the damaged one gave. True when the entry was repaired.
bool RepairDeflated(platform::File& temp, const RecoveredEntry& entry, bool xml_part,
                    const RepairControl& control, EntryOutput& output, EntryOutcome* outcome) {
  std::vector<uint8_t> data = ReadForRepair(temp, entry.compressed_size);
  if (data.empty()) return false;
  DeflatedPart part;
  part.data = data.data();
  part.size = data.size();
  part.expected_size = entry.uncompressed_size;
  part.expected_crc = entry.crc32;
  part.xml = xml_part;
  const ByteCorrection fix = FindDeflateCorrection(part, control);
  if (!fix.found) return false;
  data[fix.offset] = fix.new_value;
  if (!output.Restart()) return false;
  const bool whole = InflateAll(data.data(), data.size(), [&](const uint8_t* bytes, size_t n) {
    return output.Write(bytes, n);
  });
  // Proved by the search; checked again on what was written.
  if (!whole || output.crc() != entry.crc32) return false;
  output.CommitRepaired(entry.data_offset + fix.offset, fix.old_value, fix.new_value, outcome);
  return true;
}

void Inflate(platform::File& source, const std::wstring& output_path, const RecoveredEntry& entry,
             uint64_t unsized_limit, bool xml_part, const RepairControl& control, uint8_t* buffer,
             InflateScratch& scratch, EntryOutcome* outcome) {
  // An entry whose sizes were found nowhere: its stream runs from the data offset to at most
  // the end of the file, and only its own end says where it stops.
  const bool unsized = entry.size_source == RecoveredEntry::SizeSource::kNone;
  // The temporary file stays open: written, then read back by the inflater.
  platform::File temp = scratch.Take();
  if (!temp.IsOpen()) return;
  // A damaged file may end inside the entry's data: the stream gets what is there, and comes
  // out whole only if it is complete within it.
  const int64_t copied =
      CopyBytes(source, unsized ? unsized_limit : entry.compressed_size, buffer,
                [&](const uint8_t* data, size_t n) { return temp.Write(data, n); });
  if (copied < 0) return scratch.Return(std::move(temp));

  InflaterHandle inflater;
  if (OpenInflater(std::move(temp), 0, &inflater) != kInflateOk) return;
  EntryOutput output(output_path, entry, buffer);
  if (!output.IsOpen()) return scratch.Return(ReleaseInflaterFile(inflater));
  // The stream is inflated to its own end, within its compressed bytes, whatever the header
  // says of its plain size: a damaged size field must not cut a stream that is whole. A stream
  // that ends cleanly is whole unless it gives less than its recorded size and no CRC-32
  // confirms it (then it has lost its end); more than the size, or less with the CRC-32 right,
  // means the size field was wrong.
  InflaterRequest request;
  request.to_stream_end = true;
  request.input_budget = unsized ? static_cast<uint64_t>(copied) : entry.compressed_size;
  uint64_t produced = 0;
  const int result = InflateToBuffer(
      inflater.get(),
      [&](const uint8_t* data, size_t n) {
        produced += n;
        return output.Write(data, n);
      },
      &request);
  scratch.Return(ReleaseInflaterFile(inflater));
  // Cut off (the file or the budget ended first) or broken: damaged data, which an XML part may
  // still give its sound beginning from. Other failures give nothing.
  const bool damaged = result == kInflateIoError || result == kInflateDataError;
  if (result != kInflateOk && !damaged) return;
  bool crc_matched = entry.crc_known && output.crc() == entry.crc32;
  if (result == kInflateOk && !unsized && !crc_matched && produced > entry.uncompressed_size) {
    // More than the recorded size and no CRC-32 to vouch for it: the size stands, as a header
    // that claims little must keep what is written small.
    if (!output.CutTo(entry.uncompressed_size)) return;
    crc_matched = entry.crc_known && output.crc() == entry.crc32;
  }
  const bool whole =
      result == kInflateOk && (unsized || crc_matched || produced >= entry.uncompressed_size);
  // With all its data there and a CRC-32 to prove it, a part that failed may be one changed
  // byte away from whole. A stream cut by the end of the file is not: its bytes are missing.
  const bool all_data = !unsized && copied == static_cast<int64_t>(entry.compressed_size);
  if (entry.crc_known && all_data && !crc_matched && output.Healthy() &&
      RepairDeflated(scratch.file(), entry, xml_part, control, output, outcome)) {
    return;
  }
  output.Finish(whole, xml_part, outcome);
}

}  // namespace

uint64_t FreeSpaceMargin(uint64_t volume_size) {
  return std::min<uint64_t>(volume_size / 20, uint64_t{1} << 30);
}

InflateScratch::~InflateScratch() {
  Remove();
}

void InflateScratch::Remove() {
  // Closed first: Windows deletes no open file.
  file_.Close();
  if (!path_.empty()) platform::RemoveFile(path_);
  path_.clear();
}

platform::File InflateScratch::Take() {
  if (!path_.empty() && (!file_.IsOpen() || !file_.Truncate(0))) Remove();
  if (path_.empty()) {
    path_ = platform::CreateTempFile(platform::TempFolder(), L"OPC", &file_);
    if (path_.empty()) return platform::File();
  }
  return std::move(file_);
}

EntryOutcome ExtractEntry(const std::wstring& damaged_path, const std::wstring& output_path,
                          const RecoveredEntry& entry, uint64_t unsized_limit,
                          const RepairControl& control) {
  platform::File source;
  if (!output_path.empty()) {
    source = platform::File::OpenRead(damaged_path, platform::Sharing::kNone);
  }
  return ExtractEntry(source, output_path, entry, unsized_limit, control);
}

EntryOutcome ExtractEntry(platform::File& source, const std::wstring& output_path,
                          const RecoveredEntry& entry, uint64_t unsized_limit,
                          const RepairControl& control, InflateScratch* scratch) {
  EntryOutcome outcome;
  outcome.output_path = output_path;
  const uint32_t z = entry.compressed_size;
  const uint32_t u = entry.uncompressed_size;
  const bool unsized = entry.size_source == RecoveredEntry::SizeSource::kNone;
  if (output_path.empty()) return outcome;
  if (z == 0 && u == 0 && !unsized) {
    // An empty file of the package (the scanner passes only those with a CRC-32 of no bytes).
    EntryOutput output(output_path, entry, nullptr);
    if (output.IsOpen()) output.Finish(true, false, &outcome);
    return outcome;
  }
  if (!source.IsOpen() || !source.Seek(entry.data_offset)) return outcome;
  std::unique_ptr<uint8_t[]> buffer(new (std::nothrow) uint8_t[kCopyChunk]);
  if (!buffer) return outcome;
  const bool xml_part = IsSalvageableXmlPart(entry.name);
  // Equal sizes mean a stored entry, unless the header says deflate: a deflated entry whose
  // sizes happen to be equal is inflated, not copied as compressed bytes.
  if (!unsized && z != 0 && z == u && entry.method != kZipMethodDeflate) {
    CopyStored(source, output_path, entry, xml_part, control, buffer.get(), &outcome);
  } else {
    InflateScratch own;
    Inflate(source, output_path, entry, unsized_limit, xml_part, control, buffer.get(),
            scratch != nullptr ? *scratch : own, &outcome);
  }
  return outcome;
}

}  // namespace velmora
