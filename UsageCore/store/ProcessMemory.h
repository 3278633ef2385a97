#pragma once

// Process-wide allocator settings for a long-running process.
namespace ProcessMemory {

// Large short-lived buffers (a history file read or rewritten whole, a usage answer) get mappings
// of their own, so freeing one hands its pages back at once. Left alone, glibc raises its mapping
// threshold after the first such buffer is freed; later ones then come from the heap and leave
// holes that keep megabytes resident for the life of the process.
void returnLargeBuffersPromptly();

}  // namespace ProcessMemory
