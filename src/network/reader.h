// Network reader: the one reader for -nt files, keyboard entry (-i) and
// generated files. It prints every prompt of the dialogue (also when reading
// a file), reads the answers in order and builds the Network: Virtual nodes
// for grooming ports and cores, port capacities, scaled and redistributed
// arrival rates, links. Then the batch count and batch time, with the
// command-line override rule.
#pragma once

#include <cstdint>

#include "network/token_reader.h"
#include "base/status.h"

namespace lumtra {

struct Run;

// Reads everything after the node count N (already read) into run.net.
Status read_network(Run& run, TokenReader& in, uint32_t node_count);
// Batch count and batch time: prompted when not given on the command line,
// otherwise read and discarded when the input is a file.
Status read_batch_values(Run& run, TokenReader& in);

}  // namespace lumtra
