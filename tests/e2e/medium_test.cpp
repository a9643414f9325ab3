// update-medium on copies of the sample medium: what check finds is what the
// instrument stops with; digests rewrites only digests, never through a link.
#include <sys/stat.h>

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <regex>
#include <sstream>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "manifest/reader.h"
#include "sim_runner.h"
#include "support/digests.h"

namespace upd::e2e {
namespace {

namespace fs = std::filesystem;
using ::testing::AnyOf;
using ::testing::ElementsAreArray;
using ::testing::EndsWith;
using ::testing::HasSubstr;
using ::testing::StartsWith;

constexpr const char kInstalled[] = "2026-06-15 09:30:00";

std::string Manifest(const std::string& medium) {
  return medium + "/firmware/AuxInfo.txt";
}

// The lines of `path`, each with its line end.
std::vector<std::string> Lines(const std::string& path) {
  std::vector<std::string> lines;
  std::istringstream in(test::ReadFile(path));
  for (std::string line; std::getline(in, line);) lines.push_back(line + "\n");
  return lines;
}

// The sample's line `line` without its line end.
std::string SampleLine(int line) {
  const std::string text = Lines(Manifest(kSample)).at(static_cast<std::size_t>(line - 1));
  return text.substr(0, text.size() - 1);
}

// The line of the section that holds the sample's line `line`.
int SectionLine(int line) {
  while (SampleLine(line).find('=') != std::string::npos) --line;
  return line;
}

// check's finding on the sample's line `line` (0: the whole manifest), an
// error with `code` or, for 0, a warning.
std::string Finding(int line, int code, const std::string& text) {
  std::string finding = "AuxInfo.txt";
  if (line != 0) finding.append(":").append(std::to_string(line));
  if (code == 0) finding.append(": warning: ");
  if (code != 0) finding.append(": error ").append(std::to_string(code)).append(": ");
  if (line > 3) finding.append("section ").append(SampleLine(SectionLine(line))).append(": ");
  return finding += text;
}

// check's findings (the steps it lists are indented).
std::vector<std::string> FindingLines(const std::string& output) {
  std::vector<std::string> findings;
  std::istringstream in(output);
  for (std::string line; std::getline(in, line);)
    if (std::regex_search(line, std::regex("^[^ ].*: (error|warning: )"))) findings.push_back(line);
  return findings;
}

// `text` with every "{M}" in it replaced by `medium`.
std::string Expand(const std::string& text, const std::string& medium) {
  return std::regex_replace(text, std::regex(R"(\{M\})"), medium);
}

// Matchers for lines that start with `starts`, expanded for `medium`.
std::vector<::testing::Matcher<std::string>> Starting(const std::vector<std::string>& starts,
                                                      const std::string& medium = "") {
  std::vector<::testing::Matcher<std::string>> matchers;
  for (const std::string& text : starts) matchers.push_back(StartsWith(Expand(text, medium)));
  return matchers;
}

class Medium : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    keys_ = std::make_unique<test::TempDir>();  // making a key pair is slow
    ASSERT_TRUE(test::MakeKeyPair(keys_->path()));
  }
  static void TearDownTestSuite() { keys_.reset(); }

  /// A copy of the sample medium, its manifest lines replaced as `edits` says
  /// (line number -> new text; "" keeps the numbering of the lines after it).
  std::string Copy(const std::map<int, std::string>& edits = {}) {
    const std::string medium = dir_ / ("medium" + std::to_string(++copies_));
    fs::copy(kSample, medium, fs::copy_options::recursive);
    std::vector<std::string> lines = Lines(Manifest(medium));
    for (const auto& [number, text] : edits)
      lines.at(static_cast<std::size_t>(number - 1)) = text + "\n";
    std::string manifest;
    for (const std::string& line : lines) manifest += line;
    test::WriteFile(Manifest(medium), manifest);
    return medium;
  }
  static void Sign(const std::string& medium) {
    ASSERT_TRUE(test::SignFile(keys_->path(), Manifest(medium), Manifest(medium) + ".sha256"));
  }
  static std::string PublicKey() { return keys_->path() + "/key.pub"; }

  inline static std::unique_ptr<test::TempDir> keys_;
  test::TempDir dir_;
  int copies_ = 0;
};

// One fault per row: check reports these findings on the right lines, and the
// instrument, run with -s, stops with the first one's code (a warning's step
// is passed over). The sample itself passes, and check lists its steps.
TEST_F(Medium, EachFaultIsFoundWhereItIsAndTheInstrumentAgrees) {
  enum Signing { kSigned, kUnsigned, kStale, kNoKey };  // kNoKey: check is not given the key
  struct Case {
    std::map<int, std::string> edits;
    std::vector<std::string> findings;              // their starts
    std::pair<const char*, const char*> file = {};  // in firmware/: its content, or removed
    Signing signing = kSigned;
  };
  const std::string longCommand(128, 'c');
  static constexpr const char kNoVersion[] = "Version 2.3\nLanguage English\n";
  static constexpr const char kTampered[] =
      "V9.9\nNetwork.Hostname attacker\nService.Backdoor on\n";
  const std::size_t huge =
      test::ReadFile(Manifest(kSample)).size() - SampleLine(2).size() + 2 + kMaxManifestBytes;
  // One line changed, found on that line.
  const auto edit = [](int line, const std::string& text, int code, const std::string& finding) {
    return Case{{{line, text}}, {Finding(line, code, finding)}};
  };
  std::vector<Case> cases = {
      {{}, {}},
      edit(1, "Version = 2.3.0", 610, "an entry before the first"),
      edit(2, "Notes " + std::string(260, 'n'), 610, "the line has more"),
      {{{2, "; " + std::string(kMaxManifestBytes, 'n')}},
       {Finding(0, 610,
                "the manifest has " + std::to_string(huge) + " bytes; at most " +
                    std::to_string(kMaxManifestBytes))}},
      {{}, {Finding(0, 668, "signature check: the signature ")}, {}, kUnsigned},
      {{}, {Finding(0, 668, "signature check: the signature does not verify")}, {}, kStale},
      {{{7, "Software = MainApplication, Settings, Finish"}, {10, "Finish = Restart, Software"}},
       {Finding(10, 613, "the groups form a cycle: Software -> Finish -> Software")}},
      edit(9, "Cleanup =", 613, "the list of Cleanup is empty"),
      edit(79, "Operation = " + std::string(64, 'R'), 606, "Operation has 64 characters"),
      edit(32, "TimeStamp = 2026-11-30 14:05:00 release build 2.3.0", 605,
           "TimeStamp has 39 characters; at most 31"),
      edit(36, "NoUpdateSame = yes", 605, "NoUpdateSame is 'yes'"),
      // A step listed twice is found once.
      {{{6, "Prepare = SaveSettings, MainApplication"}, {36, "NoUpdateSame = yes"}},
       {Finding(36, 605, "NoUpdateSame is 'yes'")}},
      {{{31, "BackupFile = Corvenal"}}, {Finding(22, 605, "interim")}},
      edit(32, "TimeStamp = 2026-11-31 14:05:00", 631, "TimeStamp '2026-11-31 14:05:00' is not"),
      edit(32, "TimeStamp = 2026-01-05 10:00:00", 659, "TimeStamp 2026-01-05 10:00:00 is older"),
      edit(32, std::string("TimeStamp = ") + kInstalled, 660,
           "TimeStamp 2026-06-15 09:30:00 is the installed"),
      {{}, {Finding(25, 651, "source /mnt/firmware/corvenal is not on")}, {"corvenal", nullptr}},
      edit(33, "MD5Hash = 0d89ddaf60cea4ebe9e3ab76a1543a5c", 649,
           "MD5Hash is '0d89ddaf60cea4ebe9e3ab76a1543a5c', the file's is " +
               SampleLine(33).substr(10)),
      edit(34, "SHA256Hash = 243168B" + SampleLine(34).substr(20), 670, "SHA256Hash is '243168B"),
      {{{34, ""}},
       {Finding(22, 670, "SHA256Hash is empty or missing"),
        Finding(33, 0, "MD5Hash without SHA256Hash")}},
      {{},
       {Finding(42, 630, "template /mnt/firmware/Corvenal.cfg is not")},
       {"Corvenal.cfg", nullptr}},
      {{{47, "MD5Hash = " + test::Md5Hex(kNoVersion)},
        {48, "SHA256Hash = " + test::Sha256Hex(kNoVersion)}},
       {Finding(42, 662, "template ")},
       {"Corvenal.cfg", kNoVersion}},
      {{{45, "BackupDir = /home/Corvenal/bin/."}, {46, "BackupFile = Corvenal.cfg"}},
       {Finding(39, 624, "backup /home/Corvenal/bin/./Corvenal.cfg is the installed file")}},
      {{{47, ""}, {48, ""}},
       {Finding(42, 0, "template /mnt/firmware/Corvenal.cfg has no MD5Hash or SHA256Hash")}},
      {{{47, ""}, {48, ""}}, {}, {}, kNoKey},
      {{{48, ""}}, {Finding(47, 0, "MD5Hash without SHA256Hash")}},
      edit(54, "CommandJTAG = " + longCommand, 666, "CommandJTAG has 128 characters"),
      edit(55, "Command1 = " + longCommand, 646, "Command1 has 128 characters; at most 127"),
      edit(56, "Command2 = " + longCommand, 647, "Command2 has 128 characters"),
      {{{58, ""}, {59, ""}},
       {Finding(55, 0, "Command1 hands /mnt/firmware/frontpanel.txt to a command"),
        Finding(56, 0, "Command2 hands /mnt/firmware/frontpanel.txt to a command")}},
      {{{54, "CommandJTAG = /home/Corvenal/bin/fp-jtag --probe /mnt/firmware/../fp.cfg /mnt/x"},
        {55, "Command1 = /home/Corvenal/bin/fp-jtag /mnt//firmware/./frontpanel.txt"},
        {66, "EraseCommand = /usr/sbin/flash_erase /mnt/../dev/mtd3 0 0"}},
       {Finding(54, 0, "CommandJTAG hands /mnt/firmware/../fp.cfg, /mnt/x to")}},
      edit(64, "Device = /dev/" + std::string(60, 'm'), 636,
           "Device has 65 characters; at most 63"),
      {{{69, "MD5Hash = 18B4F41D6A8CAC8D6C025CE4D05340B4"}, {70, "SHA256Hash ="}},
       {Finding(69, 644, "MD5Hash is '18B4F41D"), Finding(70, 644, "SHA256Hash is '', DataPath1")}},
      {{{69, ""}, {70, ""}}, {Finding(68, 0, "DataPath1 /mnt/firmware/fpga.bin has no MD5Hash")}},
      // Passed over by the instrument without a word.
      {{{10, "Finish = Restart, Ghost"}},
       {"AuxInfo.txt:10: warning: section Ghost: no section of this name"}},
      edit(40, "Operation = configUpdate", 0,
           "Operation 'configUpdate' differs from 'ConfigUpdate' only in letter case"),
      edit(79, "Operation = Restart", 0, "Operation 'Restart' is none"),
      {{{75, ""}, {76, "file3 = /home/Corvenal/log/update-2.2.log"}},
       {Finding(76, 0, "file3 is never read")}},
  };
  // A key left out: found on its section's line.
  for (const auto& [line, code] : std::vector<std::pair<int, int>>{
           {24, 611}, {25, 612}, {26, 608}, {27, 609}, {28, 603}, {29, 604}, {30, 601}, {31, 602},
           {41, 618}, {42, 619}, {43, 616}, {44, 617}, {45, 614}, {46, 615}, {54, 666}, {55, 646},
           {56, 647}, {64, 634}, {65, 637}, {66, 635}, {67, 639}, {68, 632}, {19, 648}}) {
    const std::string key = SampleLine(line);
    cases.push_back(
        {{{line, ""}},
         {Finding(SectionLine(line), code, key.substr(0, key.find(' ')) + " is missing")}});
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
      findings.push_back(Finding(at, code,
                                 entry.substr(0, equals) + " is '" + entry.substr(equals + 3) +
                                     "', " + what + " has " + digest));
    }
    cases.push_back({{}, findings, {file, kTampered}});
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.findings.empty() ? "nothing" : c.findings.front());
    const std::string medium = Copy(c.edits);
    if (const auto& [name, content] = c.file; name != nullptr) {
      if (content == nullptr) fs::remove(medium + "/firmware/" + name);
      if (content != nullptr) test::WriteFile(medium + "/firmware/" + name, content);
    }
    Sign(medium);
    if (c.signing == kUnsigned) fs::remove(Manifest(medium) + ".sha256");
    if (c.signing == kStale)
      test::WriteFile(Manifest(medium), test::ReadFile(Manifest(medium)) + "\n");
    int code = 0;
    for (const std::string& finding : c.findings) {
      const std::size_t at = finding.find(": error ");
      if (code == 0 && at != std::string::npos) code = std::stoi(finding.substr(at + 8));
    }

    std::vector<std::string> args = {"check", medium, "--timestamp", kInstalled};
    if (c.signing != kNoKey) args.insert(args.end(), {"--key", PublicKey()});
    const Outcome check = MediumTool(args);
    EXPECT_EQ(check.status, code == 0 ? 0 : 1) << check.out;
    EXPECT_THAT(FindingLines(check.out), ElementsAreArray(Starting(c.findings))) << check.out;
    if (c.edits.empty() && c.findings.empty()) {
      EXPECT_THAT(check.out, HasSubstr("\n  2. MainApplication (TransferFile): install "
                                       "/mnt/firmware/corvenal as /home/Corvenal/bin/corvenal"));
      EXPECT_THAT(check.out, EndsWith("\n  Then: unmount the medium, ask for it to be removed, "
                                      "and reboot.\n\n0 errors, 0 warnings\n"));
    }

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
    return std::regex_replace(text, std::regex("\n"), "\r\n");
  };
  const auto replaced = [](std::string text, const std::string& from, const std::string& to) {
    return text.replace(text.find(from), from.size(), to);
  };
  const auto rebuilt = [&](const std::string& text) {
    return replaced(replaced(text, oldMd5, md5), oldSha, sha);
  };
  const std::string sample = test::ReadFile(Manifest(kSample));
  // The sample without the digests of its template and data files: its build's
  // digests change, the others are added back where they were.
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
    const Outcome digests = MediumTool({"digests", medium});
    EXPECT_EQ(digests.status, 0) << digests.out;
    EXPECT_THAT(digests.out, HasSubstr("openssl dgst -sha256 -sign KEY -out " + Manifest(medium) +
                                       ".sha256 " + Manifest(medium)));
    EXPECT_EQ(test::ReadFile(Manifest(medium)), c.expected);
    EXPECT_EQ(MediumTool({"check", medium}).status, 0);
    EXPECT_FALSE(fs::exists(Manifest(medium) + ".new"));
  }
}

// What a vfat stick cannot hold is reported, never opened (a FIFO would block,
// /dev/zero never end), and digests writes through no link. A copy kept on the
// stick cannot be renamed onto the instrument; a missing source stops digests.
TEST_F(Medium, EntriesTheStickCannotHoldAndInterimCopiesOnItAreFound) {
  const auto fifo = [](const std::string& path) {
    fs::remove(path);
    ASSERT_EQ(::mkfifo(path.c_str(), 0644), 0) << path;
  };
  const auto link = [](const std::string& target) {
    return [target](const std::string& path) {
      fs::remove(path);
      fs::create_directories(fs::path(path).parent_path());
      fs::create_symlink(target, path);
    };
  };
  // The entry moves aside to NAME-real and a link of its name leads there.
  const auto moved = [](const std::string& path) {
    fs::rename(path, path + "-real");
    fs::create_symlink(fs::path(path).filename().string() + "-real", path);
  };
  struct Case {
    std::string file;  // made in the medium folder by `make`
    std::function<void(const std::string&)> make;
    std::vector<std::string> findings;  // starts of check's findings ({M}: the medium folder)
    int digests;                        // digests' exit status
    std::map<int, std::string> edits = {};
    std::string said = "";  // in digests' output
  };
  const std::string source =
      Finding(25, 658, "source /mnt/firmware/corvenal cannot be read: {M}/firmware/corvenal is ");
  const auto cfg = [](int code) {
    return Finding(
        42, code,
        "template /mnt/firmware/Corvenal.cfg cannot be read: {M}/firmware/Corvenal.cfg is ");
  };
  const std::string fpga = "DataPath1 /mnt/firmware/fpga.bin cannot be read: {M}/firmware/fpga.bin";
  const std::vector<Case> cases = {
      {"firmware/corvenal", fifo, {source + "a FIFO, which a vfat stick cannot hold"}, 1},
      {"firmware/corvenal", link("/dev/zero"), {source + "a symbolic link"}, 1},
      // Without digests the template's own read fails; with them, their check.
      {"firmware/Corvenal.cfg", fifo, {cfg(627) + "a FIFO"}, 1, {{47, ""}, {48, ""}}},
      {"firmware/Corvenal.cfg", link("/dev/zero"), {cfg(643) + "a symbolic link"}, 1},
      // Without digests the flashing command runs anyway; with them it is never reached.
      {"firmware/fpga.bin",
       fifo,
       {Finding(68, 0, fpga + " is a FIFO"),
        "{M}/firmware/fpga.bin: error: a FIFO, which a vfat stick cannot hold"},
       1,
       {{69, ""}, {70, ""}}},
      {"firmware/fpga.bin",
       fifo,
       {Finding(69, 644, "MD5Hash is '18b4f41d6a8cac8d6c025ce4d05340b4', but " + fpga),
        Finding(70, 644, "SHA256Hash is '53f8")},
       1},
      {"firmware/notes/old",
       link("../corvenal"),
       {"{M}/firmware/notes/old: error: a symbolic link, which a vfat stick cannot hold"},
       0},
      // A folder on the way, or the manifest itself, is a link: the manifest cannot be read.
      {"firmware",
       moved,
       {Finding(0, 610, "the manifest cannot be read: {M}/firmware is a sym")},
       1},
      {"firmware/AuxInfo.txt",
       moved,
       {Finding(0, 610, "the manifest cannot be read: {M}/firmware/AuxInfo.txt is a symbolic")},
       1},
      // A link where digests makes its new manifest.
      {"firmware/AuxInfo.txt.new",
       link("AuxInfo.txt"),
       {Finding(22, 670, "SHA256Hash is empty or missing"),
        "{M}/firmware/AuxInfo.txt.new: error: a symbolic link"},
       1,
       {{34, ""}},
       "cannot create {M}/firmware/AuxInfo.txt.new"},
      {"",
       nullptr,
       {Finding(26, 655, "interim /home/../mnt/./download/corvenal.new lies on the medium")},
       0,
       {{26, "InterimDir = /home/../mnt/./download"}}},
      {"",
       nullptr,
       {Finding(25, 651, "source /mnt/firmware/absent is not")},
       1,
       {{25, "SrcFile = absent"}},
       "AuxInfo.txt:25: section MainApplication: source /mnt/firmware/absent is not on the"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.findings.front());
    const std::string medium = Copy(c.edits);
    const std::string manifest = test::ReadFile(Manifest(medium));
    if (c.make) c.make(medium + "/" + c.file);
    const Outcome check = MediumTool({"check", medium});
    EXPECT_EQ(check.status, 1);
    EXPECT_THAT(FindingLines(check.out), ElementsAreArray(Starting(c.findings, medium)))
        << check.out;
    const Outcome digests = MediumTool({"digests", medium});
    EXPECT_EQ(digests.status, c.digests) << digests.out;
    EXPECT_THAT(digests.out, HasSubstr(Expand(c.said, medium)));
    // It says that it left the manifest as it was.
    EXPECT_THAT(digests.out, AnyOf(EndsWith("; nothing changed.\n"), EndsWith(" is as it was.\n")));
    EXPECT_EQ(test::ReadFile(Manifest(medium)), manifest);
    EXPECT_TRUE(!c.make || fs::exists(fs::symlink_status(medium + "/" + c.file)));
  }
}

}  // namespace
}  // namespace upd::e2e
