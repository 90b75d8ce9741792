// The manifest of an office package (META-INF/manifest.xml): reading what a recovered one lists
// and writing one that lists what a repaired package holds.
#pragma once

#include <string>
#include <vector>

namespace velmora {

inline constexpr char kManifestNamespace[] = "urn:oasis:names:tc:opendocument:xmlns:manifest:1.0";

// An attribute as written: its qualified name and its value between the quotes, references
// not replaced, so that it is written back exactly.
struct XmlAttribute {
  std::string name;
  std::string value;
};

// One <manifest:file-entry>.
struct ManifestEntry {
  std::vector<XmlAttribute> attributes;  // in the order written
  std::string content;                   // what the element holds (encryption data), as written
  std::string full_path;                 // the full-path attribute, references replaced
  std::string media_type;                // the media-type attribute, references replaced

  // "Configurations2/" and the like name a folder; the package root "/" is not one.
  bool IsFolder() const { return full_path.size() > 1 && full_path.back() == '/'; }
};

struct Manifest {
  // Prefix of the manifest namespace on the elements ("" for the default namespace) and on
  // the attributes (which the default namespace does not reach).
  std::string element_prefix = "manifest";
  std::string attribute_prefix = "manifest";
  std::vector<XmlAttribute> root_attributes;  // of <manifest:manifest>, xmlns declarations included
  std::vector<ManifestEntry> entries;         // in the order written

  // The attribute's qualified name for a local name ("full-path" → "manifest:full-path").
  std::string AttributeName(const std::string& local) const;
};

// Reads a manifest: a whole well-formed document whose root is the manifest element of the
// manifest namespace. Entries without a full path are left out. False when it is none.
bool ParseManifest(const std::string& xml, Manifest* manifest);

// A manifest with nothing in it but the namespace declaration and, when `version` is not
// empty, the manifest version (which must be the document's own: a reader refuses a package
// whose manifest claims another).
Manifest NewManifest(const std::string& version);

// An entry for `full_path` with `media_type`; with `version` when it is not empty (for "/").
ManifestEntry NewManifestEntry(const Manifest& manifest, const std::string& full_path,
                               const std::string& media_type, const std::string& version = "");

// Sets the entry's media type, keeping its other attributes and their order.
void SetMediaType(const Manifest& manifest, const std::string& media_type, ManifestEntry* entry);

// The manifest as UTF-8 XML, laid out as office programs write it: the declaration, the root
// element, one line per entry.
std::string WriteManifest(const Manifest& manifest);

// The ODF version ("1.3") that an XML part's root element declares in its office:version
// attribute, from the first bytes of the part (the root's start tag must be among them);
// empty when there is none, or it is not a plain version number.
std::string OfficeVersionOf(const std::string& beginning);

}  // namespace velmora
