#pragma once
// A folder for short-lived files that the system keeps in memory. Programs
// that sync each file they save to the disk (LibreOffice does) spend most of
// the time of a small file waiting for that sync; in memory it costs nothing.

#include <string>

namespace support {

// The memory-backed folder that every user may make files in (/dev/shm on
// Linux); "" where the system has none, or where the user named the folder
// for temporary files (TMPDIR), which then holds them all.
std::string MemoryFolder();

}  // namespace support
