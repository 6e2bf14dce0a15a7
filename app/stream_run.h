// The settings of the streamed road (flags and environment), the choice
// between the roads by memory budget, and the line that ends a streamed
// run. The road itself is simplify/stream_file_run.h.
#pragma once

#include <cstdint>
#include <string>

#include "simplify/stream_file_run.h"

namespace Tavrin {

// The settings from TAVRIN_STREAM_BLOCK (a count) and TAVRIN_STREAM_BUDGET
// (bytes, with an optional K, M or G suffix); defaults where a variable is
// unset or empty. The default budget is half the memory available when the
// process starts. False, having said which, when a variable is set to
// something that is not a positive number.
bool stream_settings_from_environment(StreamSettings& settings);

// Sets the block size (`block`) or the budget from a flag's or variable's
// text `name` gave: false, having said so, when it is not a positive
// number; a block beyond kMaxStreamBlock is capped, with a line saying so.
bool set_stream_setting(StreamSettings& settings, const char* name, const char* text, bool block);

// Parses a positive count or byte size with an optional K, M or G suffix
// (powers of 1024); 0 when the text is not one.
uint64_t parse_byte_size(const char* text);

// Whether the in-memory road is expected to need more than the budget for
// this file: true only for a binary PLY file whose header reads.
bool exceeds_memory_budget(const std::string& path, uint64_t budget);

// Peak resident memory of the process so far, in bytes (0 when unknown).
uint64_t peak_resident_bytes();

// The line that says the mesh was streamed, with the block size and the
// peak resident memory.
void log_stream_summary(const std::string& path, const StreamSettings& settings);

}  // namespace Tavrin
