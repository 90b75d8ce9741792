// What a recovered content.xml (or styles.xml) holds of the user's data, read as a stream: the
// sheets with their non-empty rows and cells, and the package files the document refers to.
// Memory stays bounded whatever the part's size: the reader keeps the open element's context
// and a few attribute values, never the text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace velmora {

struct SheetCount {
  std::wstring name;  // table:name
  // Rows that hold at least one non-empty cell, repeated rows counted as often as a spreadsheet
  // program shows them; a repeated row of empty cells counts 0.
  uint64_t rows = 0;
  uint64_t cells = 0;  // non-empty cells, repeats counted likewise
  // The sheet's end tag lies at or after the point where a salvaged part was cut: the closing
  // tag was written by the salvage, not by the document's writer.
  bool cut = false;
  bool operator==(const SheetCount&) const = default;
};

// A file the document refers to (xlink:href), as a package name ("Pictures/1.png").
struct PartReference {
  std::string name;
  bool object = false;  // an embedded object (draw:object): a folder with its own content.xml
  bool operator==(const PartReference&) const = default;
};

struct XmlPartSummary {
  bool opened = false;  // the file could be read
  std::vector<SheetCount> sheets;
  std::vector<PartReference> references;  // relative ones, each once, in document order
};

// Reads the document at `path`. `cut_at` is the length of the sound prefix of a salvaged part
// (EntryOutcome::salvaged_bytes), or UINT64_MAX for a part written whole: a sheet whose end tag
// starts at or after it ends at the damage.
XmlPartSummary ReadXmlPart(const std::wstring& path, uint64_t cut_at = UINT64_MAX);

// The same over bytes held in memory, fed in pieces of `piece` bytes (for tests of pieces that
// split names and values).
XmlPartSummary ReadXmlBytes(const std::string& bytes, uint64_t cut_at = UINT64_MAX,
                            size_t piece = 65536);

// UTF-8 as a wide string; a broken sequence becomes U+FFFD.
std::wstring WideFromUtf8(const std::string& text);

}  // namespace velmora
