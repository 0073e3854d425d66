#pragma once
// Named points in a run where the process can be made to die at once, as a power cut or a
// `kill -9` would end it, so that restart behaviour can be proved at each step boundary.
//
// A point does nothing unless the environment variable VELMORA_CRASH_AT holds exactly its
// name; then the process ends itself with SIGKILL: no destructor, no flush, no atexit handler
// runs. The variable is read once, at the first call in the process (not at load, so a
// process may set it just before the run it wants to end), and kept; unset, a call costs one
// comparison with a cached empty value.

namespace platform {

void crashPoint(const char* name);

}  // namespace platform
