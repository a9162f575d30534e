#pragma once
// How the process's allocator keeps the memory it is given back.

namespace support {

// Keeps memory freed by the program for its next allocations, instead of
// handing it back to the system as soon as a few hundred kilobytes lie free.
// A split parses and frees trees and pieces by the thousand; memory handed
// back and asked for again comes back as fresh pages, each one a fault, and
// on a virtual machine a fault costs as much as parsing a paragraph. Call it
// before any thread starts.
void KeepFreedMemory();

// Hands what is kept back to the system: for a long-lived process, after a
// run.
void ReturnFreedMemory();

}  // namespace support
