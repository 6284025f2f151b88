#include "platform/FileOutput.h"

namespace {
OutputFileFactory& Factory() {
  static OutputFileFactory factory;
  return factory;
}
}  // namespace

void SetOutputFileFactoryForTests(OutputFileFactory factory) { Factory() = std::move(factory); }

std::unique_ptr<COutputFile> COutputFile::Create(const std::string& path, std::string* error, WriteFault* fault) {
  WriteFault ignored = WriteFault::None;
  WriteFault* kind = fault ? fault : &ignored;
  *kind = WriteFault::None;
  if (Factory()) return Factory()(path, error, kind);
  return CreateSystemOutputFile(path, error, kind);
}
