#include "engine/package/package_completion.h"

#include <algorithm>
#include <set>

#include "engine/extract/entry_path.h"
#include "engine/package/manifest.h"
#include "engine/package/media_types.h"
#include "platform/codepage.h"
#include "platform/platform.h"
#include "platform/utf8.h"

namespace velmora {

namespace {

constexpr char kManifestPath[] = "META-INF/manifest.xml";
constexpr char kMetaFolder[] = "META-INF/";
// A manifest larger than this is not read (one that lists ten thousand pictures is about a
// megabyte); it is written anew instead.
constexpr size_t kMaxManifestSize = 16u << 20;
// The root element's start tag, where a part says its version, lies within this many bytes.
constexpr size_t kVersionProbeSize = 64u << 10;
// References to pictures are looked for in chunks of this size; a longer reference is none
// that a placeholder could stand in for; more missing pictures than this are not made.
constexpr size_t kReadChunk = 256u << 10;
constexpr size_t kMaxReference = 1024;
constexpr size_t kKeep = kMaxReference + 16;
constexpr size_t kMaxPlaceholders = 65536;

struct PackageFile {
  std::string package_path;  // the name the package will give it, UTF-8, "/" between folders
  bool listable = false;     // the name can be written into the manifest
};

// The name the folder packer gives a file (its path below the folder in the 8-bit code page,
// "/" between folders), as the manifest must spell it: UTF-8, which it normally already is;
// bytes that are not UTF-8 are taken one byte to one character. False when the name holds a
// control character, which XML cannot carry.
bool ManifestName(const std::wstring& relative, std::string* name) {
  std::string bytes;
  if (!platform::ToAnsiCodePage(relative, &bytes)) return false;
  std::replace(bytes.begin(), bytes.end(), '\\', '/');
  std::string out;
  for (size_t i = 0; i < bytes.size();) {
    const auto b = static_cast<uint8_t>(bytes[i]);
    if (b < 0x20 || b == 0x7F) return false;
    size_t length = b < 0x80             ? 1
                    : (b & 0xE0) == 0xC0 ? 2
                    : (b & 0xF0) == 0xE0 ? 3
                    : (b & 0xF8) == 0xF0 ? 4
                                         : 0;
    bool valid = length != 0 && i + length <= bytes.size();
    for (size_t k = 1; valid && k < length; ++k) {
      valid = (static_cast<uint8_t>(bytes[i + k]) & 0xC0) == 0x80;
    }
    if (valid) {
      out.append(bytes, i, length);
      i += length;
    } else {
      platform::AppendUtf8(out, b);
      ++i;
    }
  }
  *name = std::move(out);
  return true;
}

void Walk(const std::wstring& folder, const std::wstring& relative,
          std::vector<PackageFile>* files) {
  platform::ListDirectory(folder, [&](const platform::DirItem& item) {
    const std::wstring path = platform::JoinPath(folder, item.name);
    const std::wstring name =
        relative.empty() ? item.name : platform::JoinPath(relative, item.name);
    if (item.is_directory) {
      Walk(path, name, files);
    } else {
      PackageFile file;
      file.listable = ManifestName(name, &file.package_path);
      files->push_back(std::move(file));
    }
    return true;
  });
}

// Reads up to `limit` bytes; false when the file cannot be read or is longer.
bool ReadSmallFile(const std::wstring& path, size_t limit, std::string* content) {
  platform::File file = platform::File::OpenRead(path, platform::Sharing::kRead);
  if (!file.IsOpen()) return false;
  const int64_t size = file.Size();
  if (size < 0 || static_cast<uint64_t>(size) > limit) return false;
  // One byte more than the size said, to see a file that grew meanwhile.
  std::string bytes(static_cast<size_t>(size) + 1, '\0');
  const int64_t got = file.Read(bytes.data(), bytes.size());
  if (got < 0 || static_cast<uint64_t>(got) > limit) return false;
  bytes.resize(static_cast<size_t>(got));
  *content = std::move(bytes);
  return true;
}

bool WriteWholeFile(const std::wstring& path, const std::string& content) {
  platform::File file = platform::File::Create(path);
  return file.IsOpen() && file.Write(content.data(), content.size());
}

bool IsMetaFile(const std::string& package_path) {
  return package_path.compare(0, sizeof kMetaFolder - 1, kMetaFolder) == 0;
}

// A reference that may be stood in for by an empty picture: a plain relative path inside the
// package (ASCII, as office programs name their pictures; no scheme, no "..", nothing the
// file folder would spell otherwise) to a file whose extension says picture.
bool IsPlaceholderName(const std::string& path) {
  if (path.empty() || path.size() > kMaxReference || path.front() == '/' || path.back() == '/' ||
      path.find("//") != std::string::npos) {
    return false;
  }
  for (const char ch : path) {
    const auto c = static_cast<uint8_t>(ch);
    if (c <= 0x20 || c >= 0x7F || c == ':' || c == '\\' || c == '&' || c == '#' || c == '?' ||
        c == '%') {
      return false;
    }
  }
  std::wstring name(path.begin(), path.end());
  std::wstring safe = SafeEntryPath(name, kWindowsNameRules);
  std::replace(safe.begin(), safe.end(), L'\\', L'/');
  if (safe != name) return false;  // "..", "." or a device name
  return MediaTypeForPart(path).compare(0, 6, "image/") == 0;
}

// The ODF version the document's own parts declare, for a manifest written anew.
std::string DocumentVersion(const std::wstring& root) {
  for (const wchar_t* part : {L"content.xml", L"styles.xml", L"meta.xml", L"settings.xml"}) {
    platform::File file =
        platform::File::OpenRead(platform::JoinPath(root, part), platform::Sharing::kRead);
    if (!file.IsOpen()) continue;
    std::string beginning(kVersionProbeSize, '\0');
    const int64_t got = file.Read(beginning.data(), beginning.size());
    if (got <= 0) continue;
    beginning.resize(static_cast<size_t>(got));
    const std::string version = OfficeVersionOf(beginning);
    if (!version.empty()) return version;
  }
  return "";
}

// The version a recovered manifest claims, for a root entry it lacks.
std::string ManifestVersion(const Manifest& manifest) {
  for (const XmlAttribute& attribute : manifest.root_attributes) {
    if (attribute.name == manifest.AttributeName("version")) return attribute.value;
  }
  return "";
}

// The pictures that the document's XML refers to (xlink:href="Pictures/....png") but the
// tree lacks. A reader refuses the whole package when one is missing, even with every sheet
// there. The parts are read in chunks, never whole.
std::set<std::string> MissingPictures(const std::wstring& root,
                                      const std::set<std::string>& on_disk) {
  static const std::string kHref = "xlink:href=";
  std::set<std::string> missing;
  std::vector<uint8_t> chunk(kReadChunk);
  for (const wchar_t* part : {L"content.xml", L"styles.xml"}) {
    platform::File file =
        platform::File::OpenRead(platform::JoinPath(root, part), platform::Sharing::kRead);
    if (!file.IsOpen()) continue;
    std::string window;  // the unread rest of the last chunk, then the next chunk
    for (;;) {
      const int64_t got = file.Read(chunk.data(), chunk.size());
      if (got <= 0) break;
      window.append(reinterpret_cast<const char*>(chunk.data()), static_cast<size_t>(got));
      // The tail could hold the start of a reference cut by the chunk's end: kept for the
      // next round (a reference found twice is simply found again).
      size_t keep_from = window.size() > kKeep ? window.size() - kKeep : 0;
      for (size_t at = window.find(kHref); at != std::string::npos; at = window.find(kHref, at)) {
        const size_t open = at + kHref.size();
        if (open >= window.size()) break;
        const char quote = window[open];
        // The closing quote is looked for no further than a picture's path can reach.
        const size_t limit = std::min(window.size(), open + 2 + kMaxReference);
        const size_t close =
            quote == '"' || quote == '\''
                ? static_cast<size_t>(
                      std::find(window.begin() + static_cast<std::ptrdiff_t>(open) + 1,
                                window.begin() + static_cast<std::ptrdiff_t>(limit), quote) -
                      window.begin())
                : limit;
        if (close >= limit || close - open - 1 > kMaxReference) {
          at = open;  // no quoted value, or one too long to be a picture's path
          continue;
        }
        at = close + 1;
        std::string path = window.substr(open + 1, close - open - 1);
        if (path.compare(0, 2, "./") == 0) path.erase(0, 2);
        if (IsPlaceholderName(path) && on_disk.count(path) == 0 &&
            missing.size() < kMaxPlaceholders) {
          missing.insert(path);
        }
      }
      window.erase(0, keep_from);
    }
  }
  return missing;
}

// Writes an empty file at a package path (folders made on the way); the reader shows a
// picture it cannot load instead of refusing the package.
bool WritePlaceholder(const std::wstring& root, const std::string& package_path) {
  // The name is ASCII (IsPlaceholderName), so each byte is its own character.
  std::wstring relative(package_path.begin(), package_path.end());
  std::replace(relative.begin(), relative.end(), L'/', platform::kSeparator);
  const std::wstring path = platform::JoinPath(root, relative);
  const size_t cut = relative.rfind(platform::kSeparator);
  if (cut != std::wstring::npos) {
    platform::MakeDirectories(path.substr(0, root.size() + 1 + cut), nullptr, root.size());
  }
  return !platform::PathExists(path) && WriteWholeFile(path, "");
}

const ManifestEntry* RootEntry(const Manifest& manifest) {
  for (const ManifestEntry& entry : manifest.entries) {
    if (entry.full_path == "/") return &entry;
  }
  return nullptr;
}

// The files a manifest must list: every file but "mimetype" and the files of META-INF, which
// readers neither expect in the manifest nor miss from it.
bool MustBeListed(const std::string& package_path) {
  return package_path != "mimetype" && !IsMetaFile(package_path);
}

// Whether a recovered manifest can stay as it is: it names the package's type as "mimetype"
// does, and lists exactly the files present (folders aside).
bool Agrees(const Manifest& manifest, const std::string& media_type,
            const std::set<std::string>& present) {
  const ManifestEntry* root = RootEntry(manifest);
  if (root == nullptr || root->media_type != media_type) return false;
  std::set<std::string> listed;
  for (const ManifestEntry& entry : manifest.entries) {
    if (entry.full_path != "/" && !entry.IsFolder() && MustBeListed(entry.full_path)) {
      listed.insert(entry.full_path);
    }
  }
  return listed == present;
}

// A manifest for the files present: the recovered one's root element and entries where it has
// them (their media types and other attributes kept), entries of missing files dropped, one
// entry per unlisted file.
Manifest Rebuild(const Manifest* recovered, const std::string& media_type,
                 const std::string& version, const std::set<std::string>& present,
                 const std::set<std::string>& on_disk) {
  Manifest manifest = recovered != nullptr ? *recovered : NewManifest(version);
  manifest.entries.clear();
  std::set<std::string> listed;
  const ManifestEntry* root = recovered != nullptr ? RootEntry(*recovered) : nullptr;
  if (root != nullptr) {
    ManifestEntry entry = *root;
    if (entry.media_type != media_type) SetMediaType(manifest, media_type, &entry);
    manifest.entries.push_back(std::move(entry));
  } else {
    manifest.entries.push_back(NewManifestEntry(manifest, "/", media_type, version));
  }
  listed.insert("/");
  if (recovered != nullptr) {
    for (const ManifestEntry& entry : recovered->entries) {
      if (listed.count(entry.full_path) != 0) continue;  // the root, or a second entry
      // Folder entries name no file that could be missing; readers do not mind them.
      const bool keep = entry.IsFolder() || entry.full_path == "mimetype" ||
                        entry.full_path == kManifestPath || on_disk.count(entry.full_path) != 0;
      if (!keep) continue;
      listed.insert(entry.full_path);
      manifest.entries.push_back(entry);
    }
  }
  for (const std::string& path : present) {
    if (listed.count(path) != 0) continue;
    manifest.entries.push_back(NewManifestEntry(manifest, path, MediaTypeForPart(path)));
  }
  return manifest;
}

}  // namespace

std::vector<std::wstring> CompletePackage(const std::wstring& folder) {
  std::wstring root = folder;
  while (root.size() > 1 && root.back() == platform::kSeparator) root.pop_back();
  std::vector<PackageFile> files;
  Walk(root, L"", &files);
  std::set<std::string> on_disk;  // every file the package will hold, by its package name
  std::set<std::string> present;  // those the manifest must list
  for (const PackageFile& file : files) {
    if (!file.listable) continue;
    on_disk.insert(file.package_path);
    if (MustBeListed(file.package_path)) present.insert(file.package_path);
  }
  // Without its content or styles there is no document to open, and nothing to complete.
  if (on_disk.count("content.xml") == 0 && on_disk.count("styles.xml") == 0) return {};

  std::vector<std::wstring> written;
  const std::wstring manifest_folder = platform::JoinPath(root, L"META-INF");
  const std::wstring manifest_path = platform::JoinPath(manifest_folder, L"manifest.xml");
  Manifest recovered;
  std::string xml;
  const bool parsed =
      ReadSmallFile(manifest_path, kMaxManifestSize, &xml) && ParseManifest(xml, &recovered);

  // "mimetype": kept when it holds a media type; otherwise the type the recovered manifest
  // gives the package, or the spreadsheet type.
  const std::wstring mimetype_path = platform::JoinPath(root, L"mimetype");
  std::string media_type;
  if (!ReadSmallFile(mimetype_path, 255, &media_type) || !IsPlausibleMediaType(media_type)) {
    const ManifestEntry* entry = parsed ? RootEntry(recovered) : nullptr;
    media_type = entry != nullptr && IsPlausibleMediaType(entry->media_type)
                     ? entry->media_type
                     : std::string(kSpreadsheetMediaType);
    if (WriteWholeFile(mimetype_path, media_type)) written.push_back(L"mimetype");
  }

  if (parsed && Agrees(recovered, media_type, present)) return written;

  // The package is not whole: pictures its document needs but lost get empty stand-ins.
  for (const std::string& path : MissingPictures(root, on_disk)) {
    if (!WritePlaceholder(root, path)) continue;
    on_disk.insert(path);
    present.insert(path);
    written.push_back(std::wstring(path.begin(), path.end()));
  }
  if (parsed && Agrees(recovered, media_type, present)) return written;
  const Manifest manifest =
      Rebuild(parsed ? &recovered : nullptr, media_type,
              parsed ? ManifestVersion(recovered) : DocumentVersion(root), present, on_disk);
  platform::MakeDirectory(manifest_folder);
  if (WriteWholeFile(manifest_path, WriteManifest(manifest))) {
    written.push_back(L"META-INF/manifest.xml");
  }
  return written;
}

}  // namespace velmora
