#pragma once
// A recovery target that fills up after a number of bytes, as a small disk
// would: every file is written to the real disk until the room runs out.

#include <algorithm>
#include <memory>

#include "platform/FileOutput.h"

class FillingTarget {
 public:
  explicit FillingTarget(uint64_t room) : m_room(std::make_shared<uint64_t>(room)) {
    SetOutputFileFactoryForTests([room = m_room](const std::string& path, std::string* error, WriteFault* fault) {
      std::unique_ptr<COutputFile> real = CreateSystemOutputFile(path, error, fault);
      std::unique_ptr<COutputFile> limited;
      if (real) limited = std::make_unique<Limited>(std::move(real), room);
      return limited;
    });
  }
  ~FillingTarget() { SetOutputFileFactoryForTests(nullptr); }

 private:
  class Limited : public COutputFile {
   public:
    Limited(std::unique_ptr<COutputFile> real, std::shared_ptr<uint64_t> room) : m_real(std::move(real)), m_room(room) {}
    bool Write(const void* data, uint32_t length) override {
      const uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(length, *m_room));
      *m_room -= n;
      if (n != 0 && !m_real->Write(data, n)) return false;
      return n == length;
    }
    bool Close() override { return m_real->Close(); }
    std::string LastErrorText() const override { return "No space left on device"; }
    WriteFault LastFault() const override { return WriteFault::TargetFull; }

   private:
    std::unique_ptr<COutputFile> m_real;
    std::shared_ptr<uint64_t> m_room;
  };
  std::shared_ptr<uint64_t> m_room;
};

