#include "driver/runner.h"

#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "common/instrument_paths.h"
#include "driver/startup.h"
#include "support/digests.h"
#include "support/fault_platform.h"
#include "support/sim_instrument.h"

namespace upd {
namespace {

namespace fs = std::filesystem;

TEST(SignatureGate, StepsComeFromTheVerifiedBytes) {
  test::SimulatedInstrument sim;
  const std::string medium = sim.PlugMedium();
  test::TempDir keys;
  ASSERT_TRUE(test::MakeKeyPair(keys.path()));
  fs::copy_file(keys / "key.pub", sim.Host(kPublicKeyPath));
  test::WriteFile(medium + "/firmware/AuxInfo.txt",
                  "SectionList\nSequence = S\nS\nOperation = RemoveFiles\nfile1 = /signed\n");
  ASSERT_TRUE(test::SignFile(keys.path(), medium + "/firmware/AuxInfo.txt",
                             medium + "/firmware/AuxInfo.txt.sha256"));
  test::WriteFile(medium + "/firmware/unsigned.txt",
                  "SectionList\nSequence = S\nS\nOperation = RemoveFiles\nfile1 = /unsigned\n");
  test::WriteFile(sim.Host("/signed"), "x");
  test::WriteFile(sim.Host("/unsigned"), "x");
  ASSERT_EQ(sim.platform().Mount(kDefaultDevice, kMountPoint, kMediumFsType, 8), 0);
  Mounted = true;

  // The reader's pass finds other bytes than the signature check after it.
  test::OpenHook swapped(sim.platform(), kManifestPath,
                         [](int n) { return n == 1 ? "/mnt/firmware/unsigned.txt" : ""; });
  const platform::ScopedPlatform installed(swapped);
  UpdateInfo info = NewUpdateInfo();
  std::snprintf(info.device, sizeof info.device, "%s", kDefaultDevice);
  info.flags = UPD_SSL_CHECK;
  EXPECT_EQ(RunUpdate(&info), 0);
  EXPECT_TRUE(fs::exists(sim.Host("/unsigned")));
  EXPECT_FALSE(fs::exists(sim.Host("/signed")));
}

}  // namespace
}  // namespace upd
