#pragma once

namespace pelmora::worker {

// pelmora-convert --version: its own version, then poppler's, tesseract's and leptonica's
// as this process runs them, one "name version" per line. Status 0, or 1 when standard
// output cannot be written.
int PrintVersions();

} // namespace pelmora::worker
