// The 64 KB packer: compresses a program with the context-mixing model of
// cm_model.h and puts it behind the unpacking stub (a host tool's library,
// portable).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "size/packers/cm_model.h"

using pack_bytes = std::vector<uint8_t>;

// A whole file, and back; a file is written beside its name and renamed
// into place, so no partial file is ever left under it.  False on failure.
bool pack_read_file(const char* path, pack_bytes* data);
bool pack_write_file(const std::string& path, const pack_bytes& data);

// The model settings the show is packed with.
cm_params default_pack_params();

// The arithmetic-coded stream of `data`, and back (cm_decode does the latter in the stub).
pack_bytes cm_encode_bytes(const pack_bytes& data, const cm_params& params);
pack_bytes cm_decode_bytes(const pack_bytes& stream, uint32_t size, const cm_params& params);

// The file range [start, end) of the ELF section `name`; false if there is none or the file is not 64-bit ELF.
bool find_elf_section(const pack_bytes& elf, const char* name, uint32_t* start, uint32_t* end);

// The packed data the stub reads: header, then the coded program, x86-filtered in [start, end).
pack_bytes pack_program(const pack_bytes& program, uint32_t start, uint32_t end, const cm_params& params);
// Whether the stub would unpack `packed` to `program` (decoded here the same way).
bool unpacks_to(const pack_bytes& packed, const pack_bytes& program);

// The stub cut to its one loaded segment, with `packed` behind it and the
// segment grown over it and over the zeros the decoder reads past its end;
// false with `why` if the stub is not laid out as stub.ld lays it out.
bool attach_to_stub(const pack_bytes& stub_elf, const pack_bytes& packed, pack_bytes* out, std::string* why);
