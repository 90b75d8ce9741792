// The archive writer against the real file system: the bytes it writes, read back by our own
// reader and by the ZIP tools of the machine.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "output/zip_time.h"
#include "output/zip_writer.h"
#include "platform/platform.h"
#include "support/raw_deflate.h"
#include "support/time_zone.h"
#include "support/zip_test_support.h"

#ifdef _WIN32
#include <io.h>
#include <sys/stat.h>
#include <sys/utime.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#endif

namespace velmora {
namespace {

using ziptest::ParseArchive;
using ziptest::ParsedArchive;
using ziptest::ParsedEntry;

// Seconds since 1970 of a UTC calendar date and time.
int64_t UtcSeconds(int year, int month, int day, int hour = 0, int minute = 0, int second = 0) {
  year -= month <= 2;
  const int64_t era = (year >= 0 ? year : year - 399) / 400;
  const int64_t year_of_era = year - era * 400;
  const int64_t day_of_year = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const int64_t day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
  const int64_t days = era * 146097 + day_of_era - 719468;
  return days * 86400 + hour * 3600 + minute * 60 + second;
}

struct tm LocalFields(int64_t seconds) {
  const time_t t = static_cast<time_t>(seconds);
  struct tm fields {};
#ifdef _WIN32
  localtime_s(&fields, &t);
#else
  localtime_r(&t, &fields);
#endif
  return fields;
}

bool SetFileTimes(const std::wstring& path, int64_t write, int64_t access) {
#ifdef _WIN32
  struct __utimbuf64 times {};
  times.actime = access;
  times.modtime = write;
  return _wutime64(path.c_str(), &times) == 0;
#else
  const struct timespec times[2] = {{static_cast<time_t>(access), 0},
                                    {static_cast<time_t>(write), 0}};
  return utimensat(AT_FDCWD, platform::NarrowPath(path).c_str(), times, 0) == 0;
#endif
}

bool SetReadOnly(const std::wstring& path, bool read_only) {
#ifdef _WIN32
  return _wchmod(path.c_str(), read_only ? _S_IREAD : _S_IREAD | _S_IWRITE) == 0;
#else
  return chmod(platform::NarrowPath(path).c_str(), read_only ? 0444 : 0644) == 0;
#endif
}

uint32_t Get32(const std::string& b, size_t at) {
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<unsigned char>(b[at + i]);
  return v;
}

class ZipWriterTest : public ::testing::Test {
 protected:
  // Reads the archive back; every reader must accept it.
  ParsedArchive ReadBack() {
    ParsedArchive archive = ParseArchive(ziptest::ReadBytes(archive_));
    EXPECT_EQ(archive.error, "");
    EXPECT_EQ(ziptest::ExternalReaderComplaints(archive_), std::vector<std::string>());
    return archive;
  }

  // Writes the sources and adds each under its name; every AddFile must succeed.
  ParsedArchive Pack(const std::vector<std::pair<std::wstring, std::string>>& files) {
    ZipWriter writer;
    EXPECT_TRUE(writer.CreateArchive(archive_));
    int i = 0;
    for (const auto& [name, bytes] : files) {
      const std::wstring source = scratch_.Write(L"src" + std::to_wstring(i++), bytes);
      EXPECT_EQ(writer.AddFile(name, source), kZipOk) << ziptest::Narrow(name);
    }
    EXPECT_EQ(writer.CloseArchive(), kZipOk);
    return ReadBack();
  }

  ziptest::ScratchFolder scratch_;
  const std::wstring archive_ = scratch_.Path(L"out.zip");
};

TEST(IsStoredSuffixTest, CompressedFormatsAreStored) {
  const struct {
    const char* name;
    bool stored;
  } cases[] = {
      {"data.zip", true},
      {"x.GZ", true},
      {"a.Z", true},
      {"a.z", true},
      {"b.zoo", true},
      {"c.ARC", true},
      {"d.lzh", true},
      {"e.arj", true},
      {"f.tgz", true},
      {"Pics/old.Zip", true},
      {"content.xml", false},
      {"styles.xml", false},
      {"mimetype", false},
      {"x.zip.xml", false},
      {"dir.zip/readme", false},
      {"x.gzip", false},
      {"zip", false},
      {"archive.", false},
      {"Thumbnails/thumbnail.png", false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsStoredSuffix(c.name), c.stored) << c.name;
}

TEST_F(ZipWriterTest, MethodAndFlagsFollowTheNameSuffix) {
  const std::string text = ziptest::TextBytes(3000);
  const struct {
    const wchar_t* name;
    uint16_t method;
    uint16_t flags;
  } cases[] = {
      {L"data.zip", 0, 0},   {L"x.GZ", 0, 0},     {L"content.xml", 8, 2},
      {L"styles.xml", 8, 2}, {L"mimetype", 8, 2}, {L"Pictures\\logo.tgz", 0, 0},
  };
  std::vector<std::pair<std::wstring, std::string>> files;
  for (const auto& c : cases) files.emplace_back(c.name, text);
  const ParsedArchive archive = Pack(files);
  ASSERT_EQ(archive.entries.size(), std::size(cases));
  for (size_t i = 0; i < std::size(cases); ++i) {
    const ParsedEntry& e = archive.entries[i];
    SCOPED_TRACE(e.name);
    EXPECT_EQ(e.method, cases[i].method);
    EXPECT_EQ(e.flags, cases[i].flags);
    EXPECT_EQ(e.uncompressed, text.size());
    if (e.method == 0) {
      EXPECT_EQ(e.compressed, e.uncompressed);
    } else {
      EXPECT_LT(e.compressed, e.uncompressed);
    }
    EXPECT_EQ(e.data, text);
  }
}

TEST_F(ZipWriterTest, EveryLocalHeaderCarriesTheFinalValues) {
  // Sizes around the 16384-byte buffer, in both methods, compressible and not.
  std::vector<std::pair<std::wstring, std::string>> files;
  const size_t sizes[] = {0, 1, 16383, 16384, 16385, 32768, 50001};
  int i = 0;
  for (size_t size : sizes) {
    for (const wchar_t* suffix : {L".xml", L".gz"}) {
      files.emplace_back(L"f" + std::to_wstring(i) + suffix, ziptest::NoiseBytes(size, i));
      files.emplace_back(L"t" + std::to_wstring(i) + suffix, ziptest::TextBytes(size));
      ++i;
    }
  }
  const ParsedArchive archive = Pack(files);
  ASSERT_EQ(archive.entries.size(), files.size());
  EXPECT_EQ(archive.total_entries, files.size());
  EXPECT_EQ(archive.entries_on_disk, archive.total_entries);
  EXPECT_EQ(archive.disk, 0);
  EXPECT_EQ(archive.directory_disk, 0);
  EXPECT_EQ(archive.comment_length, 0);

  uint32_t next = 0;  // entries follow each other with nothing between them
  for (size_t k = 0; k < files.size(); ++k) {
    const ParsedEntry& e = archive.entries[k];
    SCOPED_TRACE(e.name);
    EXPECT_EQ(e.name, ziptest::Narrow(files[k].first));
    EXPECT_EQ(e.data, files[k].second);
    EXPECT_EQ(e.offset, next);
    EXPECT_EQ(e.local_flags & 8, 0);
    EXPECT_EQ(e.local_flags, e.flags);
    EXPECT_EQ(e.local_method, e.method);
    EXPECT_EQ(e.local_crc, e.crc);
    EXPECT_EQ(e.local_compressed, e.compressed);
    EXPECT_EQ(e.local_uncompressed, e.uncompressed);
    EXPECT_EQ(e.local_time, e.dos_time);
    EXPECT_EQ(e.local_date, e.dos_date);
    EXPECT_EQ(e.local_version_needed, 20);
    EXPECT_EQ(e.version_needed, 20);
    EXPECT_EQ(e.version_made_by, 0x0B17);
    EXPECT_EQ(e.comment_length, 0);
    EXPECT_EQ(e.disk_start, 0);
    EXPECT_EQ(e.internal_attributes, 0);
    // Extended time stamp: local form with three times, central form with the first only.
    ASSERT_EQ(e.local_extra.size(), 17u);
    ASSERT_EQ(e.central_extra.size(), 9u);
    EXPECT_EQ(e.local_extra.substr(0, 5), std::string("UT\x0D\x00\x07", 5));
    EXPECT_EQ(e.central_extra.substr(0, 5), std::string("UT\x05\x00\x07", 5));
    EXPECT_EQ(e.central_extra.substr(5), e.local_extra.substr(5, 4));
    next = e.offset + 30 + static_cast<uint32_t>(e.name.size()) + 17 + e.compressed;
  }
  EXPECT_EQ(archive.directory_offset, next);
}

TEST_F(ZipWriterTest, BareStoredFormHasNoExtraField) {
  const struct {
    const wchar_t* name;
    ZipEntryForm form;
    std::string bytes;
  } cases[] = {
      {L"mimetype", ZipEntryForm::kStoredBare, "application/vnd.oasis.opendocument.spreadsheet"},
      {L"content.xml", ZipEntryForm::kUsual, ziptest::TextBytes(20000)},
      {L"big.xml", ZipEntryForm::kStoredBare, ziptest::NoiseBytes(50001, 3)},
      {L"empty", ZipEntryForm::kStoredBare, ""},
      {L"x.gz", ZipEntryForm::kUsual, ziptest::NoiseBytes(100, 4)},
  };
  ZipWriter writer;
  ASSERT_TRUE(writer.CreateArchive(archive_));
  int i = 0;
  for (const auto& c : cases) {
    const std::wstring source = scratch_.Write(L"src" + std::to_wstring(i++), c.bytes);
    ASSERT_EQ(writer.AddFile(c.name, source, c.form), kZipOk);
  }
  ASSERT_EQ(writer.CloseArchive(), kZipOk);
  const ParsedArchive archive = ReadBack();
  ASSERT_EQ(archive.entries.size(), std::size(cases));
  uint32_t next = 0;
  for (size_t k = 0; k < std::size(cases); ++k) {
    const ParsedEntry& e = archive.entries[k];
    SCOPED_TRACE(e.name);
    const bool bare = cases[k].form == ZipEntryForm::kStoredBare;
    EXPECT_EQ(e.data, cases[k].bytes);
    EXPECT_EQ(e.offset, next);
    EXPECT_EQ(e.local_extra.size(), bare ? 0u : 17u);
    EXPECT_EQ(e.central_extra.size(), bare ? 0u : 9u);
    if (bare) {
      EXPECT_EQ(e.method, 0);
      EXPECT_EQ(e.flags, 0);
      EXPECT_EQ(e.local_flags, 0);
      EXPECT_EQ(e.compressed, e.uncompressed);
    }
    // Times, attributes and versions do not depend on the form.
    EXPECT_EQ(e.local_time, e.dos_time);
    EXPECT_EQ(e.version_made_by, 0x0B17);
    EXPECT_EQ(e.external_attributes, archive.entries[0].external_attributes);
    next =
        e.offset + 30 + static_cast<uint32_t>(e.name.size() + e.local_extra.size()) + e.compressed;
  }
  EXPECT_EQ(archive.directory_offset, next);
}

TEST_F(ZipWriterTest, EmptyFileIsAnEmptyDeflateStream) {
  const ParsedArchive archive = Pack({{L"empty.xml", ""}});
  ASSERT_EQ(archive.entries.size(), 1u);
  const ParsedEntry& e = archive.entries[0];
  EXPECT_EQ(e.method, 8);
  EXPECT_EQ(e.flags, 2);
  EXPECT_EQ(e.uncompressed, 0u);
  EXPECT_GT(e.compressed, 0u);
  EXPECT_EQ(e.crc, 0u);
}

TEST_F(ZipWriterTest, ExistingFileAtTheArchivePathIsReplaced) {
  ASSERT_TRUE(ziptest::WriteBytes(archive_, ziptest::NoiseBytes(200000, 7)));
  const ParsedArchive archive = Pack({{L"a.xml", "abc"}});
  EXPECT_EQ(archive.entries.size(), 1u);
  EXPECT_LT(ziptest::ReadBytes(archive_).size(), 200u);
}

// The ZIP tools that read our archives as a second opinion: each one installed accepts an
// archive we wrote and refuses one with a byte changed, so that its silence in the other tests
// means something. Missing ones (all of them on Windows) are reported as a skip.
TEST_F(ZipWriterTest, SecondOpinionReadersAcceptOursAndRefuseABrokenOne) {
  // Stored data, so that the changed byte leaves the layout whole and only the CRC-32 tells.
  const ParsedArchive archive = Pack({{L"data.zip", "stored bytes, not deflated"}});
  ASSERT_EQ(archive.entries.size(), 1u);
  std::string bytes = ziptest::ReadBytes(archive_);
  bytes[30 + 8 + kZipLocalExtraSize] ^= 0x20;  // the first data byte
  const std::wstring broken = scratch_.Path(L"broken.zip");
  ASSERT_TRUE(ziptest::WriteBytes(broken, bytes));
  const std::vector<std::string> installed = ziptest::ExternalReaders(true);
  EXPECT_EQ(ziptest::ExternalReaderComplaints(broken).size(), installed.size());
  const std::vector<std::string> missing = ziptest::ExternalReaders(false);
  if (!missing.empty()) {
    std::string names;
    for (const std::string& name : missing) names += " " + name;
    GTEST_SKIP() << "not installed, so not asked:" << names;
  }
}

TEST(ZipTimeTest, DosFormOfLocalTimes) {
  const struct {
    int64_t local;
    uint16_t date;
    uint16_t time;
  } cases[] = {
      {UtcSeconds(1980, 1, 1), 0x0021, 0x0000},
      {UtcSeconds(2021, 3, 4, 5, 6, 7), (41 << 9) | (3 << 5) | 4, (5 << 11) | (6 << 5) | 3},
      {UtcSeconds(2040, 6, 15, 12, 34, 56), (60 << 9) | (6 << 5) | 15, (12 << 11) | (34 << 5) | 28},
      {UtcSeconds(2107, 12, 31, 23, 59, 59), (127 << 9) | (12 << 5) | 31,
       (23 << 11) | (59 << 5) | 29},
      // Outside what the form can hold: the nearest valid value.
      {UtcSeconds(1979, 12, 31, 23, 59, 59), 0x0021, 0x0000},
      {UtcSeconds(1969, 7, 20, 20, 17), 0x0021, 0x0000},
      {UtcSeconds(2108, 1, 1), (127 << 9) | (12 << 5) | 31, (23 << 11) | (59 << 5) | 29},
  };
  for (const auto& c : cases) {
    const DosDateTime dos = ToDosDateTime(c.local);
    EXPECT_EQ(dos.date, c.date) << c.local;
    EXPECT_EQ(dos.time, c.time) << c.local;
  }
}

TEST(ZipTimeTest, UnixTimesAreClampedToTheYears1970To2037) {
  const struct {
    int64_t local;
    int year, month, day;
  } cases[] = {
      {UtcSeconds(1965, 3, 3, 12), 1970, 1, 1},     {UtcSeconds(1970, 1, 1, 12), 1970, 1, 1},
      {UtcSeconds(2037, 12, 31, 12), 2037, 12, 31}, {UtcSeconds(2040, 6, 15, 12), 2037, 12, 31},
      {UtcSeconds(2106, 2, 7, 12), 2037, 12, 31},
  };
  for (const auto& c : cases) {
    const struct tm fields = LocalFields(ToExtraFieldTime(c.local));
    EXPECT_EQ(fields.tm_year + 1900, c.year) << c.local;
    EXPECT_EQ(fields.tm_mon + 1, c.month) << c.local;
    EXPECT_EQ(fields.tm_mday, c.day) << c.local;
  }
}

// Five hours west of UTC, without daylight saving, on every system (on a machine that keeps
// UTC the shift would otherwise go unseen): the headers carry the local wall clock, and the
// Unix time goes back to the file's own instant.
TEST_F(ZipWriterTest, TimesAreShiftedToTheLocalClock) {
  const int64_t write = UtcSeconds(2021, 3, 4, 3, 0, 10);
  {
    const test::TimeZoneGuard zone("EST5");
    const std::wstring source = scratch_.Write(L"s", "x");
    ASSERT_TRUE(SetFileTimes(source, write, write));
    ZipWriter writer;
    ASSERT_TRUE(writer.CreateArchive(archive_));
    EXPECT_EQ(writer.AddFile(L"e.xml", source), kZipOk);
    EXPECT_EQ(writer.CloseArchive(), kZipOk);
  }
  const ParsedArchive archive = ReadBack();
  ASSERT_EQ(archive.entries.size(), 1u);
  EXPECT_EQ(archive.entries[0].dos_date, (41 << 9) | (3 << 5) | 3);
  EXPECT_EQ(archive.entries[0].dos_time, (22 << 11) | (0 << 5) | 5);
  EXPECT_EQ(Get32(archive.entries[0].local_extra, 5), static_cast<uint32_t>(write));
}

TEST_F(ZipWriterTest, TimesComeFromTheFileShiftedAndClamped) {
  const struct {
    int64_t write;
    int64_t access;
    int unix_year, unix_month, unix_day;  // local date of the extra field's modification time
  } cases[] = {
      {UtcSeconds(2021, 3, 4, 12), UtcSeconds(2022, 5, 6, 12), 2021, 3, 4},
      {UtcSeconds(2040, 6, 15, 12), UtcSeconds(2041, 1, 2, 12), 2037, 12, 31},
      // Before 1980: the DOS form holds 1 January 1980, the Unix time the real date.
      {UtcSeconds(1975, 6, 15, 12), UtcSeconds(1975, 6, 15, 12), 1975, 6, 15},
  };
  std::vector<std::pair<std::wstring, std::string>> files;
  ZipWriter writer;
  ASSERT_TRUE(writer.CreateArchive(archive_));
  int i = 0;
  for (const auto& c : cases) {
    const std::wstring source = scratch_.Write(L"s" + std::to_wstring(i), "x");
    ASSERT_TRUE(SetFileTimes(source, c.write, c.access));
    EXPECT_EQ(writer.AddFile(L"e" + std::to_wstring(i++) + L".xml", source), kZipOk);
  }
  ASSERT_EQ(writer.CloseArchive(), kZipOk);
  const ParsedArchive archive = ReadBack();
  ASSERT_EQ(archive.entries.size(), std::size(cases));
  for (size_t k = 0; k < std::size(cases); ++k) {
    const auto& c = cases[k];
    const ParsedEntry& e = archive.entries[k];
    SCOPED_TRACE(k);
    // The DOS fields hold the last write on the local wall clock (the form itself is checked
    // above; time_t may be 32 bits here, too small for 2040).
    const DosDateTime dos = ToDosDateTime(c.write + platform::LocalUtcOffsetNow());
    EXPECT_EQ(e.dos_date, dos.date);
    EXPECT_EQ(e.dos_time, dos.time);
    const struct tm modified = LocalFields(Get32(e.local_extra, 5));
    EXPECT_EQ(modified.tm_year + 1900, c.unix_year);
    EXPECT_EQ(modified.tm_mon + 1, c.unix_month);
    EXPECT_EQ(modified.tm_mday, c.unix_day);
    if (c.unix_year == 2021) {
      const struct tm accessed = LocalFields(Get32(e.local_extra, 9));
      EXPECT_EQ(accessed.tm_year + 1900, 2022);
      EXPECT_EQ(accessed.tm_mon + 1, 5);
      EXPECT_EQ(accessed.tm_mday, 6);
    }
  }
}

TEST(ZipExternalAttributesTest, WindowsBitsAndUnixMode) {
  const struct {
    uint32_t attributes;
    bool executable;
    uint32_t expected;
  } cases[] = {
      {platform::kAttrArchive, false, 0x81800020},
      {platform::kAttrArchive | platform::kAttrReadOnly, false, 0x81000021},
      {platform::kAttrHidden | platform::kAttrSystem, false, 0x81800006},
      {platform::kAttrArchive, true, 0x81C00020},
      {0, false, 0x81800000},
      {0x2000 | 0x80, false, 0x81800000},  // bits the table has no place for are dropped
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ZipExternalAttributes(c.attributes, c.executable), c.expected) << c.attributes;
  }
}

// A DOS header whose new-header offset (at 0x3C) points at `signature` placed at `target`.
std::string DosImage(uint32_t target, const std::string& signature, size_t size) {
  std::string bytes(size, '\0');
  bytes[0] = 'M';
  bytes[1] = 'Z';
  for (int i = 0; i < 4; ++i) bytes[0x3C + i] = static_cast<char>(target >> (8 * i));
  if (target + signature.size() <= size) bytes.replace(target, signature.size(), signature);
  return bytes;
}

TEST_F(ZipWriterTest, ExternalAttributesOfSourceFiles) {
  const struct {
    const wchar_t* name;
    std::string bytes;
    bool read_only;
    uint32_t expected;
  } cases[] = {
      {L"content.xml", "<?xml?>", false, 0x81800020},
      {L"locked.xml", "<?xml?>", true, 0x81000021},
      {L"tool.exe", DosImage(0x80, std::string("PE\0\0", 4), 512), false, 0x81C00020},
      {L"old.exe", DosImage(0x40, "NE", 256), false, 0x81C00020},
      {L"vxd.bin", DosImage(0x40, "LE", 256), false, 0x81C00020},
      {L"stub.bin", DosImage(0x40, "MZ", 256), false, 0x81C00020},
      {L"short.bin", DosImage(0x1000, "PE", 256), false, 0x81800020},  // points past the end
      {L"other.bin", DosImage(0x40, "XY", 256), false, 0x81800020},
      {L"tiny.bin", "MZ", false, 0x81800020},
  };
  ZipWriter writer;
  ASSERT_TRUE(writer.CreateArchive(archive_));
  std::vector<std::wstring> locked;
  for (const auto& c : cases) {
    const std::wstring source = scratch_.Write(c.name, c.bytes);
    if (c.read_only) {
      ASSERT_TRUE(SetReadOnly(source, true));
      locked.push_back(source);
    }
    EXPECT_EQ(writer.AddFile(c.name, source), kZipOk);
  }
  ASSERT_EQ(writer.CloseArchive(), kZipOk);
  for (const std::wstring& source : locked) SetReadOnly(source, false);
  const ParsedArchive archive = ReadBack();
  ASSERT_EQ(archive.entries.size(), std::size(cases));
  for (size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(archive.entries[i].external_attributes, cases[i].expected) << archive.entries[i].name;
    // The sniffing of the DOS header must not cost the entry its first bytes.
    EXPECT_EQ(archive.entries[i].data, cases[i].bytes) << archive.entries[i].name;
  }
}

TEST_F(ZipWriterTest, EntryNamesInEightBits) {
  const struct {
    std::wstring name;
    std::string expected;
  } cases[] = {
      {L"Pictures\\a.png", "Pictures/a.png"},
      {L"Thumbnails/thumbnail.png", "Thumbnails/thumbnail.png"},
#ifdef _WIN32
      // Tibetan KA is in no ANSI code page: the code page's default character stands in.
      {L"\u0F40.xml", "?.xml"},
#else
      // A name read from the disk is written back byte for byte, UTF-8 or not.
      {platform::WidenPath("caf\xC3\xA9.xml"), "caf\xC3\xA9.xml"},
      {platform::WidenPath("latin\xE9.xml"), "latin\xE9.xml"},
#endif
  };
  std::vector<std::pair<std::wstring, std::string>> files;
  for (const auto& c : cases) files.emplace_back(c.name, "data");
  const ParsedArchive archive = Pack(files);
  ASSERT_EQ(archive.entries.size(), std::size(cases));
  for (size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(archive.entries[i].name, cases[i].expected);
  }
}

TEST_F(ZipWriterTest, BadArgumentsAndMissingArchive) {
  const std::wstring source = scratch_.Write(L"a.xml", "abc");
  ZipWriter closed;
  EXPECT_EQ(closed.AddFile(L"a.xml", source), kZipBadArgument);
  EXPECT_EQ(closed.CloseArchive(), kZipBadArgument);

  ZipWriter nowhere;
  const std::wstring missing = scratch_.Path(L"no/such/folder/out.zip");
  EXPECT_FALSE(nowhere.CreateArchive(missing));
  EXPECT_EQ(nowhere.AddFile(L"a.xml", source), kZipBadArgument);
  EXPECT_EQ(nowhere.CloseArchive(), kZipBadArgument);
  EXPECT_FALSE(platform::PathExists(missing));

  ZipWriter writer;
  ASSERT_TRUE(writer.CreateArchive(archive_));
  EXPECT_EQ(writer.AddFile(L"", source), kZipBadArgument);
  EXPECT_EQ(writer.AddFile(std::wstring(70000, L'n'), source), kZipBadArgument);
  EXPECT_EQ(writer.AddFile(L"a.xml", source), kZipOk);
  EXPECT_EQ(writer.CloseArchive(), kZipOk);
  EXPECT_EQ(writer.CloseArchive(), kZipBadArgument);
  EXPECT_EQ(ReadBack().entries.size(), 1u);
}

TEST_F(ZipWriterTest, SourceThatCannotBeReadIsLeftOut) {
  const std::wstring good = scratch_.Write(L"good.xml", ziptest::TextBytes(40000));
  // A folder opens on POSIX but fails at the first read; on Windows it does not open.
  const std::wstring folder = scratch_.MakeFolder(L"folder.xml");
  ZipWriter writer;
  ASSERT_TRUE(writer.CreateArchive(archive_));
  EXPECT_EQ(writer.AddFile(L"missing.xml", scratch_.Path(L"missing.xml")), kZipOpenFailed);
  EXPECT_EQ(writer.AddFile(L"folder.xml", folder), kZipOpenFailed);
  EXPECT_EQ(writer.AddFile(L"folder.zip", folder), kZipOpenFailed);
  EXPECT_EQ(writer.AddFile(L"good.xml", good), kZipOk);
  EXPECT_EQ(writer.CloseArchive(), kZipOk);
  const ParsedArchive archive = ReadBack();
  ASSERT_EQ(archive.entries.size(), 1u);
  EXPECT_EQ(archive.entries[0].name, "good.xml");
  // What was written of an abandoned entry carries no local header signature.
  const std::string bytes = ziptest::ReadBytes(archive_);
  size_t signatures = 0;
  for (size_t at = bytes.find("PK\x03\x04"); at != std::string::npos;
       at = bytes.find("PK\x03\x04", at + 1)) {
    ++signatures;
  }
  EXPECT_EQ(signatures, 1u);
}

TEST_F(ZipWriterTest, LimitsOfTheFormatAreRefused) {
  const std::string noise = ziptest::NoiseBytes(1000, 3);
  const struct {
    const char* what;
    ZipLimits limits;
    std::vector<uint32_t> adds;  // results for three 1000-byte files, a.gz b.gz c.xml
  } cases[] = {
      {"entries", {0xFFFFFFFF, 0xFFFFFFFF, 2}, {kZipOk, kZipOk, kZipWriteFailed}},
      {"archive bytes, stored",
       {1500, 0xFFFFFFFF, 0xFFFF},
       {kZipOk, kZipWriteFailed, kZipWriteFailed}},
      {"archive bytes, directory", {3200, 0xFFFFFFFF, 0xFFFF}, {kZipOk, kZipOk, kZipOk}},
      {"entry bytes",
       {0xFFFFFFFF, 999, 0xFFFF},
       {kZipWriteFailed, kZipWriteFailed, kZipWriteFailed}},
  };
  const std::wstring source = scratch_.Write(L"noise", noise);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ZipWriter writer(c.limits);
    ASSERT_TRUE(writer.CreateArchive(archive_));
    EXPECT_EQ(writer.AddFile(L"a.gz", source), c.adds[0]);
    EXPECT_EQ(writer.AddFile(L"b.gz", source), c.adds[1]);
    EXPECT_EQ(writer.AddFile(L"c.xml", source), c.adds[2]);
    // Whatever was refused, the archive is never completed as if all went well.
    EXPECT_EQ(writer.CloseArchive(), kZipWriteFailed);
    EXPECT_NE(ParseArchive(ziptest::ReadBytes(archive_)).error, "");
  }
}

// Large entries are deflated in chunks on several threads: the entry must read back whole with
// its CRC, by our reader and by the tools; smaller ones stay one stream, byte for byte as
// before. Small chunks here so that small files reach the chunked path.
TEST_F(ZipWriterTest, LargeEntriesAreDeflatedInChunksSmallOnesInOneStream) {
  const ChunkedDeflateOptions chunking{32768, 2, nullptr, 4};
  const struct {
    const char* name;
    std::string data;
    bool chunked;
  } cases[] = {
      {"below.xml", ziptest::TextBytes(4 * 32768 - 1), false},
      {"boundary.xml", ziptest::TextBytes(4 * 32768), true},
      {"between.xml", ziptest::TextBytes(9 * 32768 + 777), true},
      {"noise.bin", ziptest::NoiseBytes(6 * 32768, 9), true},
  };
  ZipWriter writer({}, chunking);
  ASSERT_TRUE(writer.CreateArchive(archive_));
  for (const auto& c : cases) {
    EXPECT_EQ(
        writer.AddFile(ziptest::Widen(c.name), scratch_.Write(ziptest::Widen(c.name), c.data)),
        kZipOk);
  }
  EXPECT_EQ(writer.CloseArchive(), kZipOk);
  const ParsedArchive archive = ReadBack();
  ASSERT_EQ(archive.entries.size(), std::size(cases));
  for (size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(cases[i].name);
    const ParsedEntry& e = archive.entries[i];
    EXPECT_EQ(e.method, 8);
    EXPECT_EQ(e.flags, 2);
    EXPECT_EQ(e.uncompressed, cases[i].data.size());
    EXPECT_TRUE(e.data == cases[i].data);
    // One stream of the whole file is what a small entry has always been.
    EXPECT_EQ(e.raw == test::RawDeflate(cases[i].data, 8), !cases[i].chunked);
  }
}

TEST_F(ZipWriterTest, StopWhileALargeEntryIsDeflatedLeavesNoCompleteArchive) {
  std::atomic<bool> stop{true};
  ZipWriter writer({}, ChunkedDeflateOptions{32768, 2, &stop, 4});
  ASSERT_TRUE(writer.CreateArchive(archive_));
  EXPECT_EQ(writer.AddFile(L"small.xml", scratch_.Write(L"small.xml", "abc")), kZipOk);
  EXPECT_EQ(
      writer.AddFile(L"large.xml", scratch_.Write(L"large.xml", ziptest::TextBytes(8 * 32768))),
      kZipWriteFailed);
  EXPECT_EQ(writer.CloseArchive(), kZipWriteFailed);
}

}  // namespace
}  // namespace velmora
