// Fuzz target: a generator parameter file (-g). The first byte picks the
// number of nodes typed on standard input (1 to 16) and whether -vi is
// given; the rest is the parameter file. The generated network is then
// read back like any network file.
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const std::string params = lumtra::fuzz::scratch() + "/params.txt";
  const std::string net = lumtra::fuzz::scratch() + "/generated.txt";
  lumtra::fuzz::write_whole(params, data + 1, size - 1);
  std::vector<std::string> args{"-g:" + params, "-nt:" + net, "-b:1", "-t:1"};
  if (data[0] & 0x80) args.push_back("-vi");
  if (data[0] & 0x40) args.push_back("-sn:2");
  const std::string nodes = std::to_string(1 + (data[0] & 0x0f)) + "\n";
  lumtra::fuzz::prepare(args, nodes);
  return 0;
}
