// update-medium on the files the steps use: their digests, files a vfat stick
// cannot hold, bad use, and a medium that tries to write through links.
#include <sys/stat.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "medium_fixture.h"
#include "support/digests.h"

namespace upd::e2e {
namespace {

using ::testing::HasSubstr;
using ::testing::StartsWith;

// What an attacker puts in place of a signed file.
constexpr const char kTampered[] = "V9.9\nNetwork.Hostname attacker\nService.Backdoor on\n";

TEST_F(Medium, DigestsOfTheFilesStepsUseAreCheckedAndUncoveredOnesWarned) {
  const auto tamper = [](const char* file) {
    return [file](const std::string& medium) {
      test::WriteFile(medium + "/firmware/" + file, kTampered);
    };
  };
  struct Case {
    std::map<int, std::string> edits;
    std::vector<std::string> findings;  // starts of check's findings
    std::function<void(const std::string&)> files = nullptr;
    bool key = true;
  };
  const std::string md5 = test::Md5Hex(kTampered);
  const std::string sha = test::Sha256Hex(kTampered);
  const std::string cfg = "AuxInfo.txt:42: warning: section Settings: template ";
  const std::string panel = "warning: section FrontPanel: ";
  const std::vector<Case> cases = {
      {{},
       {"AuxInfo.txt:47: error 643: section Settings: MD5Hash is "
        "'c7d9d15d3e6836f61a155d947b8cb383', "
        "template /mnt/firmware/Corvenal.cfg has " +
            md5,
        "AuxInfo.txt:48: error 643: section Settings: SHA256Hash is '6c57eb10b8f83d45c31b51145048d0"
        "90c673b992dd3f6157ab538a3a8df0c28d', template /mnt/firmware/Corvenal.cfg has " +
            sha},
       tamper("Corvenal.cfg")},
      {{},
       {"AuxInfo.txt:58: error 645: section FrontPanel: MD5Hash is "
        "'7b8da7235aeea55d2599256388fddd31', "
        "DataPath1 /mnt/firmware/frontpanel.txt has " +
            md5,
        "AuxInfo.txt:59: error 645: section FrontPanel: SHA256Hash is '6c433acb"},
       tamper("frontpanel.txt")},
      {{},
       {"AuxInfo.txt:69: error 644: section Fpga: MD5Hash is '18b4f41d6a8cac8d6c025ce4d05340b4', "
        "DataPath1 /mnt/firmware/fpga.bin has " +
            md5,
        "AuxInfo.txt:70: error 644: section Fpga: SHA256Hash is '53f8e870"},
       tamper("fpga.bin")},
      {{{69, "MD5Hash = 18B4F41D6A8CAC8D6C025CE4D05340B4"}, {70, "SHA256Hash ="}},
       {"AuxInfo.txt:69: error 644: section Fpga: MD5Hash is '18B4F41D",
        "AuxInfo.txt:70: error 644: section Fpga: SHA256Hash is '', DataPath1"}},
      {{{47, ""}, {48, ""}}, {cfg + "/mnt/firmware/Corvenal.cfg has no MD5Hash or SHA256Hash"}},
      {{{47, ""}, {48, ""}}, {}, nullptr, false},
      {{{69, ""}, {70, ""}},
       {"AuxInfo.txt:68: warning: section Fpga: DataPath1 /mnt/firmware/fpga.bin has no MD5Hash"}},
      {{{58, ""}, {59, ""}},
       {"AuxInfo.txt:55: " + panel + "Command1 hands /mnt/firmware/frontpanel.txt to a command",
        "AuxInfo.txt:56: " + panel + "Command2 hands /mnt/firmware/frontpanel.txt to a command"}},
      {{{54, "CommandJTAG = /home/Corvenal/bin/fp-jtag --probe /mnt/firmware/../fp.cfg /mnt/x"},
        {55, "Command1 = /home/Corvenal/bin/fp-jtag /mnt//firmware/./frontpanel.txt"},
        {66, "EraseCommand = /usr/sbin/flash_erase /mnt/../dev/mtd3 0 0"}},
       {"AuxInfo.txt:54: " + panel + "CommandJTAG hands /mnt/firmware/../fp.cfg, /mnt/x to"}},
      {{{48, ""}}, {"AuxInfo.txt:47: warning: section Settings: MD5Hash without SHA256Hash"}},
      {{{34, ""}},
       {"AuxInfo.txt:22: error 670: section MainApplication: SHA256Hash is empty or missing",
        "AuxInfo.txt:33: warning: section MainApplication: MD5Hash without SHA256Hash"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.findings.empty() ? "nothing" : c.findings.front());
    const std::string medium = Copy(c.edits);
    if (c.files) c.files(medium);
    Sign(medium);
    std::vector<std::string> args = {"check", medium, "--timestamp", kInstalled};
    if (c.key) args.insert(args.end(), {"--key", PublicKey()});
    const Outcome check = MediumTool(args);
    std::vector<::testing::Matcher<std::string>> expected;
    bool errors = false;
    for (const std::string& finding : c.findings) {
      expected.push_back(StartsWith(finding));
      errors |= finding.find(": error ") != std::string::npos;
    }
    EXPECT_EQ(check.status, errors ? 1 : 0) << check.out;
    EXPECT_THAT(FindingLines(check.out), ::testing::ElementsAreArray(expected)) << check.out;
  }
}

// digests fills the entries of templates and data files as it does those of
// sources: the sample without them comes back as it is.
TEST_F(Medium, DigestsFillTemplatesAndDataFiles) {
  const std::string sample = test::ReadFile(Manifest(kSample));
  const std::vector<std::string> lines = Lines(Manifest(kSample));
  std::string stripped;
  for (std::size_t n = 1; n <= lines.size(); ++n) {
    if (n != 47 && n != 48 && n != 58 && n != 59 && n != 69 && n != 70) stripped += lines[n - 1];
  }
  const std::string medium = Copy();
  test::WriteFile(Manifest(medium), stripped);
  const Outcome digests = MediumTool({"digests", medium});
  EXPECT_EQ(digests.status, 0) << digests.out;
  EXPECT_EQ(test::ReadFile(Manifest(medium)), sample);
}

TEST_F(Medium, BadUseExitsWithTwo) {
  const std::string medium = Copy();
  const std::string firmware = medium + "/firmware";
  struct Use {
    std::vector<std::string> args;
    std::string named;  // what the message must name
  };
  const std::vector<Use> uses = {
      {{}, ""},
      {{"verify", medium}, "verify"},
      {{"check"}, ""},
      {{"check", medium, "--key"}, "--key"},
      {{"check", medium, "--key", dir_ / "absent.pem"}, dir_ / "absent.pem"},
      {{"check", medium, "--timestamp", "2026-06-15T09:30:00"}, "2026-06-15T09:30:00"},
      {{"check", medium, "--timestamp", "2026-06-15 09:30:00 and then some"}, "and then some"},
      {{"check", medium, "--fast"}, "--fast"},
      {{"check", dir_ / "nothing"}, dir_ / "nothing"},
      {{"check", firmware}, firmware + "/firmware/AuxInfo.txt"},
      {{"digests", firmware}, firmware + "/firmware/AuxInfo.txt"},
      {{"digests", medium, medium}, ""},
  };
  for (const Use& use : uses) {
    const Outcome outcome = MediumTool(use.args);
    EXPECT_EQ(outcome.status, 2) << ::testing::PrintToString(use.args);
    EXPECT_THAT(outcome.err, StartsWith("update-medium: "));
    EXPECT_THAT(outcome.err, HasSubstr(use.named));
  }
  // A key file that is there but holds no key is a finding, not bad use.
  const Outcome noKey = MediumTool({"check", medium, "--key", Manifest(medium)});
  EXPECT_EQ(noKey.status, 1);
  EXPECT_THAT(noKey.out, HasSubstr("error 668: signature check: " + Manifest(medium) +
                                   " holds no RSA public key"));
}

// The instrument's stick is vfat: what it cannot hold is reported, and never
// opened (a FIFO without a writer would block check and digests for ever, a
// link to /dev/zero never end). A verified copy kept on the stick cannot be
// renamed onto the instrument.
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
  struct Case {
    std::string file;  // made in the medium folder by `make`
    std::function<void(const std::string&)> make;
    std::vector<std::string> findings;  // starts of check's findings
    int digests;                        // digests' exit status ({M}: the medium folder)
    std::map<int, std::string> edits = {};
  };
  const std::string source = "AuxInfo.txt:25: error 658: section MainApplication: source "
                             "/mnt/firmware/corvenal cannot be read: {M}/firmware/corvenal is ";
  const std::string cfg =
      "AuxInfo.txt:42: error 627: section Settings: template /mnt/firmware/Corvenal.cfg "
      "cannot be read: {M}/firmware/Corvenal.cfg is ";
  const std::vector<Case> cases = {
      {"firmware/corvenal", fifo, {source + "a FIFO, which a vfat stick cannot hold"}, 1},
      {"firmware/corvenal", link("/dev/zero"), {source + "a symbolic link"}, 1},
      // Without digests the template's own read fails; with them, their check.
      {"firmware/Corvenal.cfg", fifo, {cfg + "a FIFO"}, 1, {{47, ""}, {48, ""}}},
      {"firmware/Corvenal.cfg", link("/dev/zero"),
       {"AuxInfo.txt:42: error 643: section Settings: template /mnt/firmware/Corvenal.cfg cannot "
        "be read: {M}/firmware/Corvenal.cfg is a symbolic link"},
       1},
      // Without digests the flashing command runs anyway; with them it is never reached.
      {"firmware/fpga.bin",
       fifo,
       {"AuxInfo.txt:68: warning: section Fpga: DataPath1 /mnt/firmware/fpga.bin cannot be read: "
        "{M}/firmware/fpga.bin is a FIFO",
        "{M}/firmware/fpga.bin: error: a FIFO, which a vfat stick cannot hold"},
       1,
       {{69, ""}, {70, ""}}},
      {"firmware/fpga.bin",
       fifo,
       {"AuxInfo.txt:69: error 644: section Fpga: MD5Hash is '18b4f41d6a8cac8d6c025ce4d05340b4', "
        "but DataPath1 /mnt/firmware/fpga.bin cannot be read: {M}/firmware/fpga.bin is a FIFO",
        "AuxInfo.txt:70: error 644: section Fpga: SHA256Hash is '53f8"},
       1},
      {"firmware/notes/old",
       link("../corvenal"),
       {"{M}/firmware/notes/old: error: a symbolic link, which a vfat stick cannot hold"},
       0},
      // A folder on the way is a link: the manifest cannot be read.
      {"firmware",
       [](const std::string& path) {
         fs::rename(path, path + "-real");
         fs::create_symlink("firmware-real", path);
       },
       {"AuxInfo.txt: error 610: the manifest cannot be read: {M}/firmware is a symbolic link"},
       1},
      {"",
       nullptr,
       {"AuxInfo.txt:26: error 655: section MainApplication: interim "
        "/home/../mnt/./download/corvenal.new lies on the medium"},
       0,
       {{26, "InterimDir = /home/../mnt/./download"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.findings.front());
    const std::string medium = Copy(c.edits);
    const std::string manifest = test::ReadFile(Manifest(medium));
    if (c.make) c.make(medium + "/" + c.file);
    std::vector<::testing::Matcher<std::string>> expected;
    for (const std::string& finding : c.findings) {
      expected.push_back(StartsWith(Expand(finding, medium)));
    }

    const Outcome check = MediumTool({"check", medium});
    EXPECT_EQ(check.status, 1);
    EXPECT_THAT(FindingLines(check.out), ::testing::ElementsAreArray(expected)) << check.out;
    const Outcome digests = MediumTool({"digests", medium});
    EXPECT_EQ(digests.status, c.digests) << digests.out;
    EXPECT_EQ(test::ReadFile(Manifest(medium)), manifest);
  }
}

// digests makes its new manifest anew and replaces only a manifest that is a
// file of its own: nothing is written through a link.
TEST_F(Medium, DigestsWriteNothingThroughALink) {
  struct Case {
    std::string link;  // in MEDIUM/firmware, to a file outside the medium
    std::string message;
  };
  const std::vector<Case> cases = {
      {"AuxInfo.txt",
       "the manifest cannot be read: {M}/firmware/AuxInfo.txt is a symbolic link"},
      {"AuxInfo.txt.new", "cannot create {M}/firmware/AuxInfo.txt.new"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.link);
    const std::string medium = Copy();
    const std::string manifest = test::ReadFile(Manifest(medium));
    const std::string target = medium + "-target";
    test::WriteFile(target, manifest);
    test::WriteFile(medium + "/firmware/corvenal", "#!/bin/sh\n# a new build\n");
    const std::string link = medium + "/firmware/" + c.link;
    fs::remove(link);
    fs::create_symlink(target, link);

    const Outcome digests = MediumTool({"digests", medium});
    EXPECT_EQ(digests.status, 1);
    EXPECT_THAT(digests.out, HasSubstr(Expand(c.message, medium)));
    EXPECT_EQ(test::ReadFile(target), manifest);
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(test::ReadFile(Manifest(medium)), manifest);
  }
}

}  // namespace
}  // namespace upd::e2e
