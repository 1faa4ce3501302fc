#pragma once

namespace pelmora {

// The program holds passwords in its memory: a crash or Ctrl+\ must not write them into a
// core file, nor may another process of the user read them through ptrace. Called first
// thing in main.
void KeepOutOfCoreDumps();

} // namespace pelmora
