#include "platform/FileDigest.h"

#include <fcntl.h>
#include <openssl/evp.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <vector>

namespace {

struct DigestContextFree {
  void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};
using DigestContext = std::unique_ptr<EVP_MD_CTX, DigestContextFree>;

std::string Hex(const unsigned char* bytes, unsigned int length) {
  static const char kDigits[] = "0123456789abcdef";
  std::string text;
  for (unsigned int i = 0; i < length; ++i) {
    text += kDigits[bytes[i] >> 4];
    text += kDigits[bytes[i] & 15];
  }
  return text;
}

std::string Finish(EVP_MD_CTX* context) {
  unsigned char value[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  EVP_DigestFinal_ex(context, value, &length);
  return Hex(value, length);
}

}  // namespace

bool DigestFile(const std::string& path, FileDigests* digests, std::string* error) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    *error = std::strerror(errno);
    return false;
  }
  DigestContext sha(EVP_MD_CTX_new()), md5(EVP_MD_CTX_new());
  bool ok = sha && md5 && EVP_DigestInit_ex(sha.get(), EVP_sha256(), nullptr) == 1 &&
            EVP_DigestInit_ex(md5.get(), EVP_md5(), nullptr) == 1;
  std::vector<unsigned char> buffer(1 << 20);
  while (ok) {
    const ssize_t n = read(fd, buffer.data(), buffer.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      *error = std::strerror(errno);
      ok = false;
      break;
    }
    if (n == 0) break;
    EVP_DigestUpdate(sha.get(), buffer.data(), static_cast<size_t>(n));
    EVP_DigestUpdate(md5.get(), buffer.data(), static_cast<size_t>(n));
  }
  close(fd);
  if (!ok) {
    if (error->empty()) *error = "the digest cannot be started";
    return false;
  }
  digests->sha256 = Finish(sha.get());
  digests->md5 = Finish(md5.get());
  return true;
}
