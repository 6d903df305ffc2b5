// What the two table fuzz targets share: a working directory with a "Tab"
// folder, a window system that answers every message with a key and turns the
// station's end into an exception, and a walk over a loaded table that stops
// the fuzzer at the first reference pointing anywhere it must not.
#pragma once
#include <cstddef>
#include <cstdint>

// Writes the input to Tab/<name> in the fuzzing directory (made on the first
// call, entered for each load), loads it into `slot` and checks what was
// loaded. An input whose first byte is odd is written without that byte behind
// a long filler line, so that it straddles the loader's first 64 KiB read. A
// station end (damaged postal code) comes back as false; the slot must then be
// empty.
bool LoadAndWalk(const uint8_t* data, std::size_t size, const char* name, int slot);
