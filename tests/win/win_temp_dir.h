#pragma once

#include <string>

/// A fresh folder under the Windows temporary folder (code page 932 path), removed with its
/// contents on destruction. Its name holds Japanese characters on purpose.
class WinTempDir {
 public:
  WinTempDir();
  WinTempDir(const WinTempDir&) = delete;
  WinTempDir& operator=(const WinTempDir&) = delete;
  ~WinTempDir();
  const std::string& path() const { return m_path; }

 private:
  std::string m_path;
};

void WriteWinFile(const std::string& path, const std::string& bytes);
std::string ReadWinFile(const std::string& path);
/// Removes a folder tree; does not follow folder links.
void RemoveWinTree(const std::string& path);
