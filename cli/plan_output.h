#pragma once
// The plan as zumibo-fit prints it on standard output: each disc's files with their totals, and
// what no disc holds, as text or as JSON.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "cli/collection.h"
#include "cli/items.h"
#include "cli/json_writer.h"
#include "cli/options.h"

/// How sizes were counted, in words for the text output or as the JSON value.
std::string Accounting(const Job& job, bool json);
/// A path as the text output shows it: control bytes escaped (\n, \t, \x7f), so that every
/// name takes one line; -0 and --json give the bytes as they are.
std::string Shown(std::string_view path);

/// A disc as text: its files (a file's other names below it), its totals and its remainder,
/// after `heading` if any.
void PrintDisc(const Disc& d, const Collection& c, const Job& job, const char* heading);
/// The files the user asked for that no disc holds, with their reasons; nothing when none.
void PrintLeftOut(const std::vector<LeftOut>& left);

/// What a one-disc result adds to its disc's object in JSON.
struct OneDiscJson {
  std::string accounting;
  bool interrupted = false;
  const std::vector<LeftOut>* leftOut = nullptr;
};
/// A disc as a JSON object, its files streamed one by one; with `one`, the members of a
/// one-disc result too.
/// `number`, when not 0: the disc's number in its set.
void WriteDiscJson(JsonWriter& w, const Disc& d, const Collection& c, std::size_t candidates,
                   const OneDiscJson* one = nullptr, int number = 0);
/// The files no disc holds, as a JSON array.
void WriteLeftOutJson(JsonWriter& w, const std::vector<LeftOut>& left);
