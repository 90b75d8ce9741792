// Round trip: a small folder tree made from the input is packed by the folder packer, and the
// package is repaired as a damaged file would be. Every file must come back byte for byte,
// except what the format cannot carry: an empty file whose name makes it a stored entry has
// both sizes 0 in its header, which the scanner takes for a folder and drops.
//
// Names come from a safe alphabet (no separators, colons, blanks, leading or trailing dots),
// so the entry-name mapping leaves them as they are. Contents are raw input bytes, runs that
// deflate well, or bytes with local-header and descriptor signatures planted in them.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>

#include "engine/job/job_context.h"
#include "engine/job/repair_job.h"
#include "engine/job/working_folder.h"
#include "fuzz_support.h"
#include "null_window.h"
#include "output/folder_packer.h"
#include "output/zip_writer.h"
#include "platform/platform.h"

namespace velmora::fuzz {
namespace {

GuardedScratch* scratch = nullptr;

void RemoveScratch() {
  delete scratch;
  scratch = nullptr;
}

const std::wstring kSep(1, platform::kSeparator);

std::wstring Component(FuzzedDataProvider& in) {
  static const char kFirst[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_";
  static const char kInner[] = "abcdefghijklmnopqrstuvwxyz0123456789_-.~";
  const size_t length = in.ConsumeIntegralInRange<size_t>(1, 12);
  std::wstring name(
      1, static_cast<wchar_t>(kFirst[in.ConsumeIntegralInRange<size_t>(0, sizeof kFirst - 2)]));
  for (size_t i = 1; i < length; ++i) {
    name.push_back(
        static_cast<wchar_t>(kInner[in.ConsumeIntegralInRange<size_t>(0, sizeof kInner - 2)]));
  }
  if (name.back() == L'.') name.back() = L'x';
  return name;
}

std::string Contents(FuzzedDataProvider& in) {
  switch (in.ConsumeIntegralInRange(0, 3)) {
    case 0:
      return {};
    case 1:
      return in.ConsumeRandomLengthString(8192);
    case 2: {
      // Long runs: a high ratio, and sizes the raw input could not reach.
      const std::string unit = in.ConsumeRandomLengthString(16);
      const size_t repeat = in.ConsumeIntegralInRange<size_t>(1, 20000);
      std::string text;
      for (size_t i = 0; i < repeat; ++i) text += unit.empty() ? std::string(1, 'a') : unit;
      return text;
    }
    default: {
      // The signatures the scanner looks for, inside the data it must step over.
      std::string text = in.ConsumeRandomLengthString(2048);
      const size_t plants = in.ConsumeIntegralInRange<size_t>(1, 8);
      for (size_t i = 0; i < plants; ++i) {
        const size_t at = in.ConsumeIntegralInRange<size_t>(0, text.size());
        text.insert(at, in.ConsumeBool() ? std::string("PK\3\4", 4) : std::string("PK\7\x08", 4));
      }
      return text;
    }
  }
}

// True when one of the two relative paths ("/" separated) is a folder of the other.
bool Nested(const std::wstring& a, const std::wstring& b) {
  const std::wstring& shorter = a.size() < b.size() ? a : b;
  const std::wstring& longer = a.size() < b.size() ? b : a;
  return longer.size() > shorter.size() && longer.compare(0, shorter.size(), shorter) == 0 &&
         longer[shorter.size()] == L'/';
}

std::wstring Native(std::wstring relative) {
  for (wchar_t& c : relative)
    if (c == L'/') c = platform::kSeparator;
  return relative;
}

std::string Narrow(const std::wstring& text) {
  return std::string(text.begin(), text.end());
}

void RunOne(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  const std::wstring source = scratch->Path(L"source");
  if (platform::MakeDirectory(source) != platform::MakeDirResult::kCreated) {
    Fail("cannot make the source folder", source);
  }

  // The tree: relative path ("/" separated) to contents.
  std::map<std::wstring, std::string> tree;
  const int files = in.ConsumeIntegralInRange(1, 12);
  for (int f = 0; f < files && in.remaining_bytes() > 0; ++f) {
    const int depth = in.ConsumeIntegralInRange(1, 3);
    std::wstring relative;
    for (int d = 0; d < depth; ++d) relative += (d == 0 ? L"" : L"/") + Component(in);
    static const wchar_t* const kSuffixes[] = {L"", L".xml", L".png", L".zip", L".GZ", L".Z"};
    relative += kSuffixes[in.ConsumeIntegralInRange<size_t>(0, 5)];
    // Package completion owns these two in a recovered spreadsheet.
    if (relative == L"mimetype" || relative == L"META-INF/manifest.xml") continue;
    bool clash = false;
    for (const auto& [existing, bytes] : tree) clash = clash || Nested(existing, relative);
    if (clash) continue;
    std::string contents = Contents(in);
    std::wstring path = source;
    for (size_t cut = relative.find(L'/'); cut != std::wstring::npos;
         cut = relative.find(L'/', cut + 1)) {
      platform::MakeDirectory(source + kSep + Native(relative.substr(0, cut)));
    }
    path += kSep + Native(relative);
    if (!WriteWholeFile(path, reinterpret_cast<const uint8_t*>(contents.data()), contents.size())) {
      Fail("cannot write a source file", path);
    }
    tree[relative] = std::move(contents);
  }

  const std::wstring package = scratch->Path(L"package.ods");
  const uint32_t packed = FolderPacker().PackFolder(source, package);
  if (packed != kZipOk) Fail("packing failed with code " + std::to_string(packed));

  NullWindow window;
  window.files.push_back({package, kImageAdded, 0});
  JobRunning running{1};
  CompletionLog completion;
  RepairWorker(JobContext{&running, &window, &completion});
  if (!window.repair_completed) Fail("the repair job did not complete");

  const std::wstring file_folder = scratch->work() + kSep + L"package.ods0";
  for (const auto& [relative, contents] : tree) {
    const std::wstring path = file_folder + kSep + Native(relative);
    std::string extracted;
    const bool found = ReadWholeFile(path, &extracted);
    // An empty file is a part of the package like any other (templates hold them): it must
    // come back, empty.
    if (!found) Fail("a packed file did not come back", relative);
    if (extracted != contents) {
      Fail("a packed file came back changed (" + std::to_string(contents.size()) + " bytes in, " +
               std::to_string(extracted.size()) + " out)",
           relative);
    }
  }
  const int64_t package_size = platform::File::OpenRead(package, platform::Sharing::kRead).Size();
  CheckExtracted(file_folder, window.entries, completion.written,
                 package_size > 0 ? uint64_t(package_size) : 0);

  DeleteFolderTree(source);
  platform::RemoveEmptyDirectory(source);
  platform::RemoveFile(package);
  DiscardWorkingFolder(window);
  scratch->Check({L"tmp"});
}

}  // namespace
}  // namespace velmora::fuzz

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  velmora::fuzz::scratch = new velmora::fuzz::GuardedScratch("velmora-fuzz-pack");
  atexit(velmora::fuzz::RemoveScratch);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  velmora::fuzz::RunOne(data, size);
  return 0;
}
