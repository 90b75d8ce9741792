#include "engine/package_completion.h"

#include <algorithm>
#include <set>

#include "engine/manifest.h"
#include "engine/media_types.h"
#include "platform/codepage.h"
#include "platform/platform.h"

namespace velmora {

namespace {

constexpr char kManifestPath[] = "META-INF/manifest.xml";
constexpr char kMetaFolder[] = "META-INF/";
// A manifest larger than this is not read (one that lists ten thousand pictures is about a
// megabyte); it is written anew instead.
constexpr size_t kMaxManifestSize = 16u << 20;
// The root element's start tag, where a part says its version, lies within this many bytes.
constexpr size_t kVersionProbeSize = 64u << 10;

struct PackageFile {
  std::wstring path;         // full path on disk
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
      out.push_back(static_cast<char>(0xC0 | (b >> 6)));
      out.push_back(static_cast<char>(0x80 | (b & 0x3F)));
      ++i;
    }
  }
  *name = std::move(out);
  return true;
}

void Walk(const std::wstring& folder, const std::wstring& relative,
          std::vector<PackageFile>* files) {
  platform::ListDirectory(folder, [&](const platform::DirItem& item) {
    const std::wstring path = folder + platform::kSeparator + item.name;
    const std::wstring name =
        relative.empty() ? item.name : relative + platform::kSeparator + item.name;
    if (item.is_directory) {
      Walk(path, name, files);
    } else {
      PackageFile file;
      file.path = path;
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
  std::string bytes(limit + 1, '\0');
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

// The ODF version the document's own parts declare, for a manifest written anew.
std::string DocumentVersion(const std::wstring& root) {
  for (const wchar_t* part : {L"content.xml", L"styles.xml", L"meta.xml", L"settings.xml"}) {
    platform::File file =
        platform::File::OpenRead(root + platform::kSeparator + part, platform::Sharing::kRead);
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
  const std::wstring manifest_folder = root + platform::kSeparator + L"META-INF";
  const std::wstring manifest_path = manifest_folder + platform::kSeparator + L"manifest.xml";
  Manifest recovered;
  std::string xml;
  const bool parsed =
      ReadSmallFile(manifest_path, kMaxManifestSize, &xml) && ParseManifest(xml, &recovered);

  // "mimetype": kept when it holds a media type; otherwise the type the recovered manifest
  // gives the package, or the spreadsheet type.
  const std::wstring mimetype_path = root + platform::kSeparator + L"mimetype";
  std::string media_type;
  if (!ReadSmallFile(mimetype_path, 255, &media_type) || !IsPlausibleMediaType(media_type)) {
    const ManifestEntry* entry = parsed ? RootEntry(recovered) : nullptr;
    media_type = entry != nullptr && IsPlausibleMediaType(entry->media_type)
                     ? entry->media_type
                     : std::string(kSpreadsheetMediaType);
    if (WriteWholeFile(mimetype_path, media_type)) written.push_back(L"mimetype");
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
