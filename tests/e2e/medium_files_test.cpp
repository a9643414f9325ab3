// update-medium on files a vfat stick cannot hold, bad use, and a medium that
// tries to write through links.
#include <sys/stat.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "medium_fixture.h"

namespace upd::e2e {
namespace {

using ::testing::ElementsAreArray;
using ::testing::HasSubstr;
using ::testing::StartsWith;

TEST_F(Medium, BadUseExitsWithTwoAndPrintsNothing) {
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
      {{"explain", "999"}, "explain: the updater has no code 999"},
      {{"explain", "65x"}, "explain: '65x' is not a code"},
      {{"explain", "654", "655"}, "explain takes one CODE"},
  };
  for (const Use& use : uses) {
    const Outcome outcome = MediumTool(use.args);
    EXPECT_EQ(outcome.status, 2) << ::testing::PrintToString(use.args);
    EXPECT_THAT(outcome.err, StartsWith("update-medium: "));
    EXPECT_THAT(outcome.err, HasSubstr(use.named));
    EXPECT_EQ(outcome.out, "");
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
  const std::string source =
      "AuxInfo.txt:25: error 658: section MainApplication: source "
      "/mnt/firmware/corvenal cannot be read: {M}/firmware/corvenal is ";
  const std::string cfg =
      "AuxInfo.txt:42: error 627: section Settings: template /mnt/firmware/Corvenal.cfg "
      "cannot be read: {M}/firmware/Corvenal.cfg is ";
  const std::vector<Case> cases = {
      {"firmware/corvenal", fifo, {source + "a FIFO, which a vfat stick cannot hold"}, 1},
      {"firmware/corvenal", link("/dev/zero"), {source + "a symbolic link"}, 1},
      // Without digests the template's own read fails; with them, their check.
      {"firmware/Corvenal.cfg", fifo, {cfg + "a FIFO"}, 1, {{47, ""}, {48, ""}}},
      {"firmware/Corvenal.cfg",
       link("/dev/zero"),
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
    const Outcome check = MediumTool({"check", medium});
    EXPECT_EQ(check.status, 1);
    EXPECT_THAT(FindingLines(check.out), ElementsAreArray(Starting(c.findings, medium)))
        << check.out;
    const Outcome digests = MediumTool({"digests", medium});
    EXPECT_EQ(digests.status, c.digests) << digests.out;
    EXPECT_EQ(test::ReadFile(Manifest(medium)), manifest);
  }
}

// digests makes its new manifest anew and replaces only a manifest that is a
// file of its own: nothing is written through a link.
TEST_F(Medium, DigestsWriteNothingThroughALink) {
  const struct {
    std::string link;            // in MEDIUM/firmware, to a file outside the medium
    std::string message, after;  // the message names the medium folder between them
  } cases[] = {
      {"AuxInfo.txt", "the manifest cannot be read: ", "/firmware/AuxInfo.txt is a symbolic link"},
      {"AuxInfo.txt.new", "cannot create ", "/firmware/AuxInfo.txt.new"},
  };
  for (const auto& c : cases) {
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
    EXPECT_THAT(digests.out, HasSubstr(c.message + medium + c.after));
    EXPECT_EQ(test::ReadFile(target), manifest);
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(test::ReadFile(Manifest(medium)), manifest);
  }
}

}  // namespace
}  // namespace upd::e2e
