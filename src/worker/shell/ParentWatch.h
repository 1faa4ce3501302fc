#pragma once

namespace pelmora::worker {

// Asks the kernel to kill this process when its parent dies, so a killed program never
// leaves a worker behind. False when the parent is already gone (it died before the
// request took effect): the caller ends at once.
bool DieWithParent();

} // namespace pelmora::worker
