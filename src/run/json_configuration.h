// The "configuration" field of the JSON document: every setting of the run
// by name, with null for what is unlimited or was not given.
#pragma once

#include "base/json_writer.h"
#include "network/network.h"
#include "run/config.h"

namespace lumtra {

void write_configuration(JsonWriter& j, const Config& config, const Network& net);

}  // namespace lumtra
