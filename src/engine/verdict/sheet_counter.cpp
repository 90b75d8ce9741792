#include "engine/verdict/sheet_counter.h"

#include <algorithm>
#include <set>
#include <string_view>

#include "platform/platform.h"
#include "platform/utf8.h"

namespace velmora {
namespace {

constexpr size_t kMaxName = 256;         // an element or attribute name longer than this is
                                         // no name this reader looks for
constexpr size_t kMaxValue = 4096;       // values kept: sheet names, counts, references
constexpr size_t kMaxDepth = 1 << 20;    // open elements followed; deeper ones are not looked at
constexpr size_t kMaxReferences = 4096;  // distinct references kept
constexpr size_t kMaxAttributes = 256;   // attributes of one tag looked at
constexpr uint64_t kMaxCount = UINT64_MAX / 2;

bool IsSpace(uint8_t c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

enum class Ns : uint8_t { kOther, kOffice, kTable, kText, kDraw, kStyle, kXlink };

Ns NsOfUri(std::string_view uri) {
  if (uri == "urn:oasis:names:tc:opendocument:xmlns:office:1.0") return Ns::kOffice;
  if (uri == "urn:oasis:names:tc:opendocument:xmlns:table:1.0") return Ns::kTable;
  if (uri == "urn:oasis:names:tc:opendocument:xmlns:text:1.0") return Ns::kText;
  if (uri == "urn:oasis:names:tc:opendocument:xmlns:drawing:1.0") return Ns::kDraw;
  if (uri == "urn:oasis:names:tc:opendocument:xmlns:style:1.0") return Ns::kStyle;
  if (uri == "http://www.w3.org/1999/xlink") return Ns::kXlink;
  return Ns::kOther;
}

// The namespace an undeclared prefix stands for when the writer spelled it as office programs do.
Ns NsOfUsualPrefix(std::string_view prefix) {
  if (prefix == "office") return Ns::kOffice;
  if (prefix == "table") return Ns::kTable;
  if (prefix == "text") return Ns::kText;
  if (prefix == "draw") return Ns::kDraw;
  if (prefix == "style") return Ns::kStyle;
  if (prefix == "xlink") return Ns::kXlink;
  return Ns::kOther;
}

uint64_t SaturatingMul(uint64_t a, uint64_t b) {
  if (a != 0 && b > kMaxCount / a) return kMaxCount;
  return a * b;
}

// A repeat count: digits only, at least 1; anything else counts once, as readers take it.
uint64_t RepeatOf(const std::string& value) {
  if (value.empty()) return 1;
  uint64_t n = 0;
  for (char c : value) {
    if (c < '0' || c > '9') return 1;
    n = std::min<uint64_t>(n * 10 + static_cast<uint64_t>(c - '0'), kMaxCount);
  }
  return n == 0 ? 1 : n;
}

// The five predefined entities and character references of an attribute value.
std::string DecodeValue(const std::string& raw) {
  std::string out;
  for (size_t i = 0; i < raw.size(); ++i) {
    if (raw[i] != '&') {
      out += raw[i];
      continue;
    }
    const size_t end = raw.find(';', i);
    if (end == std::string::npos) {
      out += raw.substr(i);
      break;
    }
    const std::string ref = raw.substr(i + 1, end - i - 1);
    if (ref == "amp") {
      out += '&';
    } else if (ref == "lt") {
      out += '<';
    } else if (ref == "gt") {
      out += '>';
    } else if (ref == "quot") {
      out += '"';
    } else if (ref == "apos") {
      out += '\'';
    } else if (ref.size() > 1 && ref[0] == '#') {
      const bool hex = ref[1] == 'x';
      uint32_t code = 0;
      bool ok = ref.size() > (hex ? 2u : 1u) && ref.size() < 12;
      for (size_t k = hex ? 2 : 1; ok && k < ref.size(); ++k) {
        const char c = ref[k];
        uint32_t digit;
        if (c >= '0' && c <= '9') {
          digit = static_cast<uint32_t>(c - '0');
        } else if (hex && c >= 'a' && c <= 'f') {
          digit = static_cast<uint32_t>(c - 'a' + 10);
        } else if (hex && c >= 'A' && c <= 'F') {
          digit = static_cast<uint32_t>(c - 'A' + 10);
        } else {
          ok = false;
          break;
        }
        code = code * (hex ? 16 : 10) + digit;
      }
      if (ok && code <= 0x10FFFF) {
        platform::AppendUtf8(out, code);
      } else {
        out += raw.substr(i, end - i + 1);
      }
    } else {
      out += raw.substr(i, end - i + 1);
    }
    i = end;
  }
  return out;
}

// A reference to a file inside the package: relative, no scheme, not "../" (outside it).
bool InsidePackage(std::string& name) {
  while (name.compare(0, 2, "./") == 0) name.erase(0, 2);
  if (name.empty() || name[0] == '/' || name[0] == '#' || name.compare(0, 3, "../") == 0)
    return false;
  const size_t colon = name.find(':');
  return colon == std::string::npos || name.find('/') < colon;
}

class PartReader {
 public:
  explicit PartReader(uint64_t cut_at) : cut_at_(cut_at) {}

  void Feed(const uint8_t* data, size_t size) {
    for (size_t i = 0; i < size; ++i) Step(data[i], offset_ + i);
    offset_ += size;
  }

  XmlPartSummary Finish() {
    // A sheet still open at the end was never closed: its data ends where the part does.
    if (sheet_open_) summary_.sheets.back().cut = true;
    summary_.opened = true;
    return std::move(summary_);
  }

 private:
  enum class State : uint8_t {
    kText,
    kLt,
    kStartName,
    kTag,
    kAttrName,
    kAttrEq,
    kAttrValue,
    kEmptyEnd,
    kEndName,
    kBang,
    kComment,
    kCdata,
    kDeclaration,
    kPi,
  };
  // What an open element is to the count.
  enum class Kind : uint8_t { kOther, kSheet, kRow, kCell, kAnnotation };  // kAnnotation: any
  // element whose text is not the cell's

  struct Attribute {
    std::string name;
    std::string value;
    bool keep = false;
  };

  void Step(uint8_t c, uint64_t at) {
    switch (state_) {
      case State::kText:
        if (c == '<') {
          state_ = State::kLt;
          tag_start_ = at;
        } else if (!IsSpace(c)) {
          Content();
        }
        return;
      case State::kLt:
        if (c == '/') {
          name_.clear();
          state_ = State::kEndName;
        } else if (c == '!') {
          run_ = 0;
          bang_.clear();
          state_ = State::kBang;
        } else if (c == '?') {
          run_ = 0;
          state_ = State::kPi;
        } else {
          name_.assign(1, static_cast<char>(c));
          attributes_used_ = 0;
          state_ = State::kStartName;
        }
        return;
      case State::kStartName:
        if (IsSpace(c)) {
          state_ = State::kTag;
        } else if (c == '/') {
          state_ = State::kEmptyEnd;
        } else if (c == '>') {
          StartElement(false);
        } else if (name_.size() < kMaxName) {
          name_ += static_cast<char>(c);
        }
        return;
      case State::kTag:
        if (c == '/') {
          state_ = State::kEmptyEnd;
        } else if (c == '>') {
          StartElement(false);
        } else if (!IsSpace(c)) {
          Attribute& a = NewAttribute();
          a.name.assign(1, static_cast<char>(c));
          state_ = State::kAttrName;
        }
        return;
      case State::kAttrName:
        if (c == '=' || IsSpace(c)) {
          Attribute& a = attributes_[attributes_used_ - 1];
          a.keep = Wanted(a.name);
          state_ = State::kAttrEq;
        } else if (c == '>') {
          StartElement(false);  // not well-formed; taken as the tag's end
        } else if (attributes_[attributes_used_ - 1].name.size() < kMaxName) {
          attributes_[attributes_used_ - 1].name += static_cast<char>(c);
        }
        return;
      case State::kAttrEq:
        if (c == '"' || c == '\'') {
          quote_ = c;
          state_ = State::kAttrValue;
        } else if (c == '>') {
          StartElement(false);
        }
        return;
      case State::kAttrValue: {
        if (c == quote_) {
          state_ = State::kTag;
          return;
        }
        Attribute& a = attributes_[attributes_used_ - 1];
        if (a.keep && a.value.size() < kMaxValue) a.value += static_cast<char>(c);
        return;
      }
      case State::kEmptyEnd:
        if (c == '>') {
          StartElement(true);
        } else if (!IsSpace(c)) {
          state_ = State::kTag;
        }
        return;
      case State::kEndName:
        if (c == '>') {
          EndElement(tag_start_);
        } else if (!IsSpace(c) && name_.size() < kMaxName) {
          name_ += static_cast<char>(c);
        }
        return;
      case State::kBang:
        // "<!--", "<![CDATA[" or a declaration ("<!DOCTYPE ...>").
        bang_ += static_cast<char>(c);
        if (bang_ == "--") {
          run_ = 0;
          state_ = State::kComment;
        } else if (bang_ == "[CDATA[") {
          run_ = 0;
          state_ = State::kCdata;
        } else if (std::string_view("[CDATA[").substr(0, bang_.size()) != bang_ &&
                   std::string_view("--").substr(0, std::min<size_t>(bang_.size(), 2)) != bang_) {
          depth_in_declaration_ = c == '[' ? 1 : 0;
          state_ = c == '>' ? State::kText : State::kDeclaration;
        }
        return;
      case State::kComment:
        if (c == '-') {
          ++run_;
        } else {
          if (c == '>' && run_ >= 2) state_ = State::kText;
          run_ = 0;
        }
        return;
      case State::kCdata:
        if (c == ']') {
          ++run_;
          return;
        }
        if (c == '>' && run_ >= 2) {
          state_ = State::kText;
        } else {
          if (run_ > 0 || !IsSpace(c)) Content();
        }
        run_ = 0;
        return;
      case State::kDeclaration:
        if (c == '[') ++depth_in_declaration_;
        if (c == ']' && depth_in_declaration_ > 0) --depth_in_declaration_;
        if (c == '>' && depth_in_declaration_ == 0) state_ = State::kText;
        return;
      case State::kPi:
        if (c == '>' && run_ == 1) state_ = State::kText;
        run_ = c == '?' ? 1 : 0;
        return;
    }
  }

  Attribute& NewAttribute() {
    // A tag with more attributes than any office document writes: the further ones share the
    // last slot, so that memory does not grow with them.
    if (attributes_used_ == kMaxAttributes) --attributes_used_;
    if (attributes_used_ == attributes_.size()) attributes_.emplace_back();
    Attribute& a = attributes_[attributes_used_++];
    a.name.clear();
    a.value.clear();
    a.keep = false;
    return a;
  }

  static std::string_view LocalOf(std::string_view name) {
    const size_t colon = name.find(':');
    return colon == std::string_view::npos ? name : name.substr(colon + 1);
  }
  static std::string_view PrefixOf(std::string_view name) {
    const size_t colon = name.find(':');
    return colon == std::string_view::npos ? std::string_view() : name.substr(0, colon);
  }

  // The attributes whose values the count needs.
  static bool Wanted(const std::string& name) {
    if (name.compare(0, 6, "xmlns:") == 0) return true;
    const std::string_view local = LocalOf(name);
    return local == "name" || local == "number-rows-repeated" ||
           local == "number-columns-repeated" || local == "value-type" || local == "formula" ||
           local == "href";
  }

  Ns NsOf(std::string_view name) const {
    const std::string_view prefix = PrefixOf(name);
    for (size_t i = prefixes_.size(); i-- > 0;) {
      if (prefixes_[i].first == prefix) return prefixes_[i].second;
    }
    return NsOfUsualPrefix(prefix);
  }

  bool Is(std::string_view name, Ns ns, std::string_view local) const {
    return LocalOf(name) == local && NsOf(name) == ns;
  }

  // The value of the attribute `local` in namespace `ns`, or null.
  const std::string* Value(Ns ns, std::string_view local) const {
    for (size_t i = 0; i < attributes_used_; ++i) {
      const Attribute& a = attributes_[i];
      if (a.keep && Is(a.name, ns, local)) return &a.value;
    }
    return nullptr;
  }

  // Character data, or an element that shows as a character, where a cell's text is.
  void Content() {
    if (cell_depth_ > 0 && annotation_depth_ == 0) cell_filled_ = true;
  }

  void StartElement(bool empty) {
    state_ = State::kText;
    // Namespace declarations hold for the whole document here: office documents declare them
    // all on the root element.
    for (size_t i = 0; i < attributes_used_; ++i) {
      const Attribute& a = attributes_[i];
      if (a.keep && a.name.compare(0, 6, "xmlns:") == 0 && prefixes_.size() < 4096)
        prefixes_.emplace_back(a.name.substr(6), NsOfUri(DecodeValue(a.value)));
    }
    Kind kind = Kind::kOther;
    if (Is(name_, Ns::kTable, "table") && !sheet_open_) {
      kind = Kind::kSheet;
      SheetCount sheet;
      if (const std::string* name = Value(Ns::kTable, "name"))
        sheet.name = WideFromUtf8(DecodeValue(*name));
      summary_.sheets.push_back(std::move(sheet));
      sheet_open_ = true;
    } else if (sheet_open_ && cell_depth_ == 0 && !row_open_ &&
               Is(name_, Ns::kTable, "table-row")) {
      kind = Kind::kRow;
      const std::string* repeat = Value(Ns::kTable, "number-rows-repeated");
      row_repeat_ = repeat != nullptr ? RepeatOf(*repeat) : 1;
      row_cells_ = 0;
      row_open_ = true;
    } else if (row_open_ && cell_depth_ == 0 &&
               (Is(name_, Ns::kTable, "table-cell") ||
                Is(name_, Ns::kTable, "covered-table-cell"))) {
      kind = Kind::kCell;
      const std::string* repeat = Value(Ns::kTable, "number-columns-repeated");
      cell_repeat_ = repeat != nullptr ? RepeatOf(*repeat) : 1;
      // A value other than text shows whatever the cell's paragraphs say; a text value shows
      // only when there is text (a cell that holds just a picture is typed "string" but blank).
      const std::string* type = Value(Ns::kOffice, "value-type");
      cell_filled_ = (type != nullptr && *type != "string" && !type->empty()) ||
                     Value(Ns::kTable, "formula") != nullptr;
      cell_depth_ = 1;
    } else if (cell_depth_ > 0 &&
               (Is(name_, Ns::kOffice, "annotation") || NsOf(name_) == Ns::kDraw)) {
      // A comment's text, or a shape's or picture's anchored in the cell, is not the cell's.
      kind = Kind::kAnnotation;
      ++annotation_depth_;
    } else if (cell_depth_ > 0 && (Is(name_, Ns::kText, "s") || Is(name_, Ns::kText, "tab"))) {
      Content();
    }
    if (cell_depth_ > 0 && kind != Kind::kCell) ++cell_depth_;
    Reference();
    if (empty) {
      Close(kind, tag_start_);
    } else if (kinds_.size() < kMaxDepth) {
      kinds_.push_back(kind);
    } else {
      ++untracked_;
    }
  }

  // A file the element refers to: pictures (draw:image, draw:fill-image, ...), background
  // images and embedded objects.
  void Reference() {
    const Ns ns = NsOf(name_);
    if (ns != Ns::kDraw && !Is(name_, Ns::kStyle, "background-image")) return;
    const std::string* href = Value(Ns::kXlink, "href");
    if (href == nullptr) return;
    std::string name = DecodeValue(*href);
    if (!InsidePackage(name)) return;
    while (!name.empty() && name.back() == '/') name.pop_back();
    if (name.empty()) return;
    const bool object = Is(name_, Ns::kDraw, "object");
    if (summary_.references.size() >= kMaxReferences || !seen_references_.insert(name).second)
      return;
    summary_.references.push_back({name, object});
  }

  void EndElement(uint64_t at) {
    state_ = State::kText;
    if (untracked_ > 0) {
      --untracked_;
      return;
    }
    if (kinds_.empty()) return;
    const Kind kind = kinds_.back();
    kinds_.pop_back();
    Close(kind, at);
  }

  void Close(Kind kind, uint64_t at) {
    if (cell_depth_ > 0 && kind != Kind::kCell) --cell_depth_;
    switch (kind) {
      case Kind::kOther:
        return;
      case Kind::kAnnotation:
        --annotation_depth_;
        return;
      case Kind::kCell:
        cell_depth_ = 0;
        if (cell_filled_) row_cells_ = std::min(row_cells_ + cell_repeat_, kMaxCount);
        return;
      case Kind::kRow: {
        row_open_ = false;
        if (row_cells_ == 0) return;
        SheetCount& sheet = summary_.sheets.back();
        sheet.rows = std::min(sheet.rows + row_repeat_, kMaxCount);
        sheet.cells = std::min(sheet.cells + SaturatingMul(row_cells_, row_repeat_), kMaxCount);
        return;
      }
      case Kind::kSheet:
        sheet_open_ = false;
        row_open_ = false;
        summary_.sheets.back().cut = at >= cut_at_;
        return;
    }
  }

  const uint64_t cut_at_;
  uint64_t offset_ = 0;
  State state_ = State::kText;
  uint64_t tag_start_ = 0;
  std::string name_;
  std::vector<Attribute> attributes_;
  size_t attributes_used_ = 0;
  uint8_t quote_ = 0;
  int run_ = 0;
  std::string bang_;
  int depth_in_declaration_ = 0;
  std::vector<std::pair<std::string, Ns>> prefixes_;
  std::vector<Kind> kinds_;
  size_t untracked_ = 0;

  bool sheet_open_ = false;
  bool row_open_ = false;
  uint64_t row_repeat_ = 1;
  uint64_t row_cells_ = 0;
  size_t cell_depth_ = 0;  // elements open from the cell down, the cell included
  uint64_t cell_repeat_ = 1;
  bool cell_filled_ = false;
  size_t annotation_depth_ = 0;
  XmlPartSummary summary_;
  std::set<std::string> seen_references_;
};

}  // namespace

XmlPartSummary ReadXmlPart(const std::wstring& path, uint64_t cut_at) {
  platform::File file = platform::File::OpenRead(path, platform::Sharing::kRead);
  if (!file.IsOpen()) return {};
  PartReader reader(cut_at);
  std::vector<uint8_t> buffer(1 << 16);
  for (;;) {
    const int64_t got = file.Read(buffer.data(), buffer.size());
    if (got < 0) return {};
    if (got == 0) break;
    reader.Feed(buffer.data(), static_cast<size_t>(got));
  }
  return reader.Finish();
}

XmlPartSummary ReadXmlBytes(const std::string& bytes, uint64_t cut_at, size_t piece) {
  PartReader reader(cut_at);
  const auto* data = reinterpret_cast<const uint8_t*>(bytes.data());
  for (size_t i = 0; i < bytes.size(); i += piece)
    reader.Feed(data + i, std::min(piece, bytes.size() - i));
  return reader.Finish();
}

std::wstring WideFromUtf8(const std::string& text) {
  std::wstring out;
  for (size_t i = 0; i < text.size();) {
    const auto b = static_cast<uint8_t>(text[i]);
    int length = b < 0x80             ? 1
                 : (b & 0xE0) == 0xC0 ? 2
                 : (b & 0xF0) == 0xE0 ? 3
                 : (b & 0xF8) == 0xF0 ? 4
                                      : 0;
    uint32_t code = length == 1 ? b : length == 2 ? b & 0x1F : length == 3 ? b & 0x0F : b & 0x07;
    bool ok = length > 0 && i + static_cast<size_t>(length) <= text.size();
    for (int k = 1; ok && k < length; ++k) {
      const auto next = static_cast<uint8_t>(text[i + static_cast<size_t>(k)]);
      if ((next & 0xC0) != 0x80) ok = false;
      code = (code << 6) | (next & 0x3F);
    }
    static constexpr uint32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
    if (ok && (code < kLeast[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)))
      ok = false;
    if (!ok) {
      out += static_cast<wchar_t>(0xFFFD);
      ++i;
      continue;
    }
    i += static_cast<size_t>(length);
    if (sizeof(wchar_t) == 2 && code >= 0x10000) {
      code -= 0x10000;
      out += static_cast<wchar_t>(0xD800 + (code >> 10));
      out += static_cast<wchar_t>(0xDC00 + (code & 0x3FF));
    } else {
      out += static_cast<wchar_t>(code);
    }
  }
  return out;
}

}  // namespace velmora
