#include "platform/Containers.h"

// The libraries that read image containers are built for Linux only.
std::shared_ptr<CDevice> OpenContainer(const std::string& kind, const std::string&, std::string* error) {
  *error = "this is a " + kind + " image, which the Windows build cannot read; convert it to a raw image " +
           "(qemu-img convert -O raw, or ewfexport for EWF) or use the Linux build";
  return nullptr;
}
