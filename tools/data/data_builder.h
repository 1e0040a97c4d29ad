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
    data_builder* next;
};

struct data_builder_registrar {
    explicit data_builder_registrar(data_builder* builder);
};

#define ODDBALL_DATA_BUILDER(id, name, build) \
    static data_builder id##_builder{name, build, nullptr}; \
    static data_builder_registrar id##_builder_registrar{&id##_builder}
