#pragma once

// Process-wide allocator settings for a long-running process.
namespace ProcessMemory {

// Large short-lived buffers (a history file read or rewritten whole, a usage answer) get mappings
// of their own, so freeing one hands its pages back at once. Left alone, glibc raises its mapping
// threshold after the first such buffer is freed; later ones then come from the heap and leave
// holes that keep megabytes resident for the life of the process.
void returnLargeBuffersPromptly();

// At most two allocator arenas. glibc gives threads arenas of their own, and memory freed into one
// stays resident for the others: the bus thread's messages, freed on the main thread, kept
// about 200 MB resident after a 30 s flood of bus calls with the default, 90-130 MB with two.
void shareArenas();

}  // namespace ProcessMemory
