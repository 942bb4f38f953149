#pragma once

// One fuzz input, run through every operation of the engine on a scratch copy of
// the archive it describes: open, check and strict check, content types, export,
// numbered export, WriteEntryTo, CompareWith (with itself, with a copy changed in
// one byte, with its convert), ConvertTo both ways, ImportEntriesFrom (into a fresh
// archive, into a copy of itself, and refused from itself), then delete, import,
// rename and rebuild. Shared by the libFuzzer target and the test that
// replays the committed corpus, so both run exactly the same code.
//
// Input layout:
//   byte 0     options: bit 0 no .dir file beside the .img; bit 1 import a file
//              named like the first entry (a replacement) as well; bits 2-7 pick
//              the entry to delete (modulo the count)
//   byte 1     length of the imported file, in units of 61 bytes
//   bytes 2-3  length L of the .dir part, little-endian
//   then       L bytes of .dir (fewer if the input ends), the rest is the .img
//
// Returns 0; a broken promise of the engine ends the process (abort), as does
// any fault the sanitizers catch.

#include <cstddef>
#include <cstdint>

int FuzzArchiveInput(const uint8_t *data, size_t size);
