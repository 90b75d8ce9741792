// Well-formedness of XML files as a real parser sees them: Python's expat through SAX, with
// namespace processing on (as office programs read their parts), run as one child process for
// a batch of files. There is none on Windows or where python3 is missing: a test then skips
// the check visibly,
//   if (!xml_check::HaveParser()) GTEST_SKIP() << xml_check::kNoParser;
// and asking anyway fails, so that no check passes without a parser having been asked.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "support/command.h"

namespace velmora::xml_check {

inline constexpr char kNoParser[] =
    "no XML parser here (python3 with xml.sax; none on Windows): the well-formedness check "
    "was not run";

inline bool HaveParser() {
#ifdef _WIN32
  return false;
#else
  static const bool have = test::CommandSucceeds("python3 -c 'import xml.sax'");
  return have;
#endif
}

// For EXPECT_TRUE: fails naming the files the parser refuses, or when there is no parser;
// succeeds when it takes them all.
inline ::testing::AssertionResult AreWellFormedFiles(const std::vector<std::wstring>& paths) {
#ifdef _WIN32
  (void)paths;
  return ::testing::AssertionFailure() << kNoParser;
#else
  if (!HaveParser()) return ::testing::AssertionFailure() << kNoParser;
  if (paths.empty()) return ::testing::AssertionSuccess();
  std::string command =
      "python3 -c 'import sys, xml.sax\n"
      "bad = []\n"
      "for name in sys.argv[1:]:\n"
      "    p = xml.sax.make_parser()\n"
      "    p.setFeature(xml.sax.handler.feature_namespaces, True)\n"
      "    try:\n"
      "        p.parse(name)\n"
      "    except Exception as e:\n"
      "        bad.append(name + \": \" + str(e))\n"
      "print(\"\\n\".join(bad))\n"
      "sys.exit(1 if bad else 0)'";
  for (const std::wstring& path : paths) {
    command += ' ';
    command += test::QuotedPath(path);
  }
  const test::CommandResult result = test::RunCommand(command);
  if (result.status == 0) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "the XML parser refuses:\n" << result.out;
#endif
}

inline ::testing::AssertionResult IsWellFormedFile(const std::wstring& path) {
  return AreWellFormedFiles({path});
}

}  // namespace velmora::xml_check
