// SafeEntryPath under both rule sets, whatever system the tests run on: names from damaged
// packages must never lead out of the file's folder or open a device.
#include <gtest/gtest.h>

#include <string>

#include "engine/extract/entry_path.h"

namespace velmora {
namespace {

struct PathCase {
  std::wstring name;
  std::wstring posix;    // expected with POSIX rules
  std::wstring windows;  // expected with Windows rules
};

const PathCase kCases[] = {
    // Ordinary names pass unchanged; "/" counts as a separator too.
    {L"content.xml", L"content.xml", L"content.xml"},
    {L"Thumbnails\\thumbnail.png", L"Thumbnails\\thumbnail.png", L"Thumbnails\\thumbnail.png"},
    {L"Pictures/a.png", L"Pictures\\a.png", L"Pictures\\a.png"},
    {L"\u00C3\u00A9.xml", L"\u00C3\u00A9.xml", L"\u00C3\u00A9.xml"},
    // Colons are removed, drive prefixes with them.
    {L"a:b.xml", L"ab.xml", L"ab.xml"},
    {L"C:\\x.xml", L"C\\x.xml", L"C\\x.xml"},
    {L"x.xml:stream", L"x.xmlstream", L"x.xmlstream"},
    // Nothing climbs out: "..", "." and empty components are dropped.
    {L"..\\..\\etc\\passwd", L"etc\\passwd", L"etc\\passwd"},
    {L"a\\..\\b.xml", L"a\\b.xml", L"a\\b.xml"},
    {L"a/./b\\../c.xml", L"a\\b\\c.xml", L"a\\b\\c.xml"},
    {L".\\a.xml", L"a.xml", L"a.xml"},
    {L"\\abs.xml", L"abs.xml", L"abs.xml"},
    {L"\\\\server\\share\\f.xml", L"server\\share\\f.xml", L"server\\share\\f.xml"},
    {L"a\\\\b.xml", L"a\\b.xml", L"a\\b.xml"},
    {L"..:\\x.xml", L"x.xml", L"x.xml"},
    // Names that name a folder or nothing yield no file.
    {L"", L"", L""},
    {L"Pictures\\", L"", L""},
    {L"..", L"", L""},
    {L"a\\..", L"", L""},
    {L"a\\.", L"", L""},
    {L":", L"", L""},
    {L"\\\\", L"", L""},
    // Windows devices, in any case, with or without an extension, get a "_" in front.
    {L"con.txt", L"con.txt", L"_con.txt"},
    {L"Nul", L"Nul", L"_Nul"},
    {L"dir\\AUX", L"dir\\AUX", L"dir\\_AUX"},
    {L"CON\\x.xml", L"CON\\x.xml", L"_CON\\x.xml"},
    {L"prn.tar.gz", L"prn.tar.gz", L"_prn.tar.gz"},
    {L"com1.xml", L"com1.xml", L"_com1.xml"},
    {L"LPT9", L"LPT9", L"_LPT9"},
    {L"COM\u00B9", L"COM\u00B9", L"_COM\u00B9"},
    {L"conin$", L"conin$", L"_conin$"},
    {L"conout$", L"conout$", L"_conout$"},
    {L"COM0", L"COM0", L"_COM0"},
    {L"lpt0.xml", L"lpt0.xml", L"_lpt0.xml"},
    {L"LPT\u00B2", L"LPT\u00B2", L"_LPT\u00B2"},
    {L"aux .txt", L"aux .txt", L"_aux .txt"},
    {L"nul.", L"nul.", L"_nul"},
    // Look-alikes are no devices.
    {L"COM10.xml", L"COM10.xml", L"COM10.xml"},
    {L"CONSOLE.xml", L"CONSOLE.xml", L"CONSOLE.xml"},
    {L"xcon", L"xcon", L"xcon"},
    // Windows drops trailing dots and blanks itself; we do it first, and never leave nothing.
    {L"name.", L"name.", L"name"},
    {L"dir. \\x.xml", L"dir. \\x.xml", L"dir\\x.xml"},
    {L"...", L"...", L"_"},
    {L" ", L" ", L"_"},
    {L"a\\... \\b", L"a\\... \\b", L"a\\_\\b"},
    // Characters Windows refuses are left for the system to refuse.
    {L"a?b\\c.xml", L"a?b\\c.xml", L"a?b\\c.xml"},
};

TEST(SafeEntryPathTest, MapsNamesUnderBothRuleSets) {
  for (const PathCase& c : kCases) {
    EXPECT_EQ(SafeEntryPath(c.name, false), c.posix) << "POSIX rules, name: " << c.name;
    EXPECT_EQ(SafeEntryPath(c.name, true), c.windows) << "Windows rules, name: " << c.name;
  }
}

TEST(SafeEntryPathTest, LongComponentsAreKeptForTheSystemToRefuse) {
  const std::wstring long_name(300, L'x');
  EXPECT_EQ(SafeEntryPath(long_name + L"\\a.xml", false), long_name + L"\\a.xml");
  EXPECT_EQ(SafeEntryPath(long_name + L"\\a.xml", true), long_name + L"\\a.xml");
}

}  // namespace
}  // namespace velmora
