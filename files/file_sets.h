#pragma once

#include "files/file_set.h"

/// Files collected from drops, shown in the file list and kept in the standard order.
extern FileSet g_sourceSet;
/// Entries chosen by a computation or moved there by hand, shown in the result list.
extern FileSet g_resultSet;
/// Result entries held aside while a computation runs; appended to the result when it ends.
extern FileSet g_pinnedSet;
