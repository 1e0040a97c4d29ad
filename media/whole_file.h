// Whole files in and out: a checked reader (a regular file, of bounded size) and a writer that leaves nothing half-written (portable).
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
// The same for a text source, as one string.
bool read_text_file(const std::string& path, std::string* text, std::string* error);

// Writes `size` bytes to `path` through a temporary file beside it, renamed
// over `path` only once every byte is written, so a failure leaves no
// partial file.  False with one line in `error` ("PATH: cannot write: ...").
bool write_output_file(const std::string& path, const uint8_t* bytes, size_t size, std::string* error);
