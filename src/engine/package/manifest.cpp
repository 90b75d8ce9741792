#include "engine/package/manifest.h"

#include <algorithm>
#include <cstdint>

#include "engine/extract/xml_salvage.h"
#include "platform/utf8.h"

namespace velmora {

namespace {

constexpr char kOfficeNamespace[] = "urn:oasis:names:tc:opendocument:xmlns:office:1.0";

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

struct StartTag {
  std::string name;
  std::vector<XmlAttribute> attributes;
  bool empty = false;  // "<name .../>"
  size_t end = 0;      // just past its ">"
};

// Reads the start tag whose "<" is at `at`. Bounds-checked, so that it also serves on the
// unchecked beginning of a part; false when the text there is not a start tag.
bool ReadStartTag(const std::string& text, size_t at, StartTag* tag) {
  size_t i = at + 1;
  auto name_end = [&](size_t from) {
    while (from < text.size() && !IsSpace(text[from]) && text[from] != '/' && text[from] != '>' &&
           text[from] != '=') {
      ++from;
    }
    return from;
  };
  size_t end = name_end(i);
  if (end == i) return false;
  tag->name.assign(text, i, end - i);
  tag->attributes.clear();
  i = end;
  for (;;) {
    while (i < text.size() && IsSpace(text[i])) ++i;
    if (i >= text.size()) return false;
    if (text[i] == '>' || (text[i] == '/' && i + 1 < text.size() && text[i + 1] == '>')) {
      tag->empty = text[i] == '/';
      tag->end = i + (tag->empty ? 2 : 1);
      return true;
    }
    end = name_end(i);
    if (end == i) return false;
    XmlAttribute attribute;
    attribute.name.assign(text, i, end - i);
    i = end;
    while (i < text.size() && IsSpace(text[i])) ++i;
    if (i >= text.size() || text[i] != '=') return false;
    ++i;
    while (i < text.size() && IsSpace(text[i])) ++i;
    if (i >= text.size() || (text[i] != '"' && text[i] != '\'')) return false;
    const size_t close = text.find(text[i], i + 1);
    if (close == std::string::npos) return false;
    attribute.value.assign(text, i + 1, close - i - 1);
    tag->attributes.push_back(std::move(attribute));
    i = close + 1;
  }
}

const std::string* FindAttribute(const std::vector<XmlAttribute>& attributes,
                                 const std::string& name) {
  for (const XmlAttribute& attribute : attributes) {
    if (attribute.name == name) return &attribute.value;
  }
  return nullptr;
}

// An attribute value with its references replaced (the document is known to be well-formed,
// so every "&" starts a complete reference).
std::string Unescape(const std::string& value) {
  std::string out;
  for (size_t i = 0; i < value.size(); ++i) {
    const size_t semicolon = value[i] == '&' ? value.find(';', i) : std::string::npos;
    if (semicolon == std::string::npos) {
      out.push_back(value[i]);
      continue;
    }
    const std::string name = value.substr(i + 1, semicolon - i - 1);
    if (name == "amp") {
      out += '&';
    } else if (name == "lt") {
      out += '<';
    } else if (name == "gt") {
      out += '>';
    } else if (name == "quot") {
      out += '"';
    } else if (name == "apos") {
      out += '\'';
    } else if (name.size() > 1 && name[0] == '#') {
      const bool hex = name[1] == 'x';
      uint32_t code = 0;
      for (size_t k = hex ? 2 : 1; k < name.size() && code <= 0x10FFFF; ++k) {
        const char c = name[k];
        const uint32_t digit = c >= '0' && c <= '9'   ? c - '0'
                               : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                                      : c - 'A' + 10;
        code = code * (hex ? 16 : 10) + digit;
      }
      platform::AppendUtf8(out, code);
    } else {
      out.append(value, i, semicolon - i + 1);
    }
    i = semicolon;
  }
  return out;
}

// A text as an attribute value between double quotes.
std::string Escape(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

std::string PrefixOf(const std::string& name) {
  const size_t colon = name.find(':');
  return colon == std::string::npos ? "" : name.substr(0, colon);
}

std::string LocalOf(const std::string& name) {
  const size_t colon = name.find(':');
  return colon == std::string::npos ? name : name.substr(colon + 1);
}

std::string Qualified(const std::string& prefix, const char* local) {
  return prefix.empty() ? std::string(local) : prefix + ":" + local;
}

// The namespace a prefix is bound to by these attributes ("" for the default namespace).
const std::string* NamespaceOf(const std::vector<XmlAttribute>& attributes,
                               const std::string& prefix) {
  return FindAttribute(attributes, prefix.empty() ? "xmlns" : "xmlns:" + prefix);
}

void WriteAttributes(const std::vector<XmlAttribute>& attributes, std::string& out) {
  for (const XmlAttribute& attribute : attributes) {
    out += ' ';
    out += attribute.name;
    out += "=\"";
    out += attribute.value;
    out += '"';
  }
}

}  // namespace

std::string Manifest::AttributeName(const std::string& local) const {
  return attribute_prefix + ":" + local;
}

bool ParseManifest(const std::string& xml, Manifest* manifest) {
  XmlTracker tracker;
  tracker.Feed(reinterpret_cast<const uint8_t*>(xml.data()), xml.size());
  if (!tracker.IsWholeDocument()) return false;

  Manifest result;
  int depth = 0;
  ManifestEntry* open_entry = nullptr;  // a file entry with content, until its end tag
  size_t content_start = 0;
  for (size_t at = xml.find('<'); at != std::string::npos; at = xml.find('<', at)) {
    auto skip_past = [&](const char* end) {
      const size_t found = xml.find(end, at);
      at = found == std::string::npos ? xml.size() : found + std::char_traits<char>::length(end);
    };
    if (xml.compare(at, 2, "<?") == 0) {
      skip_past("?>");
    } else if (xml.compare(at, 4, "<!--") == 0) {
      skip_past("-->");
    } else if (xml.compare(at, 9, "<![CDATA[") == 0) {
      skip_past("]]>");
    } else if (xml.compare(at, 2, "<!") == 0) {
      return false;  // a document type: no manifest has one
    } else if (xml.compare(at, 2, "</") == 0) {
      if (--depth == 1 && open_entry != nullptr) {
        open_entry->content = xml.substr(content_start, at - content_start);
        open_entry = nullptr;
      }
      skip_past(">");
    } else {
      StartTag tag;
      if (!ReadStartTag(xml, at, &tag)) return false;
      at = tag.end;
      if (depth == 0) {
        // The root: the manifest element of the manifest namespace.
        result.element_prefix = PrefixOf(tag.name);
        const std::string* uri = NamespaceOf(tag.attributes, result.element_prefix);
        if (LocalOf(tag.name) != "manifest" || uri == nullptr || *uri != kManifestNamespace) {
          return false;
        }
        result.attribute_prefix = result.element_prefix;
        if (result.attribute_prefix.empty()) {
          // Attributes need a prefix of their own for the namespace.
          for (const XmlAttribute& attribute : tag.attributes) {
            if (attribute.name.compare(0, 6, "xmlns:") == 0 &&
                attribute.value == kManifestNamespace) {
              result.attribute_prefix = attribute.name.substr(6);
            }
          }
          if (result.attribute_prefix.empty()) return false;
        }
        result.root_attributes = std::move(tag.attributes);
      } else if (depth == 1 && tag.name == Qualified(result.element_prefix, "file-entry")) {
        const std::string* path = FindAttribute(tag.attributes, result.AttributeName("full-path"));
        if (path != nullptr) {
          ManifestEntry entry;
          entry.full_path = Unescape(*path);
          const std::string* type =
              FindAttribute(tag.attributes, result.AttributeName("media-type"));
          if (type != nullptr) entry.media_type = Unescape(*type);
          entry.attributes = std::move(tag.attributes);
          result.entries.push_back(std::move(entry));
          if (!tag.empty) {
            open_entry = &result.entries.back();
            content_start = at;
          }
        }
      }
      if (!tag.empty) ++depth;
    }
  }
  *manifest = std::move(result);
  return true;
}

Manifest NewManifest(const std::string& version) {
  Manifest manifest;
  manifest.root_attributes.push_back({"xmlns:manifest", kManifestNamespace});
  if (!version.empty()) manifest.root_attributes.push_back({"manifest:version", Escape(version)});
  return manifest;
}

ManifestEntry NewManifestEntry(const Manifest& manifest, const std::string& full_path,
                               const std::string& media_type, const std::string& version) {
  ManifestEntry entry;
  entry.full_path = full_path;
  entry.media_type = media_type;
  entry.attributes.push_back({manifest.AttributeName("full-path"), Escape(full_path)});
  if (!version.empty()) {
    entry.attributes.push_back({manifest.AttributeName("version"), Escape(version)});
  }
  entry.attributes.push_back({manifest.AttributeName("media-type"), Escape(media_type)});
  return entry;
}

void SetMediaType(const Manifest& manifest, const std::string& media_type, ManifestEntry* entry) {
  entry->media_type = media_type;
  const std::string name = manifest.AttributeName("media-type");
  for (XmlAttribute& attribute : entry->attributes) {
    if (attribute.name == name) {
      attribute.value = Escape(media_type);
      return;
    }
  }
  entry->attributes.push_back({name, Escape(media_type)});
}

std::string WriteManifest(const Manifest& manifest) {
  const std::string root = Qualified(manifest.element_prefix, "manifest");
  const std::string file_entry = Qualified(manifest.element_prefix, "file-entry");
  std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<" + root;
  WriteAttributes(manifest.root_attributes, out);
  out += ">\n";
  for (const ManifestEntry& entry : manifest.entries) {
    out += " <" + file_entry;
    WriteAttributes(entry.attributes, out);
    if (entry.content.empty()) {
      out += "/>\n";
    } else {
      out += ">" + entry.content + "</" + file_entry + ">\n";
    }
  }
  out += "</" + root + ">\n";
  return out;
}

std::string OfficeVersionOf(const std::string& beginning) {
  // Past the declaration, comments and white space to the root's start tag.
  size_t at = 0;
  for (;;) {
    at = beginning.find('<', at);
    if (at == std::string::npos) return "";
    const char* end = beginning.compare(at, 2, "<?") == 0     ? "?>"
                      : beginning.compare(at, 4, "<!--") == 0 ? "-->"
                      : beginning.compare(at, 2, "<!") == 0   ? ">"
                                                              : nullptr;
    if (end == nullptr) break;
    at = beginning.find(end, at + 2);
    if (at == std::string::npos) return "";
  }
  StartTag tag;
  if (!ReadStartTag(beginning, at, &tag)) return "";
  for (const XmlAttribute& attribute : tag.attributes) {
    if (LocalOf(attribute.name) != "version" || PrefixOf(attribute.name).empty()) continue;
    const std::string* uri = NamespaceOf(tag.attributes, PrefixOf(attribute.name));
    if (uri == nullptr || *uri != kOfficeNamespace) continue;
    const std::string& v = attribute.value;
    const bool plain =
        !v.empty() && v.size() <= 16 && v.front() != '.' && v.back() != '.' &&
        std::all_of(v.begin(), v.end(), [](char c) { return (c >= '0' && c <= '9') || c == '.'; });
    return plain ? v : "";
  }
  return "";
}

}  // namespace velmora
