#include <windows.h>
#include <bcrypt.h>

#include <vector>

#include "platform/FileDigest.h"
#include "platform/win32/WinText.h"

namespace {

// One hash of the system's cryptography provider, closed with its object.
class CHash {
 public:
  explicit CHash(LPCWSTR algorithm) {
    if (BCryptOpenAlgorithmProvider(&m_algorithm, algorithm, nullptr, 0) != 0) {
      m_algorithm = nullptr;
      return;
    }
    if (BCryptCreateHash(m_algorithm, &m_hash, nullptr, 0, nullptr, 0, 0) != 0) m_hash = nullptr;
  }
  ~CHash() {
    if (m_hash) BCryptDestroyHash(m_hash);
    if (m_algorithm) BCryptCloseAlgorithmProvider(m_algorithm, 0);
  }
  CHash(const CHash&) = delete;
  CHash& operator=(const CHash&) = delete;
  bool Ok() const { return m_hash != nullptr; }
  void Update(const unsigned char* data, DWORD length) { BCryptHashData(m_hash, const_cast<PUCHAR>(data), length, 0); }
  std::string FinishHex() {
    DWORD length = 0, got = 0;
    BCryptGetProperty(m_algorithm, BCRYPT_HASH_LENGTH, reinterpret_cast<PUCHAR>(&length), sizeof length, &got, 0);
    std::vector<unsigned char> value(length);
    BCryptFinishHash(m_hash, value.data(), length, 0);
    static const char kDigits[] = "0123456789abcdef";
    std::string text;
    for (unsigned char b : value) {
      text += kDigits[b >> 4];
      text += kDigits[b & 15];
    }
    return text;
  }

 private:
  BCRYPT_ALG_HANDLE m_algorithm = nullptr;
  BCRYPT_HASH_HANDLE m_hash = nullptr;
};

}  // namespace

bool DigestFile(const std::string& path, FileDigests* digests, std::string* error) {
  HANDLE file = CreateFileW(Widen(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    *error = SystemErrorText(GetLastError());
    return false;
  }
  CHash sha(BCRYPT_SHA256_ALGORITHM), md5(BCRYPT_MD5_ALGORITHM);
  bool ok = sha.Ok() && md5.Ok();
  if (!ok) *error = "the system's hash provider cannot be opened";
  std::vector<unsigned char> buffer(1 << 20);
  while (ok) {
    DWORD n = 0;
    if (!ReadFile(file, buffer.data(), static_cast<DWORD>(buffer.size()), &n, nullptr)) {
      *error = SystemErrorText(GetLastError());
      ok = false;
      break;
    }
    if (n == 0) break;
    sha.Update(buffer.data(), n);
    md5.Update(buffer.data(), n);
  }
  CloseHandle(file);
  if (!ok) return false;
  digests->sha256 = sha.FinishHex();
  digests->md5 = md5.FinishHex();
  return true;
}
