#pragma once
// The linear relaxation of spreading files over discs (Gilmore and Gomory): discs may be filled
// in fractions. Its optimum is a lower bound on the disc count that is often higher than the
// bounds from sizes alone, and its solution shows which files go well together.

#include <atomic>
#include <cstdint>
#include <vector>

#include "discs/disc_list.h"
#include "search/span.h"

struct Relaxation {
  struct Column {
    double share;  ///< how much of it the solution takes, above 0
    std::vector<int> items;
  };
  int bound = 0;                ///< proven: no plan takes fewer discs (0 when unknown)
  DiscList discs;               ///< a plan rounded from the relaxed solution
  std::vector<Column> columns;  ///< the sets the relaxed solution takes, most first
  bool complete = false;        ///< at the optimum, or unable to pass `known`
};

/// What branching has decided about the items of a relaxation: pairs that may not share a disc,
/// and items that stand for several files (items tied together). Under ties no set's item may be
/// traded for a smaller one, so the duals are priced as they are, by a slower search that keeps
/// the pairs apart, and the solution's sets share no item.
struct Ties {
  std::vector<std::vector<int>> apart;  ///< for each item, those it may not share a disc with
  std::vector<int> files;               ///< for each item, the files it stands for (empty: one)
  DiscList* pool = nullptr;             ///< sets tried before each pricing; priced sets are added
};

/// First fit over `items` (indices into `sizes`, in descending order of size) that keeps the
/// pairs of `ties` apart and counts each item's files against maxPerDisc.
DiscList FirstFitApart(const std::vector<int>& items, Span<const std::int64_t> sizes, std::int64_t capacity,
                       int maxPerDisc, const Ties& ties);

/// Column generation from the plan `start` (item indices of each disc, sizes in descending order),
/// each column a set of at most maxPerDisc items (files, under `ties`) that fits a disc, priced
/// by an exact knapsack search. It ends at the optimum, once the relaxation can no longer raise
/// `known` (a bound already proven), or once the budget of knapsack nodes (`nodes`, less what it
/// spends) or the stop flag run out; the bound is proven at whatever point it ends.
Relaxation Relax(Span<const std::int64_t> sizes, std::int64_t capacity, int maxPerDisc, const DiscList& start,
                 int known, long long& nodes, const std::atomic<std::uint8_t>& stop, const Ties* ties = nullptr);
