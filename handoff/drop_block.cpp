#include "handoff/drop_block.h"

#include <cstdint>
#include <cstring>

#include "files/file_set.h"

namespace {

constexpr std::size_t kHeaderSize = 20;

void PutLittleEndian32(unsigned char* out, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) out[i] = static_cast<unsigned char>(value >> (8 * i));
}

}  // namespace

std::size_t DropBlockSize(FileSet& files) {
  std::size_t size = kHeaderSize + 1;
  for (files.ResetCursor(true); const FileEntry* e = files.GetCurrent(); files.MoveNext()) size += e->path.size() + 1;
  return size;
}

void WriteDropBlock(FileSet& files, unsigned char* out) {
  // pFiles, then pt.x, pt.y, fNC and fWide, all zero.
  PutLittleEndian32(out, kHeaderSize);
  std::memset(out + 4, 0, kHeaderSize - 4);
  unsigned char* p = out + kHeaderSize;
  for (files.ResetCursor(true); const FileEntry* e = files.GetCurrent(); files.MoveNext()) {
    std::memcpy(p, e->path.c_str(), e->path.size() + 1);
    p += e->path.size() + 1;
  }
  *p = 0;
}
