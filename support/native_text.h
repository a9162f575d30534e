#pragma once
// The system's own text interfaces in UTF-8: C files opened by name, the
// program's arguments, environment values and the console. On POSIX systems
// these are bytes and pass unchanged; on Windows the narrow calls would use the
// ANSI code page, so these helpers use the wide (UTF-16) calls instead.

#include <cstdio>
#include <string>
#include <vector>

namespace support {

// std::fopen with a UTF-8 path; nullptr with errno set on failure (also for a
// path that is not UTF-8).
std::FILE* OpenFile(const std::string& path, const char* mode);

// The program's arguments after the program's name, in UTF-8.
std::vector<std::string> CommandLineArguments(int argc, char** argv);

// The value of an environment variable in UTF-8; "" when it is not set.
std::string EnvironmentValue(const char* name);

// Lets text written to the console in UTF-8 show as such.
void UseUtf8Console();

}  // namespace support
