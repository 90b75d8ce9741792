#include "fuzz_support.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>

#include "engine/extract/entry_path.h"
#include "engine/extract/xml_salvage.h"
#include "engine/job/working_folder.h"
#include "engine/package/media_types.h"
#include "platform/platform.h"

namespace velmora::fuzz {

namespace {

// More levels than the 341 ".." components a 1023-character name can hold, plus the two
// (file folder, working folder) between the scratch folder and an entry.
constexpr int kChainDepth = 350;

const std::wstring kSep(1, platform::kSeparator);

void Walk(const std::wstring& folder, const std::wstring& relative,
          std::map<std::wstring, uint64_t>* files) {
  std::vector<platform::DirItem> items;
  if (!platform::ListDirectory(folder, [&](const platform::DirItem& item) {
        items.push_back(item);
        return true;
      })) {
    Fail("a folder the job made cannot be listed", folder);
  }
  for (const platform::DirItem& item : items) {
    const std::wstring path = folder + kSep + item.name;
    const std::wstring name = relative.empty() ? item.name : relative + L"\\" + item.name;
    if (item.is_directory) {
      Walk(path, name, files);
      continue;
    }
    struct stat st {};
    if (lstat(platform::NarrowPath(path).c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
      Fail("the job left something that is not a regular file", path);
    }
    (*files)[name] = static_cast<uint64_t>(st.st_size);
  }
}

}  // namespace

void Fail(const std::string& what, const std::wstring& detail) {
  fprintf(stderr, "\n==velmora-fuzz== %s", what.c_str());
  if (!detail.empty()) fprintf(stderr, ": %s", Printable(detail).c_str());
  fprintf(stderr, "\n");
  fflush(stderr);
  abort();
}

std::string Printable(const std::wstring& text) {
  std::string out;
  for (wchar_t c : text) {
    if (c >= 0x20 && c < 0x7F) {
      out.push_back(static_cast<char>(c));
    } else {
      char code[16];
      snprintf(code, sizeof code, "\\x{%X}", static_cast<unsigned>(c));
      out += code;
    }
  }
  return out;
}

GuardedScratch::GuardedScratch(const std::string& name) {
  // A memory file system makes the many small creations of a run cheap; run.sh points
  // VELMORA_FUZZ_SCRATCH at one when there is one.
  const char* base = getenv("VELMORA_FUZZ_SCRATCH");
  std::wstring folder = platform::TempFolder();
  if (base != nullptr && base[0] != '\0') folder = platform::WidenPath(std::string(base) + "/");
  root_ = folder + platform::WidenPath(name) + L"-" + std::to_wstring(static_cast<long>(getpid()));
  std::wstring level = root_;
  for (int i = 0; i < kChainDepth; ++i) {
    if (platform::MakeDirectory(level) != platform::MakeDirResult::kCreated) {
      Fail("cannot make the scratch chain", level);
    }
    chain_.push_back(platform::NarrowPath(level));
    const int fd = open(chain_.back().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) Fail("cannot open a folder of the scratch chain", level);
    chain_fds_.push_back(fd);
    level += kSep + L"d";
  }
  const std::wstring bottom = platform::WidenPath(chain_.back()) + kSep + L"b";
  if (platform::MakeDirectory(bottom) != platform::MakeDirResult::kCreated) {
    Fail("cannot make the scratch folder", bottom);
  }
  // The job reaches the scratch folder through its descriptor's link in /proc: the system
  // jumps straight to the folder instead of walking the whole chain for every path, and ".."
  // from there still leads up the chain.
  bottom_fd_ = open(platform::NarrowPath(bottom).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (bottom_fd_ < 0) Fail("cannot open the scratch folder", bottom);
  bottom_ = L"/proc/self/fd/" + std::to_wstring(bottom_fd_);
  if (platform::MakeDirectory(temp()) != platform::MakeDirResult::kCreated) {
    Fail("cannot make the scratch folder's temporary-files folder", temp());
  }
  for (size_t i = 0; i < chain_.size(); ++i) stamps_.push_back(StampOf(i));
  // Everything that asks for the temporary-files folder from now on gets the watched one.
  setenv("TMPDIR", platform::NarrowPath(temp()).c_str(), 1);
  SetWorkingFolderOverride(work());
}

GuardedScratch::~GuardedScratch() {
  SetWorkingFolderOverride(L"");
  for (int fd : chain_fds_) close(fd);
  close(bottom_fd_);
  DeleteFolderTree(root_);
  platform::RemoveEmptyDirectory(root_);
}

std::wstring GuardedScratch::Path(const std::wstring& name) const {
  return bottom_ + kSep + name;
}

GuardedScratch::Stamp GuardedScratch::StampOf(size_t level) const {
  struct stat st {};
  if (fstat(chain_fds_[level], &st) != 0) {
    Fail("a folder of the scratch chain cannot be read", platform::WidenPath(chain_[level]));
  }
  return Stamp{st.st_ino, st.st_nlink, int64_t{st.st_mtim.tv_sec} * 1000000000 + st.st_mtim.tv_nsec,
               int64_t{st.st_ctim.tv_sec} * 1000000000 + st.st_ctim.tv_nsec};
}

void GuardedScratch::Check(const std::set<std::wstring>& expected) const {
  for (size_t i = 0; i < chain_.size(); ++i) {
    if (!(StampOf(i) == stamps_[i])) {
      Fail("something was created or removed outside the scratch folder, in",
           platform::WidenPath(chain_[i]));
    }
  }
  const std::set<std::wstring> items = ItemsOf(bottom_);
  if (items != expected) {
    std::wstring listed;
    for (const std::wstring& item : items) listed += L" [" + item + L"]";
    Fail("the scratch folder holds other items than it should:", listed);
  }
  const std::set<std::wstring> temps = ItemsOf(temp());
  if (!temps.empty()) Fail("a temporary file was left behind", *temps.begin());
}

std::map<std::wstring, uint64_t> FilesBelow(const std::wstring& folder) {
  std::map<std::wstring, uint64_t> files;
  Walk(folder, L"", &files);
  return files;
}

std::set<std::wstring> ItemsOf(const std::wstring& folder) {
  std::set<std::wstring> items;
  platform::ListDirectory(folder, [&](const platform::DirItem& item) {
    items.insert(item.name);
    return true;
  });
  return items;
}

void CheckExtracted(const std::wstring& file_folder, const std::vector<RecoveredEntry>& entries,
                    const std::vector<std::wstring>& completed, uint64_t input_size) {
  std::map<std::wstring, uint64_t> largest;
  for (const RecoveredEntry& entry : entries) {
    const std::wstring safe = SafeEntryPath(entry.name, kWindowsNameRules);
    if (safe.empty()) continue;
    uint64_t bound = entry.size_source == RecoveredEntry::SizeSource::kNone
                         ? 1032 * input_size
                         : entry.uncompressed_size;
    // A deflated entry is inflated to its stream's own end: past its recorded size when the
    // CRC-32 confirms the output, but never past what its compressed bytes can give.
    if (entry.method == 8 && entry.crc_known) {
      bound = std::max<uint64_t>(bound, 1032 * (uint64_t{entry.compressed_size} + 1));
    }
    // A damaged XML part keeps its sound prefix and gets the end tags of the elements still
    // open; each costs at most 4 bytes for the 3 of its start tag.
    if (IsSalvageableXmlPart(entry.name)) bound = bound * 7 / 3 + 1;
    largest[safe] = std::max(largest[safe], bound);
  }
  const std::map<std::wstring, uint64_t> files = FilesBelow(file_folder);
  std::set<std::wstring> written;
  for (std::wstring part : completed) {
    std::replace(part.begin(), part.end(), L'/', L'\\');
    const auto file = files.find(part);
    if (file == files.end()) Fail("package completion names a part that is not there", part);
    const bool picture =
        MediaTypeForPart(std::string(part.begin(), part.end())).compare(0, 6, "image/") == 0;
    if (part != L"mimetype" && part != L"META-INF\\manifest.xml" &&
        !(picture && file->second == 0)) {
      Fail("package completion wrote what it may not", part);
    }
    written.insert(part);
  }
  for (const auto& [name, size] : files) {
    // Completion may rewrite these two whatever an entry of their name held.
    if (written.count(name) != 0 && (name == L"mimetype" || name == L"META-INF\\manifest.xml")) {
      continue;
    }
    if (written.count(name) != 0 && largest.count(name) == 0) continue;  // a stand-in
    const auto found = largest.find(name);
    if (found == largest.end()) Fail("a file that no entry names", name);
    if (size > found->second) {
      Fail("a file larger than its entry claims (" + std::to_string(size) + " bytes)", name);
    }
  }
}

bool WriteWholeFile(const std::wstring& path, const uint8_t* data, size_t size) {
  platform::File file = platform::File::Create(path);
  return file.IsOpen() && (size == 0 || file.Write(data, size));
}

bool ReadWholeFile(const std::wstring& path, std::string* bytes) {
  bytes->clear();
  platform::File file = platform::File::OpenRead(path, platform::Sharing::kRead);
  if (!file.IsOpen()) return false;
  char chunk[65536];
  for (;;) {
    const int64_t got = file.Read(chunk, sizeof chunk);
    if (got < 0) return false;
    if (got == 0) return true;
    bytes->append(chunk, static_cast<size_t>(got));
  }
}

}  // namespace velmora::fuzz
