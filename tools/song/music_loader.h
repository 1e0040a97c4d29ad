// Music images from files from outside, checked before the player sees them (portable; tools only).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// A music image (1 MB, as the player reads it) built by build_music_image
// from the module and, when `stream_path` is not empty, the coded sample
// stream, both checked (sizes, stream blocks, then module_check).  False with
// one sentence in *error.
bool load_music_files(const std::string& module_path, const std::string& stream_path, std::vector<uint8_t>* image,
                      uint32_t* module_size, uint32_t* pcm_size, std::string* error);

// The same from bytes in memory.
bool load_music_bytes(const std::vector<uint8_t>& module, const std::vector<uint8_t>* stream,
                      std::vector<uint8_t>* image, uint32_t* module_size, uint32_t* pcm_size, std::string* error);
