// CompletePackage on recovered trees: a lost or stale manifest made to list exactly the files
// present (keeping what the recovered one says about them), a lost mimetype written, and intact
// trees left byte for byte as they were.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "engine/package/manifest.h"
#include "engine/package/package_completion.h"
#include "extraction_fixtures.h"
#include "xml_check.h"

namespace velmora {
namespace {

using extraction_test::Join;
using extraction_test::ReadBytes;
using extraction_test::ScratchFolder;
using extraction_test::WriteBytes;

using Tree = std::map<std::string, std::string>;  // package path → content

const char kSheetType[] = "application/vnd.oasis.opendocument.spreadsheet";

// The manifest LibreOffice writes for a sheet with a thumbnail.
const std::string kOfficeManifest =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<manifest:manifest xmlns:manifest=\"urn:oasis:names:tc:opendocument:xmlns:manifest:1.0\" "
    "manifest:version=\"1.3\" "
    "xmlns:loext=\"urn:org:documentfoundation:names:experimental:office:xmlns:loext:1.0\">\n"
    " <manifest:file-entry manifest:full-path=\"/\" manifest:version=\"1.3\" "
    "manifest:media-type=\"application/vnd.oasis.opendocument.spreadsheet\"/>\n"
    " <manifest:file-entry manifest:full-path=\"Configurations2/\" "
    "manifest:media-type=\"application/vnd.sun.xml.ui.configuration\"/>\n"
    " <manifest:file-entry manifest:full-path=\"manifest.rdf\" "
    "manifest:media-type=\"application/rdf+xml\"/>\n"
    " <manifest:file-entry manifest:full-path=\"meta.xml\" manifest:media-type=\"text/xml\"/>\n"
    " <manifest:file-entry manifest:full-path=\"styles.xml\" manifest:media-type=\"text/xml\"/>\n"
    " <manifest:file-entry manifest:full-path=\"content.xml\" manifest:media-type=\"text/xml\"/>\n"
    " <manifest:file-entry manifest:full-path=\"settings.xml\" manifest:media-type=\"text/xml\"/>\n"
    " <manifest:file-entry manifest:full-path=\"Thumbnails/thumbnail.png\" "
    "manifest:media-type=\"image/png\"/>\n"
    "</manifest:manifest>\n";

const std::string kContent =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<office:document-content "
    "xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
    "office:version=\"1.3\"><office:body/></office:document-content>";

// Every part of the package kOfficeManifest describes.
Tree OfficeTree() {
  return {
      {"mimetype", kSheetType},
      {"manifest.rdf", "<rdf/>"},
      {"meta.xml", "<meta/>"},
      {"styles.xml", "<styles/>"},
      {"content.xml", kContent},
      {"settings.xml", "<settings/>"},
      {"Thumbnails/thumbnail.png", "\x89PNG"},
      {"META-INF/manifest.xml", kOfficeManifest},
  };
}

std::wstring NativePath(const std::wstring& folder, const std::string& package_path) {
  std::wstring path = folder;
  for (char c : package_path) {
    path += c == '/' ? platform::kSeparator : static_cast<wchar_t>(static_cast<uint8_t>(c));
  }
  return path;
}

void MakeTree(const std::wstring& folder, const Tree& tree) {
  for (const auto& [name, content] : tree) {
    for (size_t slash = name.find('/'); slash != std::string::npos;
         slash = name.find('/', slash + 1)) {
      platform::MakeDirectory(NativePath(folder + platform::kSeparator, name.substr(0, slash)));
    }
    ASSERT_TRUE(WriteBytes(NativePath(folder + platform::kSeparator, name), content));
  }
}

// What the folder holds, by package path.
Tree ReadTree(const std::wstring& folder, const std::string& prefix = "") {
  Tree tree;
  std::vector<platform::DirItem> items;
  platform::ListDirectory(folder, [&](const platform::DirItem& item) {
    items.push_back(item);
    return true;
  });
  for (const platform::DirItem& item : items) {
    const std::string name = prefix + std::string(item.name.begin(), item.name.end());
    if (item.is_directory) {
      for (auto& entry : ReadTree(Join(folder, item.name), name + "/")) tree.insert(entry);
    } else {
      tree[name] = ReadBytes(Join(folder, item.name));
    }
  }
  return tree;
}

std::string Replace(std::string text, const std::string& from, const std::string& to) {
  const size_t at = text.find(from);
  EXPECT_NE(at, std::string::npos) << from;
  if (at != std::string::npos) text.replace(at, from.size(), to);
  return text;
}

struct CompletionCase {
  const char* what;
  Tree tree;
  std::vector<std::wstring> written;
  std::string mimetype;  // what "mimetype" holds afterwards
  // Entries the manifest must have afterwards (full path → media type): exactly these files
  // and "/", folder entries aside. Empty when the manifest must be the one in the tree.
  std::map<std::string, std::string> listed;
};

std::vector<CompletionCase> Cases() {
  const std::map<std::string, std::string> office_listed = {
      {"/", kSheetType},
      {"manifest.rdf", "application/rdf+xml"},
      {"meta.xml", "text/xml"},
      {"styles.xml", "text/xml"},
      {"content.xml", "text/xml"},
      {"settings.xml", "text/xml"},
      {"Thumbnails/thumbnail.png", "image/png"},
  };
  std::vector<CompletionCase> cases;

  cases.push_back({"intact package: untouched", OfficeTree(), {}, kSheetType, {}});

  Tree lost = OfficeTree();
  lost.erase("META-INF/manifest.xml");
  lost["Pictures/Photo.JPG"] = "jpeg";
  lost["Pictures/a&b.png"] = "png";
  lost["ObjectReplacements/Object 1"] = "metafile";
  lost["Object 1/content.xml"] = "<chart/>";
  auto lost_listed = office_listed;
  lost_listed["Pictures/Photo.JPG"] = "image/jpeg";
  lost_listed["Pictures/a&b.png"] = "image/png";
  lost_listed["ObjectReplacements/Object 1"] =
      "application/x-openoffice-gdimetafile;windows_formatname=\"GDIMetaFile\"";
  lost_listed["Object 1/content.xml"] = "text/xml";
  cases.push_back({"manifest lost to truncation: written, listing every file",
                   lost,
                   {L"META-INF/manifest.xml"},
                   kSheetType,
                   lost_listed});

  Tree missing = OfficeTree();
  missing.erase("settings.xml");
  missing.erase("Thumbnails/thumbnail.png");
  auto missing_listed = office_listed;
  missing_listed.erase("settings.xml");
  missing_listed.erase("Thumbnails/thumbnail.png");
  cases.push_back({"manifest lists missing files: rewritten without them",
                   missing,
                   {L"META-INF/manifest.xml"},
                   kSheetType,
                   missing_listed});

  Tree unlisted = OfficeTree();
  unlisted["Pictures/b.gif"] = "gif";
  unlisted["notes.bin"] = "?";
  auto unlisted_listed = office_listed;
  unlisted_listed["Pictures/b.gif"] = "image/gif";
  unlisted_listed["notes.bin"] = "";
  cases.push_back({"files the manifest does not list: added",
                   unlisted,
                   {L"META-INF/manifest.xml"},
                   kSheetType,
                   unlisted_listed});

  Tree no_mimetype = OfficeTree();
  no_mimetype.erase("mimetype");
  cases.push_back({"mimetype lost: written", no_mimetype, {L"mimetype"}, kSheetType, {}});

  Tree empty_mimetype = OfficeTree();
  empty_mimetype["mimetype"] = "";
  cases.push_back({"mimetype empty: written", empty_mimetype, {L"mimetype"}, kSheetType, {}});

  const std::string template_type = "application/vnd.oasis.opendocument.spreadsheet-template";
  Tree template_tree = OfficeTree();
  template_tree.erase("mimetype");
  template_tree["META-INF/manifest.xml"] = Replace(kOfficeManifest, kSheetType, template_type);
  cases.push_back({"mimetype lost: the type the manifest gives the package",
                   template_tree,
                   {L"mimetype"},
                   template_type,
                   {}});

  Tree garbled = OfficeTree();
  garbled["mimetype"] = std::string("\0\0\x01 junk", 8);
  cases.push_back({"mimetype garbled: written", garbled, {L"mimetype"}, kSheetType, {}});

  Tree other_type = OfficeTree();
  other_type["META-INF/manifest.xml"] =
      Replace(kOfficeManifest, kSheetType, "application/vnd.oasis.opendocument.text");
  cases.push_back({"manifest names another type than mimetype: rewritten",
                   other_type,
                   {L"META-INF/manifest.xml"},
                   kSheetType,
                   office_listed});

  Tree cut = OfficeTree();
  cut["META-INF/manifest.xml"] = kOfficeManifest.substr(0, kOfficeManifest.size() / 2);
  cases.push_back({"manifest cut short: written anew",
                   cut,
                   {L"META-INF/manifest.xml"},
                   kSheetType,
                   office_listed});

  Tree bare = {{"content.xml", kContent}, {"META-INF/documentsignatures.xml", "<s/>"}};
  cases.push_back({"only content.xml: mimetype and manifest written, META-INF files unlisted",
                   bare,
                   {L"mimetype", L"META-INF/manifest.xml"},
                   kSheetType,
                   {{"/", kSheetType}, {"content.xml", "text/xml"}}});

  cases.push_back({"neither content.xml nor styles.xml: nothing to complete",
                   {{"meta.xml", "<meta/>"}, {"Pictures/a.png", "png"}},
                   {},
                   "<missing>",
                   {}});
  return cases;
}

TEST(PackageCompletionTest, ManifestListsExactlyTheFilesPresent) {
  ScratchFolder scratch;
  std::vector<std::wstring> manifests;
  int n = 0;
  for (const CompletionCase& c : Cases()) {
    SCOPED_TRACE(c.what);
    const std::wstring folder = scratch.Path(L"case" + std::to_wstring(n++));
    ASSERT_EQ(platform::MakeDirectory(folder), platform::MakeDirResult::kCreated);
    MakeTree(folder, c.tree);
    const Tree before = ReadTree(folder);

    EXPECT_EQ(CompletePackage(folder), c.written);

    const Tree after = ReadTree(folder);
    const auto mimetype = after.find("mimetype");
    EXPECT_EQ(mimetype == after.end() ? "<missing>" : mimetype->second, c.mimetype);
    // Nothing else changed: every other file as it was, no file added or lost.
    for (const auto& [name, content] : before) {
      if (name == "mimetype" || name == "META-INF/manifest.xml") continue;
      EXPECT_TRUE(after.count(name) == 1 && after.at(name) == content) << name;
    }
    for (const auto& [name, content] : after) {
      EXPECT_TRUE(before.count(name) == 1 || name == "mimetype" || name == "META-INF/manifest.xml")
          << name;
    }
    if (c.listed.empty()) {
      EXPECT_TRUE(before.count("META-INF/manifest.xml") == after.count("META-INF/manifest.xml"));
      if (after.count("META-INF/manifest.xml") == 1) {
        EXPECT_EQ(after.at("META-INF/manifest.xml"), before.at("META-INF/manifest.xml"));
      }
      continue;
    }
    ASSERT_EQ(after.count("META-INF/manifest.xml"), 1u);
    Manifest manifest;
    ASSERT_TRUE(ParseManifest(after.at("META-INF/manifest.xml"), &manifest));
    std::map<std::string, std::string> listed;
    for (const ManifestEntry& entry : manifest.entries) {
      if (entry.IsFolder()) continue;
      EXPECT_EQ(listed.count(entry.full_path), 0u) << "listed twice: " << entry.full_path;
      listed[entry.full_path] = entry.media_type;
    }
    EXPECT_EQ(listed, c.listed);
    EXPECT_EQ(manifest.entries.front().full_path, "/");
    manifests.push_back(NativePath(folder + platform::kSeparator, "META-INF/manifest.xml"));
  }
  if (!xml_check::HaveParser()) GTEST_SKIP() << xml_check::kNoParser;
  EXPECT_TRUE(xml_check::AreWellFormedFiles(manifests));
}

TEST(PackageCompletionTest, RewriteKeepsWhatTheRecoveredManifestSays) {
  ScratchFolder scratch;
  // An encrypted part and attributes of the writer's own: all kept for the files present.
  const std::string encrypted =
      " <manifest:file-entry manifest:full-path=\"Basic/lib.xml\" manifest:media-type=\"text/xml\" "
      "manifest:size=\"120\"><manifest:encryption-data manifest:checksum=\"abc=\">"
      "<manifest:algorithm manifest:algorithm-name=\"Blowfish CFB\"/></manifest:encryption-data>"
      "</manifest:file-entry>\n";
  std::string manifest_xml =
      Replace(kOfficeManifest, "</manifest:manifest>", encrypted + "</manifest:manifest>");
  manifest_xml = Replace(manifest_xml, "full-path=\"meta.xml\"",
                         "full-path=\"meta.xml\" loext:flag=\"a &amp; b\"");
  Tree tree = OfficeTree();
  tree["META-INF/manifest.xml"] = manifest_xml;
  tree["Basic/lib.xml"] = "encrypted bytes";
  tree.erase("settings.xml");
  MakeTree(scratch.path(), tree);

  EXPECT_EQ(CompletePackage(scratch.path()), std::vector<std::wstring>{L"META-INF/manifest.xml"});

  // The same manifest, less the line of the missing file.
  const std::string expected = Replace(manifest_xml,
                                       " <manifest:file-entry manifest:full-path=\"settings.xml\" "
                                       "manifest:media-type=\"text/xml\"/>\n",
                                       "");
  EXPECT_EQ(ReadBytes(NativePath(scratch.path() + platform::kSeparator, "META-INF/manifest.xml")),
            expected);
}

TEST(PackageCompletionTest, ManifestWrittenAnewCarriesTheDocumentVersion) {
  struct Case {
    const char* what;
    std::string content;
    std::string version;
  };
  const Case cases[] = {
      {"office:version of content.xml", kContent, "1.3"},
      {"another prefix for the office namespace",
       "<?xml version=\"1.0\"?><!-- x --><o:document-content "
       "xmlns:o=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" o:version=\"1.2\"/>",
       "1.2"},
      {"no version: none claimed", "<office:document-content/>", ""},
      {"a version of the wrong namespace", "<a xmlns:v=\"urn:v\" v:version=\"9\"/>", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ScratchFolder scratch;
    MakeTree(scratch.path(), {{"content.xml", c.content}, {"mimetype", kSheetType}});
    CompletePackage(scratch.path());
    Manifest manifest;
    ASSERT_TRUE(ParseManifest(
        ReadBytes(NativePath(scratch.path() + platform::kSeparator, "META-INF/manifest.xml")),
        &manifest));
    const std::string version_attribute = "manifest:version";
    std::string root_version = "";
    for (const XmlAttribute& attribute : manifest.root_attributes) {
      if (attribute.name == version_attribute) root_version = attribute.value;
    }
    EXPECT_EQ(root_version, c.version);
    std::string entry_version = "";
    for (const XmlAttribute& attribute : manifest.entries.front().attributes) {
      if (attribute.name == version_attribute) entry_version = attribute.value;
    }
    EXPECT_EQ(entry_version, c.version);
  }
}

// A reader refuses a package whose document refers to a picture it lacks, even with every
// sheet there; an empty stand-in lets it open (the picture shows as one it cannot load).
TEST(PackageCompletionTest, LostPicturesGetEmptyStandIns) {
  ScratchFolder scratch;
  std::string content = kContent;
  auto frame = [](const std::string& href) {
    return "<draw:frame><draw:image xlink:href=\"" + href + "\"/></draw:frame>";
  };
  std::string body = frame("Pictures/kept.png") + frame("Pictures/lost.png") +
                     frame("./Pictures/dot.gif") + frame("http://example.com/web.png") +
                     frame("../outside.png") + frame("./Object 1") + frame("Pictures/notes.txt") +
                     frame("#Sheet1.A1") + frame("Pictures/a&amp;b.png");
  // A reference cut by the reader's 256 KiB chunks.
  body += "<text:p>" + std::string((256 << 10) - content.size() - body.size() - 30, 'x') +
          "</text:p>" + frame("Pictures/across.jpg");
  content = Replace(content, "<office:body/>", "<office:body>" + body + "</office:body>");
  const size_t across = content.find("xlink:href=\"Pictures/across.jpg");
  ASSERT_LT(across, 256u << 10);
  ASSERT_GT(across + 30, 256u << 10);
  MakeTree(scratch.path(), {{"mimetype", kSheetType},
                            {"content.xml", content},
                            {"styles.xml", "<s " + frame("Pictures/background.png") + "/>"},
                            {"Pictures/kept.png", "png"}});

  const std::vector<std::wstring> written = CompletePackage(scratch.path());
  EXPECT_EQ(written, (std::vector<std::wstring>{L"Pictures/across.jpg", L"Pictures/background.png",
                                                L"Pictures/dot.gif", L"Pictures/lost.png",
                                                L"META-INF/manifest.xml"}));
  const Tree after = ReadTree(scratch.path());
  for (const char* stand_in : {"Pictures/across.jpg", "Pictures/background.png", "Pictures/dot.gif",
                               "Pictures/lost.png"}) {
    ASSERT_EQ(after.count(stand_in), 1u) << stand_in;
    EXPECT_EQ(after.at(stand_in), "") << stand_in;
  }
  EXPECT_EQ(after.at("Pictures/kept.png"), "png");
  EXPECT_EQ(after.size(), 9u);  // the four stand-ins, the manifest and the four files given
  Manifest manifest;
  ASSERT_TRUE(ParseManifest(after.at("META-INF/manifest.xml"), &manifest));
  std::map<std::string, std::string> listed;
  for (const ManifestEntry& entry : manifest.entries) listed[entry.full_path] = entry.media_type;
  EXPECT_EQ(listed, (std::map<std::string, std::string>{
                        {"/", kSheetType},
                        {"content.xml", "text/xml"},
                        {"styles.xml", "text/xml"},
                        {"Pictures/kept.png", "image/png"},
                        {"Pictures/lost.png", "image/png"},
                        {"Pictures/dot.gif", "image/gif"},
                        {"Pictures/background.png", "image/png"},
                        {"Pictures/across.jpg", "image/jpeg"},
                    }));
}

TEST(ManifestTest, ParseAndWrite) {
  Manifest manifest;
  ASSERT_TRUE(ParseManifest(kOfficeManifest, &manifest));
  ASSERT_EQ(manifest.entries.size(), 8u);
  EXPECT_EQ(manifest.entries[0].full_path, "/");
  EXPECT_EQ(manifest.entries[1].full_path, "Configurations2/");
  EXPECT_TRUE(manifest.entries[1].IsFolder());
  EXPECT_FALSE(manifest.entries[0].IsFolder());
  EXPECT_EQ(manifest.entries[7].media_type, "image/png");
  // Written back, it is the very same text.
  EXPECT_EQ(WriteManifest(manifest), kOfficeManifest);

  struct Case {
    const char* what;
    std::string xml;
  };
  const Case refused[] = {
      {"cut short", kOfficeManifest.substr(0, 300)},
      {"another root element", "<a:manifest xmlns:a=\"urn:other\"/>"},
      {"not XML", "manifest"},
      {"empty", ""},
  };
  for (const Case& c : refused) {
    EXPECT_FALSE(ParseManifest(c.xml, &manifest)) << c.what;
  }

  // The default namespace on the elements, another prefix on the attributes.
  ASSERT_TRUE(ParseManifest(
      "<manifest xmlns=\"urn:oasis:names:tc:opendocument:xmlns:manifest:1.0\" "
      "xmlns:m=\"urn:oasis:names:tc:opendocument:xmlns:manifest:1.0\">"
      "<file-entry m:full-path=\"a&amp;b.xml\" m:media-type=\"text/xml\"/></manifest>",
      &manifest));
  ASSERT_EQ(manifest.entries.size(), 1u);
  EXPECT_EQ(manifest.entries[0].full_path, "a&b.xml");
  EXPECT_EQ(manifest.element_prefix, "");
  EXPECT_EQ(manifest.attribute_prefix, "m");
  const ManifestEntry added = NewManifestEntry(manifest, "x<y>.png", "image/png");
  manifest.entries.push_back(added);
  Manifest again;
  ASSERT_TRUE(ParseManifest(WriteManifest(manifest), &again));
  ASSERT_EQ(again.entries.size(), 2u);
  EXPECT_EQ(again.entries[1].full_path, "x<y>.png");
  EXPECT_EQ(again.entries[1].media_type, "image/png");
}

}  // namespace
}  // namespace velmora
