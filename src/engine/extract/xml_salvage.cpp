#include "engine/extract/xml_salvage.h"

#include <algorithm>

#include "engine/extract/entry_path.h"
#include "platform/ascii_case.h"
#include "platform/utf8.h"

namespace velmora {

namespace {

// Beyond these the document counts as damaged: no office document opens 65536 elements deep or
// carries a megabyte of element names on its open path, but a stream of garbage might.
constexpr size_t kMaxDepth = 1 << 16;
constexpr size_t kMaxNameBytes = 1 << 20;
constexpr size_t kMaxAttributeName = 1 << 16;
constexpr size_t kMaxAttributes = 1024;
constexpr size_t kMaxReference = 32;
constexpr size_t kMaxDeclaration = 512;

bool IsSpace(uint32_t c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

bool IsAsciiLetter(uint32_t c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool IsDigit(uint32_t c) {
  return c >= '0' && c <= '9';
}

// Bytes of text content that need no look: printable ASCII other than markup, references and
// the "]" of a "]]>", and the three white-space controls.
bool IsPlainText(uint8_t b) {
  if (b >= 0x20 && b < 0x80) return b != '<' && b != '&' && b != ']' && b != '>';
  return b == '\n' || b == '\t' || b == '\r';
}

bool IsAsciiNameByte(uint8_t b) {
  return (b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z') || (b >= '0' && b <= ':') || b == '_' ||
         b == '-' || b == '.';
}

bool IsPlainValue(uint8_t b, uint32_t quote) {
  if (b >= 0x20 && b < 0x80) return b != '<' && b != '&' && b != quote;
  return b == '\n' || b == '\t' || b == '\r';
}

// The text between "<?xml" and "?>": version, then optionally encoding and standalone, each
// as name="value" (or 'value') after white space.
bool IsDeclarationBody(const std::string& body) {
  size_t i = 0;
  auto space = [&] {
    const size_t from = i;
    while (i < body.size() && IsSpace(static_cast<uint8_t>(body[i]))) ++i;
    return i != from;
  };
  // name Eq quoted-value; the value must satisfy `valid`.
  auto pseudo = [&](const char* name, auto valid) {
    const size_t n = std::char_traits<char>::length(name);
    if (body.compare(i, n, name) != 0) return false;
    i += n;
    space();
    if (i >= body.size() || body[i] != '=') return false;
    ++i;
    space();
    if (i >= body.size() || (body[i] != '"' && body[i] != '\'')) return false;
    const char quote = body[i++];
    const size_t end = body.find(quote, i);
    if (end == std::string::npos || !valid(body.substr(i, end - i))) return false;
    i = end + 1;
    return true;
  };
  auto version = [](const std::string& v) {
    return v.size() > 2 && v.compare(0, 2, "1.") == 0 &&
           std::all_of(v.begin() + 2, v.end(),
                       [](char c) { return IsDigit(static_cast<uint8_t>(c)); });
  };
  // The tracker reads UTF-8 only (as office documents are written); a document that says
  // otherwise, or whose encoding name is garbled, is not one it can vouch for.
  auto encoding = [](const std::string& v) {
    return platform::EqualsIgnoringAsciiCase(v, "utf-8") ||
           platform::EqualsIgnoringAsciiCase(v, "utf8");
  };
  auto standalone = [](const std::string& v) { return v == "yes" || v == "no"; };

  if (!space() || !pseudo("version", version)) return false;
  size_t mark = i;
  if (space() && pseudo("encoding", encoding)) {
    mark = i;
  } else {
    i = mark;
  }
  if (space() && pseudo("standalone", standalone)) {
    mark = i;
  } else {
    i = mark;
  }
  space();
  return i == body.size();
}

// A spreadsheet cell, by the name office documents give it (the table namespace is bound to
// "table" by every writer of them).
bool IsCellName(std::string_view name) {
  return name == "table:table-cell" || name == "table:covered-table-cell";
}

// The prefix of a qualified name, or an empty view when it has none.
std::string_view PrefixOf(std::string_view name) {
  const size_t colon = name.find(':');
  return colon == std::string_view::npos ? std::string_view() : name.substr(0, colon);
}

}  // namespace

bool IsSalvageableXmlPart(const std::wstring& entry_name) {
  // The name as it lands in the file folder: a leading separator or "." does not move a part
  // out of the root.
  const std::wstring path = SafeEntryPath(entry_name, false);
  return path == L"content.xml" || path == L"styles.xml" || path == L"meta.xml" ||
         path == L"settings.xml";
}

enum class XmlTracker::State : uint8_t {
  kText,          // content, or the prolog and epilog around the root element
  kMarkupOpen,    // after "<"
  kStartName,     // the name of a start tag
  kTagBody,       // inside a start tag, where an attribute, "/" or ">" may come
  kAfterValue,    // just after an attribute's closing quote
  kAttrName,      // an attribute's name
  kAttrBeforeEq,  // white space between an attribute's name and "="
  kAttrAfterEq,   // white space between "=" and the opening quote
  kAttrValue,     // inside quotes
  kEmptyEnd,      // after the "/" of an empty element tag
  kEndName,       // the name of an end tag
  kEndSpace,      // white space after an end tag's name
  kBang,          // after "<!"
  kCommentStart,  // after "<!-"
  kComment,       // inside "<!-- ... -->"
  kCdataStart,    // matching "CDATA[" after "<!["
  kCdata,         // inside "<![CDATA[ ... ]]>"
  kDoctypeStart,  // matching "OCTYPE" after "<!D"
  kDoctype,       // inside "<!DOCTYPE ... >"
  kPiTarget,      // the target of "<?target ... ?>"
  kPiBody,        // inside a processing instruction
  kDeclaration,   // inside "<?xml ... ?>"
  kReference,     // after "&", in text or in an attribute value
};

XmlTracker::XmlTracker() : state_(State::kText) {}

void XmlTracker::Damage() {
  if (damaged_) return;
  damaged_ = true;
  damage_offset_ = at_;
}

bool XmlTracker::IsCharAllowed(uint32_t c) const {
  if (c < 0x20) return c == '\t' || c == '\n' || c == '\r';
  return c <= 0xD7FF || (c >= 0xE000 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0x10FFFF);
}

void XmlTracker::BeginName() {
  name_length_ = 0;
  name_has_colon_ = false;
  after_colon_ = false;
  name_bad_ = false;
}

// Checks one character of a qualified name (a prefix, one colon, a local part) and counts it.
// False when it cannot be one. Only ASCII names are taken: the names of office documents are
// all ASCII, and parsers disagree over which other letters a name may hold (the tables of XML
// 1.0 before its fifth edition are narrower), so a non-ASCII name is more likely garbage than
// anything a reader would accept.
inline bool XmlTracker::AddNameChar(uint32_t c, bool first) {
  bool ok;
  if (IsAsciiLetter(c) || c == '_') {
    ok = true;
    after_colon_ = false;
  } else if (IsDigit(c) || c == '-' || c == '.') {
    // Neither the name nor the local part after its colon may start with these.
    ok = !first && !after_colon_;
    after_colon_ = false;
  } else if (c == ':') {
    ok = !first && !name_has_colon_;
    name_has_colon_ = true;
    after_colon_ = true;
  } else {
    ok = false;
  }
  ++name_length_;
  if (!ok) name_bad_ = true;
  return ok;
}

bool XmlTracker::EndName() {
  // A colon must have a local part after it.
  return !name_bad_ && name_length_ != 0 && !after_colon_;
}

void XmlTracker::MarkCut() {
  if (cell_depth_ != 0) return;  // inside a cell: the cut stays before it
  has_cut_ = true;
  cut_ = at_ + 1;
  cut_depth_ = starts_.size();
}

bool XmlTracker::IsDeclared(std::string_view prefix) const {
  if (prefix.empty() || prefix == "xml") return true;
  for (size_t i = prefixes_.size(); i-- > 0;) {
    if (prefixes_[i] == prefix) return true;
  }
  return false;
}

// At the end of a start tag: its "xmlns:p" attributes open a scope in which p is bound, and
// the element's own prefix and those of its attributes must be bound, as a reader that knows
// namespaces requires.
bool XmlTracker::OpenNamespaceScope() {
  uint32_t declared = 0;
  for (size_t i = 0; i < attribute_count_; ++i) {
    const std::string& name = attributes_[i];
    if (name.size() > 6 && name.compare(0, 6, "xmlns:") == 0) {
      prefixes_.push_back(name.substr(6));
      ++declared;
    }
  }
  scopes_.push_back(declared);
  const std::string_view element(names_.data() + top_end_, names_.size() - top_end_);
  const std::string_view prefix = PrefixOf(element);
  if (prefix == "xmlns" || !IsDeclared(prefix)) return false;
  for (size_t i = 0; i < attribute_count_; ++i) {
    const std::string_view attribute_prefix = PrefixOf(attributes_[i]);
    if (attribute_prefix != "xmlns" && !IsDeclared(attribute_prefix)) return false;
  }
  return true;
}

void XmlTracker::CloseNamespaceScope() {
  prefixes_.resize(prefixes_.size() - scopes_.back());
  scopes_.pop_back();
}

void XmlTracker::PushPendingElement() {
  if (starts_.size() >= kMaxDepth) return Damage();
  if (!OpenNamespaceScope()) return Damage();
  starts_.push_back(static_cast<uint32_t>(top_end_));
  if (cell_depth_ == 0 && IsCellName(std::string_view(names_).substr(top_end_)))
    cell_depth_ = starts_.size();
  top_end_ = names_.size();
  state_ = State::kText;
  run_ = 0;
  if (!root_seen_) {
    root_seen_ = true;
    MarkCut();
  }
}

void XmlTracker::PopElement() {
  CloseNamespaceScope();
  names_.resize(starts_.back());
  starts_.pop_back();
  top_end_ = names_.size();
  if (starts_.size() < cell_depth_) cell_depth_ = 0;  // the cell itself ended: whole
  if (starts_.empty()) root_closed_ = true;
  state_ = State::kText;
  run_ = 0;
  MarkCut();
}

bool XmlTracker::AttributeSeen() {
  if (attribute_count_ >= kMaxAttributes) return false;
  for (size_t i = 0; i < attribute_count_; ++i) {
    if (attributes_[i] == attribute_) return false;
  }
  if (attribute_count_ < attributes_.size()) {
    attributes_[attribute_count_] = attribute_;
  } else {
    attributes_.push_back(attribute_);
  }
  ++attribute_count_;
  return true;
}

// Checks "&...;" once its ";" has come: a character reference to a character XML allows, or
// one of the five predefined entities (any name, once a document type could declare more).
bool XmlTracker::EndReference() {
  const std::string& r = reference_;
  if (r.empty()) return false;
  if (r[0] != '#') {
    if (doctype_seen_) return !IsDigit(static_cast<uint8_t>(r[0])) && r[0] != '-' && r[0] != '.';
    return r == "amp" || r == "lt" || r == "gt" || r == "quot" || r == "apos";
  }
  const bool hex = r.size() > 1 && r[1] == 'x';
  const size_t first = hex ? 2 : 1;
  if (r.size() == first || r.size() - first > 8) return false;
  uint32_t value = 0;
  for (size_t i = first; i < r.size(); ++i) {
    const auto c = static_cast<uint8_t>(r[i]);
    uint32_t digit;
    if (IsDigit(c)) {
      digit = c - '0';
    } else if (hex && c >= 'a' && c <= 'f') {
      digit = c - 'a' + 10;
    } else if (hex && c >= 'A' && c <= 'F') {
      digit = c - 'A' + 10;
    } else {
      return false;
    }
    value = value * (hex ? 16 : 10) + digit;
    if (value > 0x10FFFF) return false;
  }
  return IsCharAllowed(value);
}

void XmlTracker::Step(uint32_t c) {
  if (!IsCharAllowed(c)) return Damage();
  // A byte-order mark may open the document; it is no text.
  if (c == 0xFEFF && at_ == 2 && !seen_anything_) {
    seen_anything_ = true;
    return;
  }
  const bool first_char = !seen_anything_;
  seen_anything_ = true;
  switch (state_) {
    case State::kText:
      if (c == '<') {
        state_ = State::kMarkupOpen;
        markup_at_start_ = first_char;
      } else if (c == '&') {
        if (starts_.empty()) return Damage();
        reference_.clear();
        in_attribute_value_ = false;
        state_ = State::kReference;
      } else if (starts_.empty()) {
        // Before and after the root element only white space may stand between the markup.
        if (!IsSpace(c)) return Damage();
      } else if (c == ']') {
        ++run_;
      } else if (c == '>' && run_ >= 2) {
        return Damage();  // "]]>" may not appear in text
      } else {
        run_ = 0;
      }
      return;

    case State::kMarkupOpen:
      if (c == '/') {
        if (starts_.empty()) return Damage();
        end_match_ = 0;
        state_ = State::kEndName;
      } else if (c == '?') {
        reference_.clear();
        state_ = State::kPiTarget;
      } else if (c == '!') {
        state_ = State::kBang;
      } else {
        if (root_closed_) return Damage();  // a second root element
        names_.resize(top_end_);
        attribute_count_ = 0;
        BeginName();
        if (!AddNameChar(c, true)) return Damage();
        platform::AppendUtf8(names_, c);
        state_ = State::kStartName;
      }
      return;

    case State::kStartName:
      if (IsSpace(c) || c == '/' || c == '>') {
        if (!EndName()) return Damage();
        if (c == '>') return PushPendingElement();
        state_ = c == '/' ? State::kEmptyEnd : State::kTagBody;
        return;
      }
      if (!AddNameChar(c, false) || names_.size() >= kMaxNameBytes) return Damage();
      platform::AppendUtf8(names_, c);
      return;

    case State::kTagBody:
    case State::kAfterValue:
      if (IsSpace(c)) {
        state_ = State::kTagBody;
      } else if (c == '/') {
        state_ = State::kEmptyEnd;
      } else if (c == '>') {
        PushPendingElement();
      } else if (state_ == State::kAfterValue) {
        return Damage();  // attributes are separated by white space
      } else {
        attribute_.clear();
        BeginName();
        if (!AddNameChar(c, true)) return Damage();
        platform::AppendUtf8(attribute_, c);
        state_ = State::kAttrName;
      }
      return;

    case State::kAttrName:
      if (IsSpace(c) || c == '=') {
        if (!EndName() || !AttributeSeen()) return Damage();
        state_ = c == '=' ? State::kAttrAfterEq : State::kAttrBeforeEq;
        return;
      }
      if (!AddNameChar(c, false) || attribute_.size() >= kMaxAttributeName) return Damage();
      platform::AppendUtf8(attribute_, c);
      return;

    case State::kAttrBeforeEq:
      if (c == '=') {
        state_ = State::kAttrAfterEq;
      } else if (!IsSpace(c)) {
        return Damage();
      }
      return;

    case State::kAttrAfterEq:
      if (c == '"' || c == '\'') {
        quote_ = c;
        value_empty_ = true;
        state_ = State::kAttrValue;
      } else if (!IsSpace(c)) {
        return Damage();
      }
      return;

    case State::kAttrValue:
      if (c == quote_) {
        // A prefix may not be unbound ("xmlns:p=''").
        if (value_empty_ && attribute_.compare(0, 6, "xmlns:") == 0) return Damage();
        state_ = State::kAfterValue;
        return;
      }
      value_empty_ = false;
      if (c == '<') {
        return Damage();
      } else if (c == '&') {
        reference_.clear();
        in_attribute_value_ = true;
        state_ = State::kReference;
      }
      return;

    case State::kEmptyEnd:
      if (c != '>') return Damage();
      if (!OpenNamespaceScope()) return Damage();
      CloseNamespaceScope();
      // A whole element; when it is the root, the whole document.
      names_.resize(top_end_);
      state_ = State::kText;
      run_ = 0;
      if (starts_.empty()) root_seen_ = root_closed_ = true;
      MarkCut();
      return;

    case State::kEndName: {
      const size_t begin = starts_.back();
      const size_t length = top_end_ - begin;
      if (IsSpace(c) || c == '>') {
        if (end_match_ != length) return Damage();
        if (c == '>') return PopElement();
        state_ = State::kEndSpace;
        return;
      }
      // The end tag must spell the open element's name exactly.
      char bytes[4];
      const size_t n = platform::EncodeUtf8(c, bytes);
      if (end_match_ + n > length || names_.compare(begin + end_match_, n, bytes, n) != 0) {
        return Damage();
      }
      end_match_ += n;
      return;
    }

    case State::kEndSpace:
      if (c == '>') return PopElement();
      if (!IsSpace(c)) return Damage();
      return;

    case State::kBang:
      if (c == '-') {
        state_ = State::kCommentStart;
      } else if (c == '[' && !starts_.empty()) {
        run_ = 0;
        state_ = State::kCdataStart;
      } else if (c == 'D' && !root_seen_ && !doctype_seen_) {
        run_ = 0;
        state_ = State::kDoctypeStart;
      } else {
        return Damage();
      }
      return;

    case State::kCommentStart:
      if (c != '-') return Damage();
      run_ = 0;
      state_ = State::kComment;
      return;

    case State::kComment:
      // "--" may appear only as the start of the closing "-->".
      if (c == '-') {
        if (++run_ > 2) return Damage();
      } else if (run_ >= 2) {
        if (c != '>') return Damage();
        run_ = 0;
        state_ = State::kText;
      } else {
        run_ = 0;
      }
      return;

    case State::kCdataStart: {
      static const char kKeyword[] = "CDATA[";
      if (c != static_cast<uint8_t>(kKeyword[run_])) return Damage();
      if (++run_ == 6) {
        run_ = 0;
        state_ = State::kCdata;
      }
      return;
    }

    case State::kCdata:
      if (c == ']') {
        ++run_;
      } else if (c == '>' && run_ >= 2) {
        run_ = 0;
        state_ = State::kText;
      } else {
        run_ = 0;
      }
      return;

    case State::kDoctypeStart: {
      static const char kKeyword[] = "OCTYPE";
      if (c != static_cast<uint8_t>(kKeyword[run_])) return Damage();
      if (++run_ == 6) {
        doctype_seen_ = true;
        doctype_depth_ = 0;
        doctype_quote_ = 0;
        state_ = State::kDoctype;
      }
      return;
    }

    case State::kDoctype:
      if (doctype_quote_ != 0) {
        if (c == doctype_quote_) doctype_quote_ = 0;
      } else if (c == '"' || c == '\'') {
        doctype_quote_ = c;
      } else if (c == '[') {
        ++doctype_depth_;
      } else if (c == ']') {
        if (--doctype_depth_ < 0) return Damage();
      } else if (c == '>' && doctype_depth_ == 0) {
        state_ = State::kText;
      }
      return;

    case State::kPiTarget:
      if (IsSpace(c) || c == '?') {
        if (reference_.empty()) return Damage();
        // "xml" is reserved for the declaration, which only the very start may hold.
        if (platform::EqualsIgnoringAsciiCase(reference_, "xml")) {
          if (reference_ != "xml" || !markup_at_start_) return Damage();
          declaration_.clear();
          platform::AppendUtf8(declaration_, c);
          state_ = State::kDeclaration;
          return;
        }
        run_ = c == '?' ? 1 : 0;
        state_ = State::kPiBody;
        return;
      }
      if (!(IsAsciiLetter(c) || c == '_' ||
            (!reference_.empty() && (IsDigit(c) || c == '-' || c == '.')))) {
        return Damage();
      }
      // Only the first letters matter (is it "xml"?).
      if (reference_.size() < 4) platform::AppendUtf8(reference_, c);
      return;

    case State::kDeclaration:
      if (c == '>' && declaration_.back() == '?') {
        declaration_.pop_back();
        if (!IsDeclarationBody(declaration_)) return Damage();
        state_ = State::kText;
        return;
      }
      if (declaration_.size() >= kMaxDeclaration) return Damage();
      platform::AppendUtf8(declaration_, c);
      return;

    case State::kPiBody:
      if (c == '>' && run_ == 1) {
        state_ = State::kText;
        run_ = 0;
      } else {
        run_ = c == '?' ? 1 : 0;
      }
      return;

    case State::kReference:
      if (c == ';') {
        if (!EndReference()) return Damage();
        run_ = 0;
        state_ = in_attribute_value_ ? State::kAttrValue : State::kText;
        return;
      }
      if (c >= 0x80 || reference_.size() >= kMaxReference ||
          !(IsAsciiLetter(c) || IsDigit(c) || c == '#' || c == '_' || c == '-' || c == '.' ||
            c == ':')) {
        return Damage();
      }
      reference_.push_back(static_cast<char>(c));
      return;
  }
}

void XmlTracker::Feed(const uint8_t* data, size_t size) {
  size_t i = 0;
  while (i < size && !damaged_) {
    // Runs of plain text and attribute values, most of a document, skip the state machine.
    if (continuation_ == 0 && seen_anything_) {
      size_t j = i;
      if (state_ == State::kText && !starts_.empty()) {
        while (j < size && IsPlainText(data[j])) ++j;
        if (j != i) run_ = 0;
      } else if (state_ == State::kAttrValue) {
        while (j < size && IsPlainValue(data[j], quote_)) ++j;
        if (j != i) value_empty_ = false;
      } else if (state_ == State::kStartName || state_ == State::kAttrName) {
        // The rest of a name: checked character by character, stored in one go.
        while (j < size && IsAsciiNameByte(data[j])) {
          if (!AddNameChar(data[j], false)) break;
          ++j;
        }
        std::string& name = state_ == State::kStartName ? names_ : attribute_;
        const size_t limit = state_ == State::kStartName ? kMaxNameBytes : kMaxAttributeName;
        if (name.size() + (j - i) > limit) {
          at_ = offset_ + i;
          Damage();
          break;
        }
        name.append(reinterpret_cast<const char*>(data + i), j - i);
        if (j < size && IsAsciiNameByte(data[j])) {
          at_ = offset_ + j;  // the character AddNameChar refused
          Damage();
          break;
        }
      } else if (state_ == State::kEndName) {
        // An end tag's name is compared with the open element's in one go.
        while (j < size && IsAsciiNameByte(data[j])) ++j;
        const size_t begin = starts_.back();
        const size_t length = top_end_ - begin;
        if (j != i && (end_match_ + (j - i) > length ||
                       names_.compare(begin + end_match_, j - i,
                                      reinterpret_cast<const char*>(data + i), j - i) != 0)) {
          j = i;  // the step below finds the first character that differs
        } else {
          end_match_ += j - i;
        }
      }
      if (j != i) {
        i = j;
        continue;
      }
    }
    const uint8_t b = data[i];
    at_ = offset_ + i;
    ++i;
    if (continuation_ > 0) {
      if ((b & 0xC0) != 0x80) {
        Damage();
        break;
      }
      code_ = (code_ << 6) | (b & 0x3F);
      if (--continuation_ == 0) {
        // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
        if (code_ < min_code_ || (code_ >= 0xD800 && code_ <= 0xDFFF) || code_ > 0x10FFFF) {
          Damage();
          break;
        }
        Step(code_);
      }
    } else if (b < 0x80) {
      Step(b);
    } else if ((b & 0xE0) == 0xC0) {
      code_ = b & 0x1F;
      min_code_ = 0x80;
      continuation_ = 1;
    } else if ((b & 0xF0) == 0xE0) {
      code_ = b & 0x0F;
      min_code_ = 0x800;
      continuation_ = 2;
    } else if ((b & 0xF8) == 0xF0) {
      code_ = b & 0x07;
      min_code_ = 0x10000;
      continuation_ = 3;
    } else {
      Damage();
    }
  }
  offset_ += size;
}

bool XmlTracker::IsWholeDocument() const {
  return !damaged_ && root_closed_ && state_ == State::kText && continuation_ == 0;
}

std::string XmlTracker::ClosingTags() const {
  std::string tags;
  for (size_t k = cut_depth_; k-- > 0;) {
    const size_t end = k + 1 < starts_.size() ? starts_[k + 1] : top_end_;
    tags += "</";
    tags.append(names_, starts_[k], end - starts_[k]);
    tags += '>';
  }
  return tags;
}

}  // namespace velmora
