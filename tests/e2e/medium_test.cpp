// update-medium on copies of the sample medium: what check finds is what the
// simulated instrument then stops with, and digests rewrites only digests.
#include <functional>
#include <map>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "manifest/reader.h"
#include "medium_fixture.h"
#include "support/digests.h"

namespace upd::e2e {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::StartsWith;

TEST_F(Medium, SampleMediumPassesAndListsItsSteps) {
  const std::string medium = Copy();
  Sign(medium);
  const Outcome check =
      MediumTool({"check", medium, "--key", PublicKey(), "--timestamp", kInstalled});
  EXPECT_EQ(check.status, 0) << check.out;
  EXPECT_THAT(FindingLines(check.out), ElementsAre());
  EXPECT_THAT(check.out,
              HasSubstr("2. MainApplication (TransferFile): install /mnt/firmware/corvenal "
                        "as /home/Corvenal/bin/corvenal"));
  EXPECT_THAT(check.out,
              HasSubstr("Then: unmount the medium, ask for it to be removed, and reboot."));
  EXPECT_THAT(check.out, HasSubstr("0 errors, 0 warnings"));
}

// One fault per row: check reports exactly one finding, on the right line, and
// the instrument stops with (or passes over, 0) that same code.
// The sample's size once its line 2 is a comment of kMaxManifestBytes characters.
long long HugeSize() {
  const std::string sample = test::ReadFile(std::string(kSample) + "/firmware/AuxInfo.txt");
  const std::size_t second = sample.find('\n') + 1;
  const std::size_t line2 = sample.find('\n', second) - second;
  return static_cast<long long>(sample.size() - line2) + 2 + kMaxManifestBytes;
}

TEST_F(Medium, EachFaultIsFoundWhereItIsAndTheInstrumentAgrees) {
  const auto remove = [](const char* file) {
    return [file](const std::string& medium) { fs::remove(medium + "/firmware/" + file); };
  };
  const auto write = [](const char* file, const char* text) {
    return [=](const std::string& medium) { test::WriteFile(medium + "/firmware/" + file, text); };
  };
  struct Case {
    std::map<int, std::string> edits;
    std::string finding;  // the start of the one finding
    int code;             // what the instrument reports; 0: nothing
    Signature signature = Signature::kSigned;
    std::function<void(const std::string&)> files = nullptr;
  };
  const std::string app = "section MainApplication: ";
  const std::string cfg = "section Settings: ";
  const std::string flash = "section Fpga: ";
  const std::string panel = "section FrontPanel: ";
  static constexpr const char kNoVersion[] = "Version 2.3\nLanguage English\n";
  const std::vector<Case> cases = {
      {{{1, "Version = 2.3.0"}}, "AuxInfo.txt:1: error 610: an entry before the first", 610},
      {{{2, "Notes " + std::string(260, 'n')}}, "AuxInfo.txt:2: error 610: the line has more", 610},
      {{{2, "; " + std::string(kMaxManifestBytes, 'n')}},
       "AuxInfo.txt: error 610: the manifest has " + std::to_string(HugeSize()) +
           " bytes; at most " + std::to_string(kMaxManifestBytes),
       610},
      {{}, "AuxInfo.txt: error 668: signature check: the signature ", 668, Signature::kMissing},
      {{},
       "AuxInfo.txt: error 668: signature check: the signature does not verify",
       668,
       Signature::kStale},
      {{{7, "Software = MainApplication, Settings, Finish"}, {10, "Finish = Restart, Software"}},
       "AuxInfo.txt:10: error 613: section SectionList: the groups form a cycle: Software -> "
       "Finish "
       "-> Software",
       613},
      {{{9, "Cleanup ="}},
       "AuxInfo.txt:9: error 613: section SectionList: the list of Cleanup is empty",
       613},
      {{{79, "Operation = " + std::string(64, 'R')}},
       "AuxInfo.txt:79: error 606: section Restart: Operation has 64 characters",
       606},
      {{{24, ""}}, "AuxInfo.txt:22: error 611: " + app + "SrcDir is missing", 611},
      {{{25, ""}}, "AuxInfo.txt:22: error 612: " + app + "SrcFile is missing", 612},
      {{{26, ""}}, "AuxInfo.txt:22: error 608: " + app + "InterimDir is missing", 608},
      {{{27, ""}}, "AuxInfo.txt:22: error 609: " + app + "InterimFile is missing", 609},
      {{{28, ""}}, "AuxInfo.txt:22: error 603: " + app + "DestDir is missing", 603},
      {{{29, ""}}, "AuxInfo.txt:22: error 604: " + app + "DestFile is missing", 604},
      {{{30, ""}}, "AuxInfo.txt:22: error 601: " + app + "BackupDir is missing", 601},
      {{{31, ""}}, "AuxInfo.txt:22: error 602: " + app + "BackupFile is missing", 602},
      {{{32, "TimeStamp = 2026-11-30 14:05:00 release build 2.3.0"}},
       "AuxInfo.txt:32: error 605: " + app + "TimeStamp has 39 characters; at most 31",
       605},
      {{{36, "NoUpdateSame = yes"}},
       "AuxInfo.txt:36: error 605: " + app + "NoUpdateSame is 'yes'",
       605},
      {{{31, "BackupFile = Corvenal"}}, "AuxInfo.txt:22: error 605: " + app + "interim", 605},
      {{{30, "BackupDir = /home/Corvenal/bin/"}, {31, "BackupFile = corvenal"}},
       "AuxInfo.txt:22: error 605: " + app + "interim",
       605},
      {{{32, "TimeStamp = 2026-11-31 14:05:00"}},
       "AuxInfo.txt:32: error 631: " + app + "TimeStamp '2026-11-31 14:05:00' is not",
       631},
      {{{32, "TimeStamp = 2026-01-05 10:00:00"}},
       "AuxInfo.txt:32: error 659: " + app + "TimeStamp 2026-01-05 10:00:00 is older",
       659},
      {{{32, std::string("TimeStamp = ") + kInstalled}},
       "AuxInfo.txt:32: error 660: " + app + "TimeStamp 2026-06-15 09:30:00 is the installed",
       660},
      {{},
       "AuxInfo.txt:25: error 651: " + app + "source /mnt/firmware/corvenal is not on",
       651,
       Signature::kSigned,
       remove("corvenal")},
      {{{33, "MD5Hash = 0d89ddaf60cea4ebe9e3ab76a1543a5c"}},
       "AuxInfo.txt:33: error 649: " + app +
           "MD5Hash is '0d89ddaf60cea4ebe9e3ab76a1543a5c', the file's is "
           "9d89ddaf60cea4ebe9e3ab76a1543a5c",
       649},
      {{{34, "SHA256Hash = 243168B23d48dc356cf052b3ca40419e7e03a724aa5d4223f701c315db186f99"}},
       "AuxInfo.txt:34: error 670: " + app + "SHA256Hash is '243168B",
       670},
      {{{41, ""}}, "AuxInfo.txt:39: error 618: " + cfg + "SrcDir is missing", 618},
      {{{42, ""}}, "AuxInfo.txt:39: error 619: " + cfg + "SrcFile is missing", 619},
      {{{43, ""}}, "AuxInfo.txt:39: error 616: " + cfg + "DestDir is missing", 616},
      {{{44, ""}}, "AuxInfo.txt:39: error 617: " + cfg + "DestFile is missing", 617},
      {{{45, ""}}, "AuxInfo.txt:39: error 614: " + cfg + "BackupDir is missing", 614},
      {{{46, ""}}, "AuxInfo.txt:39: error 615: " + cfg + "BackupFile is missing", 615},
      {{},
       "AuxInfo.txt:42: error 630: " + cfg + "template /mnt/firmware/Corvenal.cfg is not",
       630,
       Signature::kSigned,
       remove("Corvenal.cfg")},
      {{{47, "MD5Hash = " + test::Md5Hex(kNoVersion)},
        {48, "SHA256Hash = " + test::Sha256Hex(kNoVersion)}},
       "AuxInfo.txt:42: error 662: " + cfg + "template ",
       662,
       Signature::kSigned,
       [](const std::string& medium) {
         test::WriteFile(medium + "/firmware/Corvenal.cfg", kNoVersion);
       }},
      // Files swapped after signing: their digests stop the step before it acts.
      {{{47, ""}},
       "AuxInfo.txt:48: error 643: " + cfg + "SHA256Hash is '6c57eb10",
       643,
       Signature::kSigned,
       write("Corvenal.cfg", "V9.9\nNetwork.Hostname attacker\nService.Backdoor on\n")},
      {{{58, ""}},
       "AuxInfo.txt:59: error 645: " + panel + "SHA256Hash is '6c433acb",
       645,
       Signature::kSigned,
       write("frontpanel.txt", "other\n")},
      {{{69, ""}},
       "AuxInfo.txt:70: error 644: " + flash + "SHA256Hash is '53f8e870",
       644,
       Signature::kSigned,
       write("fpga.bin", "other\n")},
      {{{54, ""}}, "AuxInfo.txt:52: error 666: " + panel + "CommandJTAG is missing", 666},
      {{{55, "Command1 = " + std::string(128, 'c')}},
       "AuxInfo.txt:55: error 646: " + panel + "Command1 has 128 characters; at most 127",
       646},
      {{{56, ""}}, "AuxInfo.txt:52: error 647: " + panel + "Command2 is missing", 647},
      {{{64, ""}}, "AuxInfo.txt:62: error 634: " + flash + "Device is missing", 634},
      {{{65, ""}}, "AuxInfo.txt:62: error 637: " + flash + "Offset is missing", 637},
      {{{66, ""}}, "AuxInfo.txt:62: error 635: " + flash + "EraseCommand is missing", 635},
      {{{67, ""}}, "AuxInfo.txt:62: error 639: " + flash + "WriteCommand is missing", 639},
      {{{68, ""}}, "AuxInfo.txt:62: error 632: " + flash + "DataPath1 is missing", 632},
      {{{64, "Device = /dev/" + std::string(60, 'm')}},
       "AuxInfo.txt:64: error 636: " + flash + "Device has 65 characters; at most 63",
       636},
      {{{19, ""}}, "AuxInfo.txt:13: error 648: section SaveSettings: DestDir2 is missing", 648},
      // Passed over by the instrument without a word.
      {{{10, "Finish = Restart, Ghost"}},
       "AuxInfo.txt:10: warning: section Ghost: no section of this name",
       0},
      {{{40, "Operation = configUpdate"}},
       "AuxInfo.txt:40: warning: " + cfg +
           "Operation 'configUpdate' differs from 'ConfigUpdate' "
           "only in letter case",
       0},
      {{{79, "Operation = Restart"}},
       "AuxInfo.txt:79: warning: section Restart: Operation 'Restart' is none",
       0},
      {{{75, ""}, {76, "file3 = /home/Corvenal/log/update-2.2.log"}},
       "AuxInfo.txt:76: warning: section OldFiles: file3 is never read",
       0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.finding);
    const std::string medium = Copy(c.edits);
    if (c.files) c.files(medium);
    Sign(medium);
    if (c.signature == Signature::kMissing) fs::remove(Manifest(medium) + ".sha256");
    if (c.signature == Signature::kStale)
      test::WriteFile(Manifest(medium), test::ReadFile(Manifest(medium)) + "\n");

    const Outcome check =
        MediumTool({"check", medium, "--key", PublicKey(), "--timestamp", kInstalled});
    EXPECT_EQ(check.status, c.code == 0 ? 0 : 1) << check.out;
    const std::vector<std::string> findings = FindingLines(check.out);
    EXPECT_THAT(findings, ElementsAre(StartsWith(c.finding))) << check.out;

    int status = -1;
    const int reported = RunOnInstrument(medium, &status);
    EXPECT_EQ(reported, c.code);
    // 659 and 660 are shown and the run goes on; every other code stops it.
    EXPECT_EQ(status, reported == 0 || reported == 659 || reported == 660 ? 0 : 1);
    if (reported != 0 && !findings.empty()) {
      EXPECT_THAT(findings[0], HasSubstr("error " + std::to_string(reported) + ":"));
    }
  }
}

TEST_F(Medium, DigestsRewriteOnlyTheDigestValues) {
  const std::string oldMd5 = "9d89ddaf60cea4ebe9e3ab76a1543a5c";
  const std::string oldSha = "243168b23d48dc356cf052b3ca40419e7e03a724aa5d4223f701c315db186f99";
  const std::string build = "#!/bin/sh\n# main application 2.3.1\n";
  const std::string md5 = test::Md5Hex(build);
  const std::string sha = test::Sha256Hex(build);
  const auto crlf = [](std::string text) {
    std::string out;
    for (const char c : text) out += c == '\n' ? std::string("\r\n") : std::string(1, c);
    return out;
  };
  const auto replaced = [](std::string text, const std::string& from, const std::string& to) {
    return text.replace(text.find(from), from.size(), to);
  };
  const std::string sample = test::ReadFile(Manifest(kSample));
  struct Case {
    std::string manifest;
    std::string expected;
  };
  const std::string oddSpacing = replaced(sample, "SHA256Hash = ", "  SHA256Hash\t=  ");
  const std::string noSha = replaced(sample, "SHA256Hash = " + oldSha + "\n", "");
  const std::vector<Case> cases = {
      {sample, replaced(replaced(sample, oldMd5, md5), oldSha, sha)},
      {crlf(oddSpacing), crlf(replaced(replaced(oddSpacing, oldMd5, md5), oldSha, sha))},
      // A missing entry is added after the section's last one, CR LF kept.
      {crlf(noSha), crlf(replaced(replaced(noSha, oldMd5, md5), "NoUpdateSame = true\n",
                                  "NoUpdateSame = true\nSHA256Hash = " + sha + "\n"))},
  };
  for (const Case& c : cases) {
    const std::string medium = Copy();
    test::WriteFile(Manifest(medium), c.manifest);
    test::WriteFile(medium + "/firmware/corvenal", build);
    EXPECT_EQ(MediumTool({"check", medium}).status, 1);
    const Outcome digests = MediumTool({"digests", medium});
    EXPECT_EQ(digests.status, 0) << digests.out;
    EXPECT_THAT(digests.out, HasSubstr("openssl dgst -sha256 -sign KEY -out " + Manifest(medium) +
                                       ".sha256 " + Manifest(medium)));
    EXPECT_EQ(test::ReadFile(Manifest(medium)), c.expected);
    EXPECT_EQ(MediumTool({"check", medium}).status, 0);
    EXPECT_THAT(MediumTool({"digests", medium}).out, HasSubstr("nothing changed"));
    EXPECT_FALSE(fs::exists(Manifest(medium) + ".new"));
  }

  // A source that is not there: nothing is written.
  const std::string medium = Copy();
  fs::remove(medium + "/firmware/corvenal");
  const Outcome missing = MediumTool({"digests", medium});
  EXPECT_EQ(missing.status, 1);
  EXPECT_THAT(missing.out, HasSubstr("AuxInfo.txt:25: section MainApplication: source "));
  EXPECT_EQ(test::ReadFile(Manifest(medium)), sample);
}

// The digests of a template and of flashing and programming data: a file that
// differs is the step's code with both digests; on a signed medium, a file
// under /mnt that a step uses and no digest covers is a warning on its line.

}  // namespace
}  // namespace upd::e2e
