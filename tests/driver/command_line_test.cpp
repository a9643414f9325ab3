#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "driver/startup.h"

namespace upd {
namespace {

struct Parsed {
  int result;
  UpdateInfo info;
};

Parsed Parse(std::vector<std::string> args) {
  args.insert(args.begin(), "update");
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  Parsed parsed{0, NewUpdateInfo()};
  std::memset(parsed.info.device, 0, sizeof parsed.info.device);
  parsed.result = ReadCommandLine(static_cast<int>(args.size()), argv.data(), &parsed.info);
  return parsed;
}

// One character more than the longest values here is refused with its code,
// which is pinned end to end (update-sim).
TEST(CommandLine, EachOptionSetsItsFlagAndValuesFollowTheirOption) {
  const std::string device63(63, 'd'), timestamp31(31, 't');
  struct Case {
    std::vector<std::string> args;
    const char* device;
    const char* timestamp;
    std::uint32_t flags;
  };
  const Case cases[] = {
      {{"-s", "-f", "-h", "-m", "-mm", "--force", "-x", "S", "-F"},
       "",
       "",
       UPD_SSL_CHECK | UPD_FORCE | UPD_HELP | UPD_MSG | UPD_MSG_ALL},
      {{"-d", "/dev/sda1"}, "/dev/sda1", "", UPD_DEVICE_SET},
      {{"-t", "2019-05-21 08:19:37"}, "", "2019-05-21 08:19:37", UPD_TIMESTAMP_SET},
      // A device value is also looked at as an option.
      {{"-d", "-f"}, "-f", "", UPD_DEVICE_SET | UPD_FORCE},
      {{"-d", "-t", "X"}, "-t", "X", UPD_DEVICE_SET | UPD_TIMESTAMP_SET},
      // A timestamp value is not.
      {{"-t", "-d"}, "", "-d", UPD_TIMESTAMP_SET},
      {{"-t", "-d", "/dev/x"}, "", "-d", UPD_TIMESTAMP_SET},
      // A trailing -d or -t sets nothing.
      {{"-d"}, "", "", 0},
      {{"-f", "-t"}, "", "", UPD_FORCE},
      // The last of repeated values wins.
      {{"-d", "/dev/a", "-d", "/dev/b"}, "/dev/b", "", UPD_DEVICE_SET},
      {{"-d", device63, "-t", timestamp31},
       device63.c_str(),
       timestamp31.c_str(),
       UPD_DEVICE_SET | UPD_TIMESTAMP_SET},
  };
  for (const Case& c : cases) {
    const Parsed p = Parse(c.args);
    SCOPED_TRACE(c.args.front() + " " + c.args.back());
    EXPECT_EQ(p.result, 0);
    EXPECT_STREQ(p.info.device, c.device);
    EXPECT_STREQ(p.info.timestamp, c.timestamp);
    EXPECT_EQ(p.info.flags, c.flags);
  }
}

}  // namespace
}  // namespace upd
