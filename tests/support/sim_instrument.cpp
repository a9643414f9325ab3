#include "support/sim_instrument.h"

#include <sys/prctl.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "common/instrument_paths.h"

namespace upd::test {

namespace {

sim::Instrument MakeInstrument(const TempDir& dir) {
  // Background programs started by the code under test become our children, so
  // Timeline() can wait for them.
  ::prctl(PR_SET_CHILD_SUBREAPER, 1UL, 0UL, 0UL, 0UL);
  if (!sim::Instrument::Init(dir / "instrument").empty()) std::abort();
  auto instrument = sim::Instrument::Open(dir / "instrument");
  if (!instrument) std::abort();
  return *instrument;
}

}  // namespace

SimulatedInstrument::SimulatedInstrument(sim::CommandMode mode)
    : instrument_(MakeInstrument(dir_)), platform_(instrument_, mode), installed_(platform_) {}

std::string SimulatedInstrument::Host(std::string_view instrumentPath) const {
  return instrument_.Host(instrumentPath);
}

std::string SimulatedInstrument::Scratch(std::string_view name) const {
  return dir_ / name;
}

std::string SimulatedInstrument::PlugMedium() {
  const std::string medium = Scratch("medium");
  std::filesystem::create_directories(medium + "/firmware");
  if (!instrument_.Plug(medium, 1, kDefaultDevice).empty()) std::abort();
  return medium;
}

std::vector<std::string> SimulatedInstrument::Timeline() const {
  sim::ReapDescendants();
  std::ifstream in(instrument_.root() + "/sim/events.log");
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

}  // namespace upd::test
