// MD5 message digest (RFC 1321). Used for the login password only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class MD5 {
 public:
  MD5();
  void update(const void* data, std::size_t size);
  void update(const std::string& text) { update(text.data(), text.size()); }
  // Pads and closes the digest; later updates are ignored.
  void finalize();
  // The digest as 32 lower-case hexadecimal characters (finalizes first if needed).
  std::string hexdigest();

 private:
  void transform(const std::uint8_t block[64]);

  std::uint32_t state_[4];
  std::uint64_t bitCount_ = 0;
  std::uint8_t buffer_[64] = {};
  std::uint8_t digest_[16] = {};
  bool finalized_ = false;
};

// The MD5 digest of the text's bytes as 32 lower-case hexadecimal characters.
std::string md5(const std::string& text);
