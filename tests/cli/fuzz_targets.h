#pragma once
// The parsers zumibo-fit reads its input with, each checked against what it promises on any
// bytes: for libFuzzer (cmake -DZUMIBO_FUZZ=ON with clang) and for the tests, which run them
// over a short corpus and its mutations. Each returns what it found wrong, or nothing.

#include <cstddef>
#include <cstdint>
#include <string>

/// Capacities, counts and times: what is read is what the text says, commas only in threes.
std::string FuzzQuantityText(const std::uint8_t* data, std::size_t size);
/// A list: every record given is a size written in digits and a path, numbered in order.
std::string FuzzListInput(const std::uint8_t* data, std::size_t size);
/// A graft line: genisoimage's reading of it gives back the disc path and the source.
std::string FuzzGraftLine(const std::uint8_t* data, std::size_t size);
