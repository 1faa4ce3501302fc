#pragma once

namespace pelmora::worker {

// Asks the kernel to kill this process when its parent dies, so a killed program never
// leaves a worker behind. False when the parent is already gone (it died before the
// request took effect): the caller ends at once.
bool DieWithParent();

// A worker holds password candidates in its memory: a crash on a hostile file must not
// write them into a core file, nor may another process of the user read them through
// ptrace.
void KeepOutOfCoreDumps();

} // namespace pelmora::worker
