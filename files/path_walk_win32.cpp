#include <windows.h>

#include "files/cp932.h"
#include "files/narrow_win32.h"
#include "files/path_walk.h"

namespace walk {
namespace {

// The narrow (code page) file functions take paths of fewer than MAX_PATH characters.
constexpr std::size_t kLongestPath = MAX_PATH - 1;

std::wstring Wide(const std::string& text) {
  const int n = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(n > 0 ? n : 0), L'\0');
  if (n > 0) MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(), n);
  return wide;
}

std::int64_t SizeOf(DWORD high, DWORD low) { return static_cast<std::int64_t>((std::uint64_t{high} << 32) | low); }

}  // namespace

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
  size = SizeOf(data.nFileSizeHigh, data.nFileSizeLow);
  return Kind::kFile;
}

// The volume and file number: the same folder reached through a link or junction has the same
// identity under another path.
bool Identify(const std::string& folder, FolderId& id) {
  HANDLE h = CreateFileA(folder.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION info;
  const bool ok = GetFileInformationByHandle(h, &info) != FALSE;
  CloseHandle(h);
  if (ok) id = {info.dwVolumeSerialNumber, (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow};
  return ok;
}

// The listing already tells folders from files and gives each file's size. It is read in UTF-16,
// which names every file as it is: a name the code page cannot hold, or a path too long for the
// narrow file functions, would reach the user (and the writing software) as another name, so such
// entries are marked unreadable, under their name as the code page shows it.
bool List(const std::string& folder, std::vector<Entry>& entries, std::size_t limit) {
  const std::wstring wideFolder = Wide(Join(folder, ""));
  WIN32_FIND_DATAW data;
  HANDLE h = FindFirstFileExW((wideFolder + L"*").c_str(), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr,
                              FIND_FIRST_EX_LARGE_FETCH);
  if (h == INVALID_HANDLE_VALUE) return false;
  std::size_t seen = 0;
  std::string name;
  do {
    if (limit && ++seen > limit) {
      FindClose(h);
      return false;
    }
    const bool usable =
        wideFolder.size() + wcslen(data.cFileName) <= kLongestPath && NarrowExactly(data.cFileName, name);
    entries.push_back({usable ? name : NarrowAsShown(data.cFileName),
                       (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0,
                       SizeOf(data.nFileSizeHigh, data.nFileSizeLow), usable,
                       (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0});
  } while (FindNextFileW(h, &data));
  FindClose(h);
  return true;
}

bool LinkAbove(const std::string& path) {
  std::string at = path;
  for (;;) {
    while (EndsWithSeparator(at)) at.pop_back();
    if (at.size() <= 2) return false;  // a drive ("C:") or nothing left
    const DWORD attributes = GetFileAttributesA(at.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) return true;
    const std::ptrdiff_t sep = FindLastSeparator(at);
    if (sep <= 0) return false;
    at.resize(static_cast<std::size_t>(sep));
  }
}

std::string FolderKey(const std::string& folder) {
  std::string key = folder;
  if (EndsWithSeparator(key) && key.size() > 3) key.pop_back();
  for (std::size_t i = 0; i < key.size(); ++i) {
    const auto b = static_cast<unsigned char>(key[i]);
    if (cp932::IsLeadByte(b) && i + 1 < key.size()) ++i;  // the trail byte is not a letter
    else if (b >= 'a' && b <= 'z') key[i] = static_cast<char>(b - 'a' + 'A');
  }
  return key;
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
