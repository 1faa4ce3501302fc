#pragma once

// poppler's objects as the shell reads them for notes, metadata and attached files.

#include "worker/shell/PdfObject.h"

class Object;

namespace pelmora::worker {

// `object` as it is (references in it are followed when read); `id` its number when a
// reference led to it.
PdfObject PopplerObject(const Object &object, int id = 0);

} // namespace pelmora::worker
