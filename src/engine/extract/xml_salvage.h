// Salvage of a damaged XML part of a package: how much of it is sound, and how to close it.
//
// An office document keeps its sheets, styles, metadata and settings in four XML parts at the
// package root. When one of them is damaged (its stream breaks off, or decodes to garbage that
// only the CRC-32 notices), what was decoded before the damage is usually a good prefix of the
// document. XmlTracker follows the bytes as they are written, without holding them, and knows
// the last point at which the prefix can be cut and closed into a well-formed document.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace velmora {

// True for the parts worth salvaging: content.xml, styles.xml, meta.xml and settings.xml at the
// package root. `entry_name` is a recovered entry's name ("\" or "/" between folders).
bool IsSalvageableXmlPart(const std::wstring& entry_name);

// A streaming well-formedness check of one XML document (UTF-8), fed in pieces of any size.
// It keeps the qualified names of the open elements and nothing else of the text, so its memory
// does not grow with the document (a few kilobytes for an office document; a document that
// opens absurdly many elements counts as damaged).
//
// The first byte at which the document stops being well-formed is the damage: a NUL or other
// control byte, invalid UTF-8 or a character XML does not allow, broken markup, an end tag that
// does not close the open element, an unknown entity, a name whose namespace prefix is not
// bound, text outside the root element. From then on the tracker looks at nothing more.
//
// The cut is the end of the last complete element before the damage (an end tag or an empty
// element tag), or, before any element has ended, the end of the root element's start tag.
// Every element open at the cut is still open where the tracker stands, so closing them in
// reverse order after the cut gives a well-formed document that keeps every element that was
// whole. Whatever follows the cut (the rest of a row cut in the middle, the garbage) is dropped.
//
// A spreadsheet cell (table:table-cell, table:covered-table-cell) is kept whole or not at all:
// no cut falls inside one, so a cell the damage cut in the middle is dropped with everything
// in it rather than kept with the part of its text that survived ("Tür-Dä" of "Tür-Dämmung", a
// value the document never held). Its row keeps the whole cells before it.
class XmlTracker {
 public:
  XmlTracker();

  // Follows the next `size` bytes of the document.
  void Feed(const uint8_t* data, size_t size);

  // Bytes fed so far.
  uint64_t size() const { return offset_; }
  bool damaged() const { return damaged_; }
  // Offset of the byte found to break the document (valid when damaged()).
  uint64_t damage_offset() const { return damage_offset_; }

  // Whether the bytes fed so far are one whole well-formed document: the root element was
  // closed, nothing was damaged, and nothing but white space, comments and processing
  // instructions follows it.
  bool IsWholeDocument() const;

  // Whether there is a cut worth keeping: the root element's start tag was complete before the
  // damage. A document damaged in its prolog or its root start tag has none.
  bool HasCut() const { return has_cut_; }
  // Length of the sound prefix to keep (valid when HasCut()).
  uint64_t cut() const { return cut_; }
  // The end tags that close the elements open at the cut, innermost first, with their exact
  // qualified names ("</table:table></office:body>..."); empty when the root was closed.
  std::string ClosingTags() const;

 private:
  enum class State : uint8_t;

  void Step(uint32_t c);
  void Damage();
  bool IsCharAllowed(uint32_t c) const;
  void BeginName();
  bool AddNameChar(uint32_t c, bool first);
  bool EndName();
  void PushPendingElement();
  void PopElement();
  void MarkCut();
  bool AttributeSeen();
  bool IsDeclared(std::string_view prefix) const;
  bool OpenNamespaceScope();
  void CloseNamespaceScope();
  bool EndReference();

  State state_;
  uint64_t offset_ = 0;  // bytes fed so far
  uint64_t at_ = 0;      // offset of the byte being looked at
  bool damaged_ = false;
  uint64_t damage_offset_ = 0;

  // UTF-8 decoding across pieces.
  uint32_t code_ = 0;
  uint32_t min_code_ = 0;
  int continuation_ = 0;

  // Open elements: their names one after another in names_, names_[starts_[i], starts_[i+1])
  // for element i (the last one ends at top_end_). A start tag being read appends its name
  // after top_end_ until it is pushed or dropped.
  std::string names_;
  std::vector<uint32_t> starts_;
  size_t top_end_ = 0;
  size_t end_match_ = 0;  // characters of the open element's name an end tag has matched

  // Namespace prefixes bound by the open elements, innermost last, and how many each element
  // bound.
  std::vector<std::string> prefixes_;
  std::vector<uint32_t> scopes_;

  // The name being read: its length, whether it has its colon, and whether that colon was its
  // last character.
  size_t name_length_ = 0;
  bool name_has_colon_ = false;
  bool after_colon_ = false;
  bool name_bad_ = false;
  std::string attribute_;                // the attribute name being read
  std::vector<std::string> attributes_;  // names of the start tag's attributes so far
  size_t attribute_count_ = 0;
  uint32_t quote_ = 0;
  bool value_empty_ = false;  // nothing yet between the attribute value's quotes
  int run_ = 0;               // dashes in a comment, "]" in text or CDATA, keyword letters matched
  std::string reference_;     // an entity or character reference being read
  std::string declaration_;   // the body of the XML declaration being read
  bool in_attribute_value_ = false;
  bool root_seen_ = false;
  bool root_closed_ = false;
  bool doctype_seen_ = false;
  int doctype_depth_ = 0;  // "[" nesting of an internal subset
  uint32_t doctype_quote_ = 0;
  bool seen_anything_ = false;    // a character other than a byte-order mark came
  bool markup_at_start_ = false;  // the markup being read opened the document

  bool has_cut_ = false;
  uint64_t cut_ = 0;
  size_t cut_depth_ = 0;
  // Depth (open elements, itself included) of the outermost open cell, 0 when none is open:
  // the cut stays where it was when the cell began until the cell ends.
  size_t cell_depth_ = 0;
};

}  // namespace velmora
