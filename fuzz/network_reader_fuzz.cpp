// Fuzz target: a network file read with -nt (and with -vi when built with
// LUMTRA_FUZZ_VIRTUAL_INPUT), through every stage before the batches.
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string file = lumtra::fuzz::scratch() + "/net.txt";
  lumtra::fuzz::write_whole(file, data, size);
  std::vector<std::string> args{"-nt:" + file, "-b:1", "-t:1"};
#ifdef LUMTRA_FUZZ_VIRTUAL_INPUT
  args.push_back("-vi");
#endif
  lumtra::fuzz::prepare(args, "");
  return 0;
}
