#pragma once
// Folders laid out as the discs will be: discN/DISC-PATH for every chosen file, a hard link to it
// or a copy of it.

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

#include "cli/path_lists.h"
#include "cli/staging.h"
#include "sets/sha256.h"

/// The SHA-256 of the collection's files, where known.
struct FileDigests {
  std::vector<Sha256Digest> digest;
  std::vector<bool> known;
};

/// Before anything is written: every source is still the regular file planned, of its size (a
/// symbolic link counts as the file it leads to); for links, on the `device` of the target; for
/// copies, readable, with the bytes they take in `bytes` (the data of a file with several names
/// counted once). False with the reason, or when g_stop is set.
bool CheckSources(const std::vector<std::vector<DiscFile>>& discs, bool copy, dev_t device, std::uint64_t& bytes,
                  std::string& why);

/// Makes discN/DISC-PATH in the target's staging folder for every file, each file and folder made
/// recorded for the manifest: a hard link to the file a source leads to, or a copy with its times,
/// mode and, where allowed, owner (as cp -p). Each source is checked as it is placed: a file that
/// is no longer the one planned, or changes size while it is copied, is refused (and nothing is
/// kept). The names of one file stay hard links of one copy, as on the disc, which stores its data
/// once. Stops when g_stop is set; false with the reason.
/// With `digests`, each file copied is hashed on the way (its SHA-256 at DiscFile::file, marked
/// known). The disc folders are named from `firstNumber` on.
bool PlaceFiles(DeliveryFolder& target, const std::vector<std::vector<DiscFile>>& discs, bool copy, int firstNumber,
                FileDigests* digests, std::string& why);
