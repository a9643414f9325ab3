// Release engineers' tools for an update medium: check it, fill in its digests.
#include "medium/medium_main.h"

int main(int argc, char** argv) {
  return upd::medium::MediumMain(argc, argv);
}
