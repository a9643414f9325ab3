// update-medium on copies of the sample medium: what check finds is what the
// simulated instrument then stops with, and digests rewrites only digests.
#include <functional>
#include <map>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "manifest/reader.h"
#include "medium_fixture.h"
#include "support/digests.h"

namespace upd::e2e {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;

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

// The sample's size once its line 2 is a comment of kMaxManifestBytes characters.
long long HugeSize() {
  const std::string sample = test::ReadFile(std::string(kSample) + "/firmware/AuxInfo.txt");
  const std::size_t second = sample.find('\n') + 1;
  const std::size_t line2 = sample.find('\n', second) - second;
  return static_cast<long long>(sample.size() - line2) + 2 + kMaxManifestBytes;
}

enum class Signature { kSigned, kMissing, kStale };

// The sample's line `line` without its line end.
std::string SampleLine(int line) {
  const std::string text =
      Lines(std::string(kSample) + "/firmware/AuxInfo.txt").at(static_cast<std::size_t>(line - 1));
  return text.substr(0, text.size() - 1);
}

// The line of the section that holds the sample's line `line`.
int SectionLine(int line) {
  while (SampleLine(line).find('=') != std::string::npos) --line;
  return line;
}

std::string SectionOf(int line) {
  return "section " + SampleLine(SectionLine(line)) + ": ";
}

std::string Error(int line, int code, const std::string& text) {
  return "AuxInfo.txt" + (line == 0 ? std::string() : ":" + std::to_string(line)) + ": error " +
         std::to_string(code) + ": " + text;
}

std::string Warning(int line, const std::string& text) {
  return "AuxInfo.txt:" + std::to_string(line) + ": warning: " + text;
}

// One fault per row: check reports these findings on the right lines, and the
// instrument, running the medium signed with -s, stops with the first one's
// code (or passes over the step of a warning without a word).
TEST_F(Medium, EachFaultIsFoundWhereItIsAndTheInstrumentAgrees) {
  struct Case {
    std::map<int, std::string> edits;
    std::vector<std::string> findings;  // their starts
    std::function<void(const std::string&)> files = nullptr;
    Signature signature = Signature::kSigned;
    bool key = true;  // check is given the public key
  };
  const std::string app = "section MainApplication: ";
  const std::string cfg = "section Settings: ";
  const std::string panel = "section FrontPanel: ";
  const std::string list = "section SectionList: ";
  const std::string longCommand(128, 'c');
  static constexpr const char kNoVersion[] = "Version 2.3\nLanguage English\n";
  static constexpr const char kTampered[] =
      "V9.9\nNetwork.Hostname attacker\nService.Backdoor on\n";
  const auto write = [](const char* file, const char* text) {
    return [=](const std::string& medium) { test::WriteFile(medium + "/firmware/" + file, text); };
  };
  std::vector<Case> cases = {
      {{{1, "Version = 2.3.0"}}, {Error(1, 610, "an entry before the first")}},
      {{{2, "Notes " + std::string(260, 'n')}}, {Error(2, 610, "the line has more")}},
      {{{2, "; " + std::string(kMaxManifestBytes, 'n')}},
       {Error(0, 610,
              "the manifest has " + std::to_string(HugeSize()) + " bytes; at most " +
                  std::to_string(kMaxManifestBytes))}},
      {{}, {Error(0, 668, "signature check: the signature ")}, nullptr, Signature::kMissing},
      {{},
       {Error(0, 668, "signature check: the signature does not verify")},
       nullptr,
       Signature::kStale},
      {{{7, "Software = MainApplication, Settings, Finish"}, {10, "Finish = Restart, Software"}},
       {Error(10, 613, list + "the groups form a cycle: Software -> Finish -> Software")}},
      {{{9, "Cleanup ="}}, {Error(9, 613, list + "the list of Cleanup is empty")}},
      {{{79, "Operation = " + std::string(64, 'R')}},
       {Error(79, 606, "section Restart: Operation has 64 characters")}},
      {{{32, "TimeStamp = 2026-11-30 14:05:00 release build 2.3.0"}},
       {Error(32, 605, app + "TimeStamp has 39 characters; at most 31")}},
      {{{36, "NoUpdateSame = yes"}}, {Error(36, 605, app + "NoUpdateSame is 'yes'")}},
      {{{31, "BackupFile = Corvenal"}}, {Error(22, 605, app + "interim")}},
      {{{30, "BackupDir = /home/Corvenal/bin/"}, {31, "BackupFile = corvenal"}},
       {Error(22, 605, app + "interim")}},
      {{{32, "TimeStamp = 2026-11-31 14:05:00"}},
       {Error(32, 631, app + "TimeStamp '2026-11-31 14:05:00' is not")}},
      {{{32, "TimeStamp = 2026-01-05 10:00:00"}},
       {Error(32, 659, app + "TimeStamp 2026-01-05 10:00:00 is older")}},
      {{{32, std::string("TimeStamp = ") + kInstalled}},
       {Error(32, 660, app + "TimeStamp 2026-06-15 09:30:00 is the installed")}},
      {{},
       {Error(25, 651, app + "source /mnt/firmware/corvenal is not on")},
       [](const std::string& medium) { fs::remove(medium + "/firmware/corvenal"); }},
      {{{33, "MD5Hash = 0d89ddaf60cea4ebe9e3ab76a1543a5c"}},
       {Error(33, 649,
              app + "MD5Hash is '0d89ddaf60cea4ebe9e3ab76a1543a5c', the file's is " +
                  SampleLine(33).substr(10))}},
      {{{34, "SHA256Hash = 243168B" + SampleLine(34).substr(20)}},
       {Error(34, 670, app + "SHA256Hash is '243168B")}},
      {{{34, ""}},
       {Error(22, 670, app + "SHA256Hash is empty or missing"),
        Warning(33, app + "MD5Hash without SHA256Hash")}},
      {{},
       {Error(42, 630, cfg + "template /mnt/firmware/Corvenal.cfg is not")},
       [](const std::string& medium) { fs::remove(medium + "/firmware/Corvenal.cfg"); }},
      {{{47, "MD5Hash = " + test::Md5Hex(kNoVersion)},
        {48, "SHA256Hash = " + test::Sha256Hex(kNoVersion)}},
       {Error(42, 662, cfg + "template ")},
       write("Corvenal.cfg", kNoVersion)},
      {{{45, "BackupDir = /home/Corvenal/bin/."}, {46, "BackupFile = Corvenal.cfg"}},
       {Error(39, 624, cfg + "backup /home/Corvenal/bin/./Corvenal.cfg is the installed file")}},
      {{{47, ""}, {48, ""}},
       {Warning(42, cfg + "template /mnt/firmware/Corvenal.cfg has no MD5Hash or SHA256Hash")}},
      {{{47, ""}, {48, ""}}, {}, nullptr, Signature::kSigned, false},
      {{{48, ""}}, {Warning(47, cfg + "MD5Hash without SHA256Hash")}},
      {{{54, "CommandJTAG = " + longCommand}},
       {Error(54, 666, panel + "CommandJTAG has 128 characters")}},
      {{{55, "Command1 = " + longCommand}},
       {Error(55, 646, panel + "Command1 has 128 characters; at most 127")}},
      {{{56, "Command2 = " + longCommand}},
       {Error(56, 647, panel + "Command2 has 128 characters")}},
      {{{58, ""}, {59, ""}},
       {Warning(55, panel + "Command1 hands /mnt/firmware/frontpanel.txt to a command"),
        Warning(56, panel + "Command2 hands /mnt/firmware/frontpanel.txt to a command")}},
      {{{54, "CommandJTAG = /home/Corvenal/bin/fp-jtag --probe /mnt/firmware/../fp.cfg /mnt/x"},
        {55, "Command1 = /home/Corvenal/bin/fp-jtag /mnt//firmware/./frontpanel.txt"},
        {66, "EraseCommand = /usr/sbin/flash_erase /mnt/../dev/mtd3 0 0"}},
       {Warning(54, panel + "CommandJTAG hands /mnt/firmware/../fp.cfg, /mnt/x to")}},
      {{{64, "Device = /dev/" + std::string(60, 'm')}},
       {Error(64, 636, "section Fpga: Device has 65 characters; at most 63")}},
      {{{69, "MD5Hash = 18B4F41D6A8CAC8D6C025CE4D05340B4"}, {70, "SHA256Hash ="}},
       {Error(69, 644, "section Fpga: MD5Hash is '18B4F41D"),
        Error(70, 644, "section Fpga: SHA256Hash is '', DataPath1")}},
      {{{69, ""}, {70, ""}},
       {Warning(68, "section Fpga: DataPath1 /mnt/firmware/fpga.bin has no MD5Hash")}},
      // Passed over by the instrument without a word.
      {{{10, "Finish = Restart, Ghost"}}, {Warning(10, "section Ghost: no section of this name")}},
      {{{40, "Operation = configUpdate"}},
       {Warning(40,
                cfg + "Operation 'configUpdate' differs from 'ConfigUpdate' only in letter case")}},
      {{{79, "Operation = Restart"}},
       {Warning(79, "section Restart: Operation 'Restart' is none")}},
      {{{75, ""}, {76, "file3 = /home/Corvenal/log/update-2.2.log"}},
       {Warning(76, "section OldFiles: file3 is never read")}},
  };
  // A key left out: found on its section's line.
  for (const auto& [line, code] : std::vector<std::pair<int, int>>{
           {24, 611}, {25, 612}, {26, 608}, {27, 609}, {28, 603}, {29, 604}, {30, 601}, {31, 602},
           {41, 618}, {42, 619}, {43, 616}, {44, 617}, {45, 614}, {46, 615}, {54, 666}, {55, 646},
           {56, 647}, {64, 634}, {65, 637}, {66, 635}, {67, 639}, {68, 632}, {19, 648}}) {
    const std::string key = SampleLine(line);
    cases.push_back({{{line, ""}},
                     {Error(SectionLine(line), code,
                            SectionOf(line) + key.substr(0, key.find(' ')) + " is missing")}});
  }
  // A file swapped after signing: both of its digests differ.
  for (const auto& [file, line, code, what] :
       std::vector<std::tuple<const char*, int, int, std::string>>{
           {"Corvenal.cfg", 47, 643, "template /mnt/firmware/Corvenal.cfg"},
           {"frontpanel.txt", 58, 645, "DataPath1 /mnt/firmware/frontpanel.txt"},
           {"fpga.bin", 69, 644, "DataPath1 /mnt/firmware/fpga.bin"}}) {
    std::vector<std::string> findings;
    for (const auto& [at, digest] : {std::pair{line, test::Md5Hex(kTampered)},
                                     std::pair{line + 1, test::Sha256Hex(kTampered)}}) {
      const std::string entry = SampleLine(at);
      const std::size_t equals = entry.find(" = ");
      findings.push_back(Error(at, code,
                               SectionOf(at) + entry.substr(0, equals) + " is '" +
                                   entry.substr(equals + 3) + "', " + what + " has " + digest));
    }
    cases.push_back({{}, findings, write(file, kTampered)});
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.findings.empty() ? "nothing" : c.findings.front());
    const std::string medium = Copy(c.edits);
    if (c.files) c.files(medium);
    Sign(medium);
    if (c.signature == Signature::kMissing) fs::remove(Manifest(medium) + ".sha256");
    if (c.signature == Signature::kStale)
      test::WriteFile(Manifest(medium), test::ReadFile(Manifest(medium)) + "\n");
    int code = 0;
    for (const std::string& finding : c.findings) {
      const std::size_t at = finding.find(": error ");
      if (code == 0 && at != std::string::npos) code = std::stoi(finding.substr(at + 8));
    }

    std::vector<std::string> args = {"check", medium, "--timestamp", kInstalled};
    if (c.key) args.insert(args.end(), {"--key", PublicKey()});
    const Outcome check = MediumTool(args);
    EXPECT_EQ(check.status, code == 0 ? 0 : 1) << check.out;
    EXPECT_THAT(FindingLines(check.out), ElementsAreArray(Starting(c.findings))) << check.out;

    Instrument sim;
    fs::copy_file(PublicKey(), sim.Host("/home/Corvenal/bin/MirelCal.pub"));
    test::WriteFile(sim.Host("/home/Corvenal/bin/Corvenal.cfg"), "V2.2\nLanguage German\n");
    EXPECT_EQ(Sim({"plug", sim.dir(), medium}).status, 0);
    // 659 and 660 are shown and the run goes on; every other code stops it.
    const bool goesOn = code == 0 || code == 659 || code == 660;
    EXPECT_EQ(sim.Run({"-s", "-t", kInstalled}).status, goesOn ? 0 : 1);
    EXPECT_EQ(sim.Log(), Logged(code));
  }
}

TEST_F(Medium, DigestsRewriteOnlyTheDigestValues) {
  const std::string oldMd5 = "9d89ddaf60cea4ebe9e3ab76a1543a5c";
  const std::string oldSha = "243168b23d48dc356cf052b3ca40419e7e03a724aa5d4223f701c315db186f99";
  const std::string build = "#!/bin/sh\n# main application 2.3.1\n";
  const std::string md5 = test::Md5Hex(build);
  const std::string sha = test::Sha256Hex(build);
  const auto crlf = [](const std::string& text) {
    std::string out;
    for (const char c : text) out += c == '\n' ? std::string("\r\n") : std::string(1, c);
    return out;
  };
  const auto replaced = [](std::string text, const std::string& from, const std::string& to) {
    return text.replace(text.find(from), from.size(), to);
  };
  const auto rebuilt = [&](const std::string& text) {
    return replaced(replaced(text, oldMd5, md5), oldSha, sha);
  };
  const std::string sample = test::ReadFile(Manifest(kSample));
  // The sample without the digests of its template and data files.
  const std::vector<std::string> lines = Lines(Manifest(kSample));
  std::string stripped;
  for (std::size_t n = 1; n <= lines.size(); ++n) {
    if (n != 47 && n != 48 && n != 58 && n != 59 && n != 69 && n != 70) stripped += lines[n - 1];
  }
  const std::string oddSpacing = replaced(sample, "SHA256Hash = ", "  SHA256Hash\t=  ");
  const std::string noSha = replaced(sample, "SHA256Hash = " + oldSha + "\n", "");
  const struct {
    std::string manifest, expected;
  } cases[] = {
      {sample, rebuilt(sample)},
      {stripped, rebuilt(sample)},
      {crlf(oddSpacing), crlf(rebuilt(oddSpacing))},
      // A missing entry is added after the section's last one, CR LF kept.
      {crlf(noSha), crlf(replaced(replaced(noSha, oldMd5, md5), "NoUpdateSame = true\n",
                                  "NoUpdateSame = true\nSHA256Hash = " + sha + "\n"))},
  };
  for (const auto& c : cases) {
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

}  // namespace
}  // namespace upd::e2e
