// Helpers the tests share: where things are, running a program, hashing bytes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

std::string source_path(const std::string& relative);  // inside the checkout
std::string binary_path(const std::string& relative);  // inside the build tree
std::string tool();  // oddball-tool in the build tree, for run_command
// A fresh empty folder for one test's files (under the build tree).
std::string scratch_dir(const std::string& name);

struct command_result {
    int status;          // exit status, or 128 + signal
    std::string output;  // standard output
    std::string errors;  // standard error
};
// Runs a shell command line and collects what it printed.
command_result run_command(const std::string& command_line);

std::vector<uint8_t> read_file_bytes(const std::string& path);
void write_file_bytes(const std::string& path, const std::vector<uint8_t>& bytes);

// FNV-1a over bytes, 64-bit, printed as 16 hex digits: for golden hashes.
std::string hash_bytes(const void* data, size_t size);
