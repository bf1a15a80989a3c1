// Network reader: the one reader for -nt files, keyboard entry (-i) and
// generated networks. It prints every prompt of the dialogue (also when
// reading a file), reads the answers in order and builds the Network: Virtual
// nodes for grooming ports and cores, port capacities, scaled and
// redistributed arrival rates, fibres. Then the batch count and batch time,
// and the learning-automata constants, with the command-line override rule.
#pragma once

#include <cstdint>

#include "base/console.h"
#include "base/memory.h"
#include "base/status.h"
#include "network/network.h"
#include "network/options.h"
#include "network/token_reader.h"

namespace lumtra {

// How far a network source was read: everything up to and including the
// stage named is in the Network.
enum class ReadStage { nothing, nodes, slots, capacities, rates };

// Reads everything after the node count N (already read) into `net`,
// printing every prompt on `prompts`. The network's tables are taken from
// the memory budget. `reached`, when given, tells how far reading got, also
// when it stops with an error.
Status read_network(TokenReader& in, Console& prompts, const NetworkOptions& options, MemoryBudget& budget,
                    uint32_t node_count, Network& net, ReadStage* reached = nullptr);
// Batch count and batch time: prompted when not given on the command line
// (0 there), otherwise read and discarded when the input is a file.
Status read_batch_values(TokenReader& in, Console& prompts, uint32_t& batch_count, double& batch_time);
// Alpha and epsilon, for the methods that need them: the same rule, except
// that a file may end before them when both are given; each must lie
// between 0 and 1.
Status read_la_constants(TokenReader& in, Console& prompts, double& alpha, double& epsilon);

}  // namespace lumtra
