#include "sets/sha256.h"

#include <fcntl.h>
#include <openssl/evp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <new>

namespace {

constexpr std::size_t kReadChunk = 1 << 18;

// The digest's implementation, fetched once: fetching it for every file would cost a look-up
// in OpenSSL's provider tables each time.
const EVP_MD* Method() {
#if OPENSSL_VERSION_MAJOR >= 3
  static EVP_MD* const method = EVP_MD_fetch(nullptr, "SHA256", nullptr);
  return method;
#else
  return EVP_sha256();
#endif
}

}  // namespace

Sha256::Sha256() : m_context(EVP_MD_CTX_new()) {
  if (!m_context || !EVP_DigestInit_ex(m_context, Method(), nullptr)) throw std::bad_alloc();
}

Sha256::~Sha256() { EVP_MD_CTX_free(m_context); }

void Sha256::Update(const void* data, std::size_t size) { EVP_DigestUpdate(m_context, data, size); }

Sha256Digest Sha256::Finish() {
  Sha256Digest digest{};
  unsigned int length = 0;
  EVP_DigestFinal_ex(m_context, digest.data(), &length);
  EVP_DigestInit_ex(m_context, Method(), nullptr);
  return digest;
}

std::string HexDigest(const Sha256Digest& digest) {
  static const char kDigits[] = "0123456789abcdef";
  std::string hex(64, '0');
  for (std::size_t i = 0; i < digest.size(); ++i) {
    hex[2 * i] = kDigits[digest[i] >> 4];
    hex[2 * i + 1] = kDigits[digest[i] & 15];
  }
  return hex;
}

bool ParseHexDigest(std::string_view hex, Sha256Digest& digest) {
  if (hex.size() != 64) return false;
  const auto value = [](char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  for (std::size_t i = 0; i < digest.size(); ++i) {
    const int high = value(hex[2 * i]), low = value(hex[2 * i + 1]);
    if (high < 0 || low < 0) return false;
    digest[i] = static_cast<std::uint8_t>(high << 4 | low);
  }
  return true;
}

bool HashFile(const std::string& path, Sha256Digest& digest, std::uint64_t& size, const ReadProgress& progress,
              std::string& why) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return why = std::strerror(errno), false;
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    why = S_ISDIR(st.st_mode) ? "a folder" : "not a regular file";
    close(fd);
    return false;
  }
  posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
  const std::unique_ptr<char[]> buffer(new char[kReadChunk]);
  Sha256 hasher;
  size = 0;
  const std::uint64_t total = static_cast<std::uint64_t>(st.st_size);
  bool ok = true;
  for (;;) {
    const ssize_t n = read(fd, buffer.get(), kReadChunk);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      ok = false, why = std::strerror(errno);
      break;
    }
    hasher.Update(buffer.get(), static_cast<std::size_t>(n));
    size += static_cast<std::uint64_t>(n);
    if (progress && !progress(size, total)) {
      ok = false, why = "stopped";
      break;
    }
  }
  close(fd);
  if (ok) digest = hasher.Finish();
  return ok;
}
