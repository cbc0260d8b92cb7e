#pragma once

#include <cstddef>
#include <cstdint>

// The bodies of the fuzz targets, shared by the libFuzzer programs and the replay test.
// Each traps when an invariant breaks.

// SCPI lines through the parser and a mainframe, and replies through the driver's parser.
void FuzzScpi(const uint8_t* data, size_t size);
// A bench file through its parser; what parses must write and read back unchanged.
void FuzzBench(const uint8_t* data, size_t size);
// "expression\nname": a search expression against a resource name, and the name parser.
void FuzzVisaNames(const uint8_t* data, size_t size);
