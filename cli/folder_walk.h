#pragma once
// Walking and removing a tree inside a delivery's folder, never through a symbolic link and with
// at most three descriptors open whatever its depth, so that a tree a thousand folders deep is
// removed as well as a flat one, even under a low limit of open files.

#include <fcntl.h>
#include <sys/types.h>

#include <functional>
#include <string>
#include <vector>

/// How every folder inside a delivery's folder is opened: read-only, never through a link.
constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

/// The names in a folder, without "." and ".."; false when it cannot be listed.
bool Entries(int folder, std::vector<std::string>& names);

/// Visits what lies below the folder `name` in `base`, deepest first: `file(folder, name, path)`
/// for each entry that is not a folder (`folder` open on the one holding it), then
/// `leave(parent, name, path)` for each folder once its entries were visited, the top one last
/// with `base` as its parent. `path` is relative to `base`. A folder that cannot be opened is
/// left at once. False when `name` is no folder that can be opened: nothing is visited.
bool PostOrder(int base, const std::string& name,
               const std::function<void(int folder, const std::string& name, const std::string& path)>& file,
               const std::function<void(int parent, const std::string& name, const std::string& path)>& leave);

/// Removes `name` in `base` with everything below it.
void RemoveTree(int base, const std::string& name);
