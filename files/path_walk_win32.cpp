#include <windows.h>

#include "files/cp932.h"
#include "files/path_walk.h"

namespace walk {

// A path whose attributes cannot be read gives all bits set, the folder bit among them: it is
// tried as a folder, its listing fails, and it adds nothing.
Kind Inspect(const std::string& path, std::int64_t& size, bool& link) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  link = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return Kind::kFolder;
  WIN32_FIND_DATAA data;
  HANDLE h = FindFirstFileA(path.c_str(), &data);
  if (h == INVALID_HANDLE_VALUE) return Kind::kNeither;
  FindClose(h);
  size = static_cast<std::int64_t>((std::uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow);
  return Kind::kFile;
}

// The volume and file number: the same folder reached through a link or junction has the same
// identity under another path.
bool Identify(const std::string& folder, FolderId& id) {
  HANDLE h = CreateFileA(folder.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                         FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION info;
  const bool ok = GetFileInformationByHandle(h, &info) != FALSE;
  CloseHandle(h);
  if (ok) id = {info.dwVolumeSerialNumber, (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow};
  return ok;
}

// The listing already tells folders from files and gives each file's size.
bool List(const std::string& folder, std::vector<Entry>& entries) {
  WIN32_FIND_DATAA data;
  HANDLE h = FindFirstFileA(Join(folder, "*.*").c_str(), &data);
  if (h == INVALID_HANDLE_VALUE) return false;
  do {
    entries.push_back({data.cFileName, (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0,
                       static_cast<std::int64_t>((std::uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow), true,
                       (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0});
  } while (FindNextFileA(h, &data));
  FindClose(h);
  return true;
}

std::string Join(const std::string& folder, const std::string& name) {
  return EndsWithSeparator(folder) ? folder + name : folder + "\\" + name;
}

std::pair<std::string, std::string> Split(const std::string& path) {
  const std::ptrdiff_t sep = FindLastSeparator(path);
  return {path.substr(0, static_cast<std::size_t>(sep + 1)), path.substr(static_cast<std::size_t>(sep + 1))};
}

FileEntry MakeEntry(std::string path, std::int64_t size) { return MakeFileEntry(std::move(path), size); }

}  // namespace walk
