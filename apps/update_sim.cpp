// The updater on a simulated instrument kept in a directory.
#include "sim/sim_main.h"

int main(int argc, char** argv) {
  return upd::sim::SimMain(argc, argv);
}
