// The builders of `oddball-tool build-data`: each turns sources in content/ into blocks of data/ (portable).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct data_block_out {
    std::string name;            // file name inside data/, e.g. "atlas.m1v"
    std::vector<uint8_t> bytes;
};

struct data_builder {
    const char* name;  // what it builds, for messages ("song", "atlas", ...)
    // Reads what it needs below `content_dir` and appends its blocks to `out`.
    // On a bad source it returns false after printing one line naming the
    // file and line on standard error.
    bool (*build)(const std::string& content_dir, std::vector<data_block_out>& out);
};

// The text of the content source at `path`; false after saying why on
// standard error.
bool read_content(const std::string& path, std::string* text);
// Says on standard error what is wrong at `line` of the source at `path`;
// false, for the builder to return.
bool source_fault(const std::string& path, int line, const std::string& message);

// Each builder is defined beside its code; build_data.cpp lists them all.
extern const data_builder atlas_builder, captions_builder, sequences_builder, font_builder, meshes_builder,
    recipes_builder, song_builder;
