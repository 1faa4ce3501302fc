#pragma once

// A worker runs under a limit on its memory (RLIMIT_DATA, set by the program that starts
// it), so that one hostile file cannot take the machine's: a picture that declares
// gigapixels, a page of millions of operations. Where the limit makes an allocation
// fail, the libraries react each in their own way: poppler prints "Out of memory" and
// either goes on without the picture or aborts, MuPDF throws and goes on, tesseract and
// the C++ library throw bad_alloc. Here every such failure is noticed, so that the page
// it cut short is named and the worker, whose libraries may be left in a poor state,
// ends after its answer and is replaced.

#include <string>

namespace pelmora::worker {

// The status of a worker that ended because memory ran out.
constexpr int kServeOutOfMemory = 3;

// From the start of serving: standard error is gathered (and written after each page) so
// that poppler's "Out of memory" can be seen; a failed `new` or a failure that ends in
// abort() ends the worker with kServeOutOfMemory.
void WatchMemory();

// An allocation failed (MuPDF's allocator tells it here).
void NoteAllocationFailure();

// True when an allocation failed since the last call; writes out what standard error
// gathered meanwhile.
bool TakeAllocationFailure();

// True when any allocation failed since WatchMemory.
bool AllocationEverFailed();

// "needs more memory than the 1024 MB a converter may use", by the limit in force.
std::string MemoryShortage();

} // namespace pelmora::worker
