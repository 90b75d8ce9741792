#include "engine/entry_extractor.h"

#include <algorithm>
#include <memory>
#include <new>

#include "engine/entry_inflater.h"
#include "engine/working_folder.h"
#include "platform/platform.h"

namespace velmora {

namespace {

constexpr uint16_t kMethodDeflate = 8;
// Compressed bytes move from the damaged file to the temporary file (and stored entries to
// their output) in chunks of this size, whatever size the header claims.
constexpr size_t kCopyChunk = 256 * 1024;

// An entry's output, written under a provisional name in the target's folder and renamed over
// the target only by Commit; deleted otherwise. A folder-level name rather than target +
// suffix, so that it is never longer than the target's own name could be.
class PartialFile {
 public:
  explicit PartialFile(const std::wstring& target) : target_(target) {
    const size_t cut = target.rfind(platform::kSeparator);
    const std::wstring folder = cut == std::wstring::npos ? L"" : target.substr(0, cut + 1);
    // An entry may have this very name; never overwrite what is there.
    path_ = folder + L"~velmora.part";
    for (int n = 2; platform::PathExists(path_) && n < 100; ++n) {
      path_ = folder + L"~velmora" + std::to_wstring(n) + L".part";
    }
    if (platform::PathExists(path_)) return;
    file_ = platform::File::Create(path_);
    created_ = file_.IsOpen();
  }
  ~PartialFile() {
    if (!created_) return;
    file_.Close();
    platform::RemoveFile(path_);
  }
  PartialFile(const PartialFile&) = delete;
  PartialFile& operator=(const PartialFile&) = delete;

  bool IsOpen() const { return file_.IsOpen(); }
  bool Write(const void* data, size_t size) { return file_.Write(data, size); }
  // Closes the file and moves it over the target. Closed first: Windows renames no open file.
  void Commit() {
    file_.Close();
    if (platform::RenameReplacing(path_, target_)) created_ = false;
  }

 private:
  std::wstring target_;
  std::wstring path_;
  platform::File file_;
  bool created_ = false;
};

// Deletes the temporary file on every road out of the inflation.
class TempFileRemover {
 public:
  explicit TempFileRemover(std::wstring path) : path_(std::move(path)) {}
  ~TempFileRemover() { platform::RemoveFile(path_); }
  TempFileRemover(const TempFileRemover&) = delete;
  TempFileRemover& operator=(const TempFileRemover&) = delete;

 private:
  std::wstring path_;
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

// A stored entry: its Z bytes unchanged. A damaged file that ends inside them yields no file,
// since the bytes that are there are not the entry.
void CopyStored(platform::File& source, const std::wstring& output_path, uint32_t size,
                uint8_t* buffer) {
  PartialFile output(output_path);
  if (!output.IsOpen()) return;
  const int64_t copied = CopyBytes(
      source, size, buffer, [&](const uint8_t* data, size_t n) { return output.Write(data, n); });
  if (copied == static_cast<int64_t>(size)) output.Commit();
}

void Inflate(platform::File& source, const std::wstring& output_path, const RecoveredEntry& entry,
             uint8_t* buffer) {
  const std::wstring temp_path = platform::CreateTempFile(platform::TempFolder(), L"OPC");
  if (temp_path.empty()) return;
  TempFileRemover remover(temp_path);
  {
    platform::File temp = platform::File::Create(temp_path);
    if (!temp.IsOpen()) return;
    // A damaged file may end inside the entry's data: the stream gets what is there, and
    // succeeds only if it is complete within it.
    const int64_t copied =
        CopyBytes(source, entry.compressed_size, buffer,
                  [&](const uint8_t* data, size_t n) { return temp.Write(data, n); });
    if (copied < 0) return;
  }
  source.Close();

  InflaterHandle inflater;
  if (OpenInflater(temp_path, &inflater) != kInflateOk) return;
  PartialFile output(output_path);
  if (!output.IsOpen()) return;
  InflaterRequest request;
  request.length = entry.uncompressed_size;
  request.expected_size = entry.uncompressed_size;
  request.input_budget = entry.compressed_size;
  const int result = InflateToBuffer(
      inflater.get(), [&](const uint8_t* data, size_t n) { return output.Write(data, n); },
      &request);
  // The temporary file must be closed before the remover deletes it (Windows deletes no open
  // file).
  CloseInflater(inflater);
  if (result == kInflateOk) output.Commit();
}

}  // namespace

void ExtractEntry(const std::wstring& damaged_path, const std::wstring& output_path,
                  const RecoveredEntry& entry) {
  const uint32_t z = entry.compressed_size;
  const uint32_t u = entry.uncompressed_size;
  if (output_path.empty() || (z == 0 && u == 0)) return;
  platform::File source = platform::File::OpenRead(damaged_path, platform::Sharing::kNone);
  if (!source.IsOpen() || !source.Seek(entry.data_offset)) return;
  std::unique_ptr<uint8_t[]> buffer(new (std::nothrow) uint8_t[kCopyChunk]);
  if (!buffer) return;
  // Equal sizes mean a stored entry, unless the header says deflate: a deflated entry whose
  // sizes happen to be equal is inflated, not copied as compressed bytes.
  if (z != 0 && z == u && entry.method != kMethodDeflate) {
    CopyStored(source, output_path, z, buffer.get());
  } else {
    Inflate(source, output_path, entry, buffer.get());
  }
}

void ExtractAllEntries(JobWindow& view, std::wstring folder, const std::wstring& damaged_path) {
  const int n = view.EntryCount();
  view.ResetEstimate(Bar::kFile);
  // The bar's range is a 16-bit value; beyond it the bar simply stays full.
  view.SetBarRange(Bar::kFile, static_cast<uint16_t>(std::min(n, 0xFFFF)));
  view.SetBarPos(Bar::kFile, 0);
  for (int i = 0; i < n; ++i) {
    const RecoveredEntry entry = view.Entry(i);
    if (folder.empty() || folder.back() != platform::kSeparator) folder += platform::kSeparator;
    std::wstring path = entry.name;
    CreatePathDirectories(view, folder, path);
    if (!path.empty()) ExtractEntry(damaged_path, path, entry);
    view.SetBarPos(Bar::kFile, i);
  }
  view.SetBarPos(Bar::kFile, n);
}

}  // namespace velmora
