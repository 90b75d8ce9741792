// Extraction of the entries the scanner found into the file's folder of the working folder.
#pragma once

#include <cstdint>
#include <string>

#include "engine/extract/byte_repair.h"
#include "engine/extract/entry_outcome.h"
#include "engine/scan/recovered_entry.h"
#include "platform/platform.h"

namespace velmora {

// Extracts one entry to `output_path`. With Z the compressed and U the uncompressed size:
// - Z = U != 0 and not deflated: the Z bytes are copied unchanged;
// - Z = U = 0: an empty file (the scanner passes such a stored entry only for an empty file),
//   unless the entry is deflated and its sizes were found nowhere
//   (RecoveredEntry::SizeSource::kNone): its stream is inflated from the data offset, with the
//   rest of the file (at most `unsized_limit` bytes of it) as input, until it ends; a stream
//   that ends is written whole;
// - otherwise the Z bytes go to an "OPC" temporary file and are inflated, reading at most Z
//   bytes of input, to the stream's own end whatever U says (a flipped bit in the size field
//   must not cut a whole stream): a stream that ends is whole when it gives U bytes, or another
//   count with the entry's CRC-32 right (the size field was wrong); one that gives more without
//   the CRC-32 to confirm it is kept to its first U bytes.
// Data that comes out whole (all Z bytes copied, U bytes inflated, or an unsized stream that
// ends) is written as it is, whatever its CRC-32 says, with one exception below. Data that does
// not (the file ends inside it, the stream ends before U bytes, breaks off or is not DEFLATE
// data) yields no file.
//
// The exception is the XML parts at the package root (IsSalvageableXmlPart): when such a part
// does not come out whole, or comes out whole but fails its known CRC-32 and is not a
// well-formed document, it is salvaged: cut at the end of its last complete element before the
// damage, with the elements open there closed (XmlTracker). A part damaged before its root
// element's start tag was complete yields no file.
//
// Data that fails its known CRC-32 (or a deflate stream that breaks, has the wrong size or is not
// XML where it should be) with all its bytes present is first searched for one changed byte
// (byte_repair.h), with `control`'s stop flag, progress and budget: a correction that gives the
// recorded CRC-32 makes the entry whole again, written whole and reported as repaired.
//
// Inflating never fills the working folder's volume: the output stops where the space the
// volume has left would come down to FreeSpaceMargin. The volume is asked before the first
// byte is written below a folder and again whenever the allowance that answer gave (shared by
// the process's writers below that folder) is used up. Such an entry is treated as one whose
// data does not come out whole (an XML part is salvaged, anything else gives no file), never
// searched for a changed byte, and its outcome says `space_cut`.
//
// Output is written at the target when nothing is there yet (and deleted unless the entry gives
// a file), else to a partial file beside the target that is renamed over it only when the
// entry gives a file; so a failed entry leaves nothing, and an earlier entry of the same name
// keeps its file. Memory is bounded whatever sizes the header claims; nothing is reported but
// the outcome: whether a file was written, its size, its CRC-32 against the entry's when that
// is known (a salvaged part never matches), and how much of a salvaged part was kept.
EntryOutcome ExtractEntry(const std::wstring& damaged_path, const std::wstring& output_path,
                          const RecoveredEntry& entry, uint64_t unsized_limit = UINT64_MAX,
                          const RepairControl& control = RepairControl());

// The space kept free on the working folder's volume: 5 % of the volume's size, at most 1 GiB.
uint64_t FreeSpaceMargin(uint64_t volume_size);

// The "OPC" temporary file that holds an inflated entry's compressed data. One serves every
// entry of a repair run, whatever file it comes from: created at the first entry that needs
// it, emptied before each next one, deleted when the scratch goes. A file system pays for every
// name it creates and deletes (some pay more the more names were deleted lately), and a run
// has a dozen deflated entries per file.
class InflateScratch {
 public:
  InflateScratch() = default;
  ~InflateScratch();
  InflateScratch(const InflateScratch&) = delete;
  InflateScratch& operator=(const InflateScratch&) = delete;

  // The temporary file, empty and at its start, lent out until Return; a closed file when it
  // cannot be created or emptied. A file not returned is replaced by a new one at the next Take.
  platform::File Take();
  void Return(platform::File file) { file_ = std::move(file); }
  // The returned file, open (for reading back what the last entry wrote into it).
  platform::File& file() { return file_; }

 private:
  void Remove();
  std::wstring path_;
  platform::File file_;
};

// The same with the damaged file already open (read access), as ExtractAllEntries opens it once
// for all its entries; the file's position is moved. A file that is not open yields nothing.
// `scratch` is the temporary file shared by the entries of the run; without one, the entry has
// a temporary file of its own.
EntryOutcome ExtractEntry(platform::File& damaged, const std::wstring& output_path,
                          const RecoveredEntry& entry, uint64_t unsized_limit = UINT64_MAX,
                          const RepairControl& control = RepairControl(),
                          InflateScratch* scratch = nullptr);

}  // namespace velmora
