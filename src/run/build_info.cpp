// The build as CMake saw it; the definitions are set on this file alone, so
// a new commit or new flags recompile nothing else.
#include "run/run_record.h"

#ifndef LUMTRA_BUILD_COMPILER
#define LUMTRA_BUILD_COMPILER "unknown"
#endif
#ifndef LUMTRA_BUILD_FLAGS
#define LUMTRA_BUILD_FLAGS ""
#endif
#ifndef LUMTRA_BUILD_GIT_COMMIT
#define LUMTRA_BUILD_GIT_COMMIT ""
#endif

namespace lumtra {

BuildInfo build_info() { return {LUMTRA_BUILD_COMPILER, LUMTRA_BUILD_FLAGS, LUMTRA_BUILD_GIT_COMMIT}; }

}  // namespace lumtra
