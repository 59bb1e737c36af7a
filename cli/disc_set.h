#pragma once
// A run's part in a disc set (--catalog FILE): the catalog opened before anything is collected
// (and for a run that writes lists or folders, locked to the end of the run), what its discs hold
// taken out of the plan, the new discs numbered after its last and labelled, each carrying
// SHA256SUMS and its set file, and the discs recorded once they are delivered.

#include <cstdint>
#include <string>
#include <vector>

#include "cli/collection.h"
#include "cli/options.h"
#include "discs/model.h"
#include "sets/catalog.h"
#include "sets/sha256.h"

/// A file to read for its SHA-256: where, how many bytes it must have (-1: any), where the digest
/// goes, and the source it is named by in messages (empty: its path).
struct ToHash {
  std::string path;
  std::int64_t size = -1;
  Sha256Digest* digest = nullptr;
  std::string source;
};
/// Reads each file once for its SHA-256, telling the bytes read, the speed and the time left on a
/// terminal (`what` is being done). False with `why` when a file cannot be read, has another size
/// than planned, or a signal came.
bool HashAll(const std::vector<ToHash>& files, bool quiet, const std::string& what, std::string& why);

class RunSet {
 public:
  /// Opens the catalog of --catalog, if given: made and locked when the run writes; a plan that is
  /// only printed reads it (an absent catalog is an empty set). False after telling why.
  bool Open(const Options& o, const Job& job);
  bool Active() const { return m_active; }
  /// How many collected files TakeOutHeld found on discs of the set.
  std::size_t Held() const { return m_held; }
  /// Whether the discs written are recorded.
  bool Recording() const { return m_recording; }

  /// Takes out of the collection the files some disc of the set holds: the same source, size and
  /// time of change, or with `byContent` the same SHA-256 (only the others are read for it; their
  /// digests stay in the collection). Tells how many. False at a signal or when the catalog or a
  /// file cannot be read (told).
  bool TakeOutHeld(Collection& c, bool byContent, bool quiet);
  /// What each disc of the set holds besides its files: the two files at its root (whole sectors
  /// for the set file, a sector's worth of rounding for SHA256SUMS, whose lines count with the
  /// files) and their records.
  std::int64_t CarriedBytes(const DiscModel& model) const;

  /// The number of the first new disc: after the catalog's last, or 1.
  int FirstNumber() const { return m_active ? m_catalog.LastDisc() + 1 : 1; }
  /// The label of new disc `number`.
  DiscLabel Label(int number) const { return m_catalog.NewLabel(number); }
  Catalog& Discs() { return m_catalog; }

 private:
  Catalog m_catalog;
  bool m_active = false, m_recording = false;
  std::size_t m_held = 0;
};
