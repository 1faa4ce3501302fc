#pragma once

namespace pelmora::worker {

// Tesseract's OpenMP threads made one page several times slower when workers run side
// by side, so workers run with OMP_THREAD_LIMIT=1. libgomp reads it once, when it is
// loaded: a worker started without it sets it and starts itself again (same process,
// same arguments). Returns when the variable was there, or when the restart failed.
void RestartWithOneOpenMpThread(char *argv[]);

} // namespace pelmora::worker
