// Version lines and the configuration merge on arbitrary files: the input is
// the template, then "@@", then the installed file (none without "@@").
//
// Properties: the operation's code is the one that the two files' own reading
// and version lines call for; a merge happens exactly when the template's
// version is higher, and then the backup holds the installed file byte for byte
// and the new file has the template's line count, each line the template's or
// the installed line that the in-order key walk picks; otherwise the installed
// file and the earlier backup stay as they were. No temporary file is left.
#include <string>
#include <string_view>
#include <vector>

#include "common/chartests.h"
#include "common/error_codes.h"
#include "common/update_info.h"
#include "fileutil/fileops.h"
#include "fileutil/linereader.h"
#include "fuzz_support.h"
#include "manifest/reader.h"
#include "operations/config_update.h"

namespace {

using upd::fuzz::Require;
using upd::fuzz::ReadWhole;

struct Line {
  std::string word, rest;
  [[nodiscard]] std::string Key() const { return upd::SkipSpaces(word.c_str()); }
  [[nodiscard]] std::string Text() const { return word + rest; }
};

// A configuration file as the whole-file reader and the version test see it.
struct Read {
  bool readable = false, versioned = false;
  double version = 0.0;
  std::vector<Line> lines;
};

Read ReadConfig(const std::string& path) {
  Read file;
  upd::LineList2* head = nullptr;
  if (upd::ReadFile2(path.c_str(), &head) == 0) return file;
  file.readable = true;
  file.versioned = upd::GetVersion(head, &file.version) == 1;
  for (const upd::LineList2* l = head; l != nullptr; l = l->next) {
    file.lines.push_back({l->word != nullptr ? l->word : "", l->rest != nullptr ? l->rest : ""});
  }
  upd::FreeFile2(&head);
  return file;
}

bool InstallSection() {
  const std::string& dir = upd::fuzz::ScratchDir();
  const std::string manifest = "Merge\nOperation = ConfigUpdate\nSrcDir = " + dir +
                               "\nSrcFile = template.cfg\nDestDir = " + dir +
                               "\nDestFile = unit.cfg\nBackupDir = " + dir +
                               "\nBackupFile = unit.cfg.bak\n";
  return upd::ReadAuxInfoBytes(reinterpret_cast<const unsigned char*>(manifest.data()),
                               static_cast<unsigned int>(manifest.size())) == 1;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const bool installed = InstallSection();
  Require(installed, "the merge section could not be stored");
  const std::string_view input = upd::fuzz::Bytes(data, size);
  const std::size_t mark = input.find("@@");
  const std::string_view installedText = mark == input.npos ? "" : input.substr(mark + 2);
  const std::string source = upd::fuzz::WriteScratch("template.cfg", input.substr(0, mark));
  const std::string dest = upd::fuzz::WriteScratch("unit.cfg", installedText);
  const std::string backup = upd::fuzz::WriteScratch("unit.cfg.bak", "earlier backup\n");

  const Read from = ReadConfig(source), into = ReadConfig(dest);
  const int wantCode = !from.readable    ? upd::kErrCfgReadSource
                       : !from.versioned ? upd::kErrCfgSourceVersion
                       : !into.readable  ? upd::kErrCfgReadDest
                       : !into.versioned ? upd::kErrCfgDestVersion
                                         : 0;
  upd::UpdateInfo info{};
  const int result = upd::ConfigUpdate("Merge", &info);
  Require(result == (wantCode == 0 ? 1 : 0) && info.error == wantCode, "wrong outcome code");
  Require(upd::exists((dest + ".new").c_str()) == 0, "the merged file's temporary is left");
  if (wantCode != 0 || !(from.version > into.version)) {
    Require(ReadWhole(dest) == installedText && ReadWhole(backup) == "earlier backup\n",
            "the installed file or the earlier backup changed");
    return 0;
  }
  Require(ReadWhole(backup) == installedText, "the backup is not the installed file");
  const Read merged = ReadConfig(dest);
  Require(merged.readable && merged.lines.size() == from.lines.size(),
          "the merged file has not the template's line count");
  Require(merged.lines[0].Key() == from.lines[0].Key() && merged.lines[0].rest.empty(),
          "the merged version line is not the template's version word");
  std::size_t next = 1;  // the installed line the walk stands on
  for (std::size_t i = 1; i < from.lines.size(); ++i) {
    const bool kept = next < into.lines.size() && into.lines[next].Key() == from.lines[i].Key();
    Require(merged.lines[i].Text() == (kept ? into.lines[next++] : from.lines[i]).Text(),
            "a merged line is wrong");
  }
  return 0;
}
