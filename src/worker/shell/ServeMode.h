#pragma once

namespace pelmora::worker {

class TextEngine;

// Exit statuses of the serve mode besides 0 (the end of input, after a whole request).
constexpr int kServeBrokenRequest = 1; // a request that could not be read was answered "error"
constexpr int kServeOutputFailed = 2;  // the answers could not be written

// Answers conversion requests read from `in` on `out`, one after the other, until the end
// of input (see protocol/WorkerProtocol.h), opening the files with `engine`. Returns the
// process's exit status.
int Serve(int in, int out, TextEngine &engine);

} // namespace pelmora::worker
