#pragma once
// SHA-256 by OpenSSL's libcrypto (EVP, which uses the processor's SHA extensions where it has
// them): a hasher fed as data passes by, so that a file is hashed while it is copied, and a file
// read once through it.

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

using Sha256Digest = std::array<std::uint8_t, 32>;

class Sha256 {
 public:
  Sha256();
  ~Sha256();
  Sha256(const Sha256&) = delete;
  Sha256& operator=(const Sha256&) = delete;
  void Update(const void* data, std::size_t size);
  /// The digest of everything given since the start or the last Finish; the hasher then starts
  /// again empty.
  Sha256Digest Finish();

 private:
  struct evp_md_ctx_st* m_context;
};

/// The digest as 64 lowercase hex digits, as sha256sum prints it.
std::string HexDigest(const Sha256Digest& digest);
/// 64 hex digits (either case); false for anything else.
bool ParseHexDigest(std::string_view hex, Sha256Digest& digest);

/// Told how many bytes of `total` have been read so far; false stops the reading.
using ReadProgress = std::function<bool(std::uint64_t done, std::uint64_t total)>;

/// Reads the file once and hashes it; `size` is the bytes read. The progress (may be empty) is
/// told at least every 16 MiB. False with `why` when the file cannot be opened or read, is not a
/// regular file, or when the progress stopped the reading ("stopped").
bool HashFile(const std::string& path, Sha256Digest& digest, std::uint64_t& size, const ReadProgress& progress,
              std::string& why);
