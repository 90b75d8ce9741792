// Media types of the parts of an office package, for the manifest that lists them.
#pragma once

#include <string>

namespace velmora {

// The media type of the spreadsheet packages this program repairs: what "mimetype" holds and
// what the manifest gives the package as a whole ("/").
inline constexpr char kSpreadsheetMediaType[] = "application/vnd.oasis.opendocument.spreadsheet";

// The media type a manifest gives a part, by its package path ("/" between folders): text/xml
// for XML parts, application/rdf+xml for RDF metadata, image/png and the like for pictures by
// their extension (any case), the metafile type for the replacement pictures of embedded
// objects, and "" (which readers accept) for anything else.
std::string MediaTypeForPart(const std::string& package_path);

// Whether the text can be a media type ("type/subtype" and parameters): printable ASCII
// without blanks, with a "/" that is neither first nor last, at most 255 characters. What a
// damaged "mimetype" part holds must pass this to be believed.
bool IsPlausibleMediaType(const std::string& text);

}  // namespace velmora
