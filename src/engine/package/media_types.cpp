#include "engine/package/media_types.h"
#include "platform/ascii_case.h"

#include <algorithm>

namespace velmora {

namespace {

struct ExtensionType {
  const char* extension;  // lower case, without the dot
  const char* media_type;
};

// The types office programs write for these parts in their own manifests.
constexpr ExtensionType kTypes[] = {
    {"xml", "text/xml"},        {"rdf", "application/rdf+xml"}, {"png", "image/png"},
    {"jpg", "image/jpeg"},      {"jpeg", "image/jpeg"},         {"jpe", "image/jpeg"},
    {"gif", "image/gif"},       {"bmp", "image/bmp"},           {"svg", "image/svg+xml"},
    {"tif", "image/tiff"},      {"tiff", "image/tiff"},         {"webp", "image/webp"},
    {"emf", "image/x-emf"},     {"wmf", "image/x-wmf"},         {"svm", "image/x-svm"},
    {"pdf", "application/pdf"}, {"txt", "text/plain"},
};

// The replacement picture an office program keeps for an embedded object (a chart, a formula)
// has no extension and this type.
constexpr char kObjectReplacementFolder[] = "ObjectReplacements/";
constexpr char kMetafileType[] =
    "application/x-openoffice-gdimetafile;windows_formatname=\"GDIMetaFile\"";

}  // namespace

std::string MediaTypeForPart(const std::string& package_path) {
  const size_t slash = package_path.rfind('/');
  const std::string name =
      slash == std::string::npos ? package_path : package_path.substr(slash + 1);
  const size_t dot = name.rfind('.');
  if (dot == std::string::npos || dot == 0) {
    if (package_path.compare(0, sizeof kObjectReplacementFolder - 1, kObjectReplacementFolder) ==
            0 &&
        slash == sizeof kObjectReplacementFolder - 2) {
      return kMetafileType;
    }
    return "";
  }
  const std::string extension = platform::AsciiLowered(name.substr(dot + 1));
  for (const ExtensionType& type : kTypes) {
    if (extension == type.extension) return type.media_type;
  }
  return "";
}

bool IsPlausibleMediaType(const std::string& text) {
  if (text.empty() || text.size() > 255) return false;
  const size_t slash = text.find('/');
  if (slash == std::string::npos || slash == 0 || slash + 1 == text.size()) return false;
  return std::all_of(text.begin(), text.end(), [](char c) { return c > 0x20 && c < 0x7F; });
}

}  // namespace velmora
