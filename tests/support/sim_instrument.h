// A simulated instrument in a temporary directory, installed as the process's
// platform for the lifetime of the object: in-process tests of the driver and
// the simulation.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"
#include "sim/instrument.h"
#include "sim/sim_platform.h"
#include "support/test_support.h"

namespace upd::test {

class SimulatedInstrument {
 public:
  explicit SimulatedInstrument(sim::CommandMode mode = sim::CommandMode::kRecord);

  [[nodiscard]] const sim::Instrument& instrument() const { return instrument_; }
  [[nodiscard]] sim::SimPlatform& platform() { return platform_; }
  /// Host path of an instrument path.
  [[nodiscard]] std::string Host(std::string_view instrumentPath) const;
  /// A directory beside the instrument for media and other host files.
  [[nodiscard]] std::string Scratch(std::string_view name) const;

  /// Plugs a fresh medium directory (returned) into port 1 at the default node.
  std::string PlugMedium();

  /// The timeline's lines so far, after every background program has ended.
  [[nodiscard]] std::vector<std::string> Timeline() const;

 private:
  TempDir dir_;
  sim::Instrument instrument_;
  sim::SimPlatform platform_;
  platform::ScopedPlatform installed_;
};

}  // namespace upd::test
