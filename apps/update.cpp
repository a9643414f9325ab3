// The firmware updater as it runs on the instrument.
#include "driver/startup.h"

int main(int argc, char** argv) {
  return upd::UpdateMain(argc, argv);
}
