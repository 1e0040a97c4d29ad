// Reading a whole input file for a command of oddball-tool (portable; tools only).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Reads the regular file at `path` into `bytes`.  False with one line in
// `error` ("PATH: cannot open: ...", "PATH: not a file", "PATH: larger than
// ...") when it cannot; anything but a regular file (a folder, a device) is
// refused before it is read, and files over `limit` bytes too.
bool read_input_file(const std::string& path, std::vector<uint8_t>* bytes, std::string* error,
                     uint64_t limit = uint64_t(1) << 30);
