// Image containers through the libyal libraries: libewf, libvhdi, libvmdk and
// libqcow. Each handle is opened read-only and read under a lock, since one
// open image serves every partition and the scan's read-ahead thread.

#include <libewf.h>
#include <libqcow.h>
#include <libvhdi.h>
#include <libvmdk.h>

#include <functional>
#include <mutex>
#include <vector>

#include "platform/Containers.h"
#include "platform/PositionedDevice.h"

namespace {

class CContainerDevice : public CPositionedDevice {
 public:
  using Reader = std::function<ssize_t(void* buffer, size_t length, off64_t offset, std::string* error)>;
  using Closer = std::function<void()>;

  CContainerDevice(uint64_t size, Reader read, Closer close)
      : m_size(size), m_read(std::move(read)), m_close(std::move(close)) {}
  ~CContainerDevice() override { m_close(); }
  CContainerDevice(const CContainerDevice&) = delete;
  CContainerDevice& operator=(const CContainerDevice&) = delete;

  bool ReadAt(uint64_t offset, void* buffer, uint32_t length, uint32_t* got) override {
    *got = 0;
    if (offset >= m_size) return true;
    const size_t n = static_cast<size_t>(std::min<uint64_t>(length, m_size - offset));
    std::lock_guard<std::mutex> lock(m_mutex);
    const ssize_t read = m_read(buffer, n, static_cast<off64_t>(offset), &m_errorText);
    if (read < 0) {
      m_error = 5;  // EIO: the library gives text, not a code
      return false;
    }
    *got = static_cast<uint32_t>(read);
    return true;
  }
  bool GetGeometry(DiskGeometry* geometry) override {
    geometry->bytesPerSector = 512;
    geometry->diskSize = m_size;
    return true;
  }
  uint32_t LastError() const override { return m_error; }
  std::string LastErrorText() const override {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_errorText;
  }

 private:
  uint64_t m_size;
  Reader m_read;
  Closer m_close;
  mutable std::mutex m_mutex;
  uint32_t m_error = 0;
  std::string m_errorText;
};

// Every libyal library reports errors the same way: a backtrace whose first
// line is the deepest cause and whose last is the call that failed.
template <typename Error, typename Sprint, typename Free>
std::string TakeError(Error** error, Sprint sprint, Free release, const char* fallback) {
  if (error == nullptr || *error == nullptr) return fallback;
  char text[4096] = {};
  sprint(*error, text, sizeof text);
  release(error);
  std::vector<std::string> lines;
  std::string line;
  for (const char* c = text; *c != '\0'; ++c) {
    if (*c == '\n' || *c == '\r') {
      if (!line.empty()) lines.push_back(line);
      line.clear();
    } else {
      line += *c;
    }
  }
  if (!line.empty()) lines.push_back(line);
  if (lines.empty()) return fallback;
  return lines.size() == 1 ? lines.front() : lines.front() + " (" + lines.back() + ")";
}

std::string EwfError(libewf_error_t** e) { return TakeError(e, libewf_error_backtrace_sprint, libewf_error_free, "unknown error"); }
std::string VhdiError(libvhdi_error_t** e) { return TakeError(e, libvhdi_error_backtrace_sprint, libvhdi_error_free, "unknown error"); }
std::string VmdkError(libvmdk_error_t** e) { return TakeError(e, libvmdk_error_backtrace_sprint, libvmdk_error_free, "unknown error"); }
std::string QcowError(libqcow_error_t** e) { return TakeError(e, libqcow_error_backtrace_sprint, libqcow_error_free, "unknown error"); }

// A differencing image holds only what changed since its parent; read alone it
// would give zeros for the rest and pass them off as the disk.
// The libraries take a null error pointer when the caller wants no error object.
template <typename Handle, typename Error, typename SizeFn, typename NameFn>
std::string ParentName(Handle* handle, SizeFn sizeOf, NameFn nameOf) {
  size_t size = 0;
  if (sizeOf(handle, &size, static_cast<Error**>(nullptr)) != 1 || size == 0 || size > 65536) return "";
  std::vector<uint8_t> name(size);
  if (nameOf(handle, name.data(), size, static_cast<Error**>(nullptr)) != 1) return "";
  return std::string(reinterpret_cast<const char*>(name.data()));
}

std::string ParentRefusal(const std::string& parent) {
  return "this is a differencing image whose data lies partly in its parent image '" + parent +
         "'; open the parent, or a copy merged with it (qemu-img convert), instead";
}

// The disk a library handle holds, read through the library; the handle is
// closed and freed with the device.
template <typename Handle, typename Error>
std::shared_ptr<CDevice> DeviceOver(Handle* handle, uint64_t size,
                                    ssize_t (*read)(Handle*, void*, size_t, off64_t, Error**),
                                    int (*close)(Handle*, Error**), int (*release)(Handle**, Error**),
                                    std::string (*describe)(Error**)) {
  return std::make_shared<CContainerDevice>(
      size,
      [=](void* buffer, size_t length, off64_t offset, std::string* text) {
        Error* error = nullptr;
        const ssize_t n = read(handle, buffer, length, offset, &error);
        if (n < 0) *text = describe(&error);
        return n;
      },
      [=]() mutable {
        close(handle, nullptr);
        release(&handle, nullptr);
      });
}

std::shared_ptr<CDevice> OpenEwf(const std::string& kind, const std::string& path, std::string* error) {
  libewf_error_t* e = nullptr;
  char** names = nullptr;
  int count = 0;
  if (libewf_glob(path.c_str(), path.size(), LIBEWF_FORMAT_UNKNOWN, &names, &count, &e) != 1) {
    *error = "the segments of the EWF image cannot be found: " + EwfError(&e);
    return nullptr;
  }
  libewf_handle_t* handle = nullptr;
  if (libewf_handle_initialize(&handle, &e) != 1) {
    libewf_glob_free(names, count, nullptr);
    *error = EwfError(&e);
    return nullptr;
  }
  const int opened = libewf_handle_open(handle, names, count, LIBEWF_OPEN_READ, &e);
  const std::string lastFound = count > 0 ? names[count - 1] : path;
  libewf_glob_free(names, count, nullptr);
  size64_t size = 0;
  if (opened != 1 || libewf_handle_get_media_size(handle, &size, &e) != 1) {
    *error = "the " + kind + " image cannot be opened: " + EwfError(&e);
    libewf_handle_free(&handle, nullptr);
    return nullptr;
  }
  // A set missing a segment opens, and reads zeros where the segment's data
  // would be: refused, not passed off as the disk.
  if (libewf_handle_segment_files_corrupted(handle, nullptr) != 0) {
    *error = "the EWF image is incomplete or damaged: its " + std::to_string(count) +
             " segment file(s) end at " + lastFound + " without the end of the image; a segment is missing or cut short";
    libewf_handle_close(handle, nullptr);
    libewf_handle_free(&handle, nullptr);
    return nullptr;
  }
  return DeviceOver(handle, size, libewf_handle_read_random, libewf_handle_close, libewf_handle_free, EwfError);
}

std::shared_ptr<CDevice> OpenVhd(const std::string& kind, const std::string& path, std::string* error) {
  libvhdi_error_t* e = nullptr;
  libvhdi_file_t* file = nullptr;
  if (libvhdi_file_initialize(&file, &e) != 1) {
    *error = VhdiError(&e);
    return nullptr;
  }
  size64_t size = 0;
  if (libvhdi_file_open(file, path.c_str(), LIBVHDI_OPEN_READ, &e) != 1 ||
      libvhdi_file_get_media_size(file, &size, &e) != 1) {
    *error = "the " + kind + " image cannot be opened: " + VhdiError(&e);
    libvhdi_file_free(&file, nullptr);
    return nullptr;
  }
  uint32_t diskType = 0;
  if (libvhdi_file_get_disk_type(file, &diskType, nullptr) == 1 && diskType == LIBVHDI_DISK_TYPE_DIFFERENTIAL) {
    *error = ParentRefusal(ParentName<libvhdi_file_t, libvhdi_error_t>(file, libvhdi_file_get_utf8_parent_filename_size,
                                                                        libvhdi_file_get_utf8_parent_filename));
    libvhdi_file_close(file, nullptr);
    libvhdi_file_free(&file, nullptr);
    return nullptr;
  }
  return DeviceOver(file, size, libvhdi_file_read_buffer_at_offset, libvhdi_file_close, libvhdi_file_free, VhdiError);
}

std::shared_ptr<CDevice> OpenVmdk(const std::string& kind, const std::string& path, std::string* error) {
  libvmdk_error_t* e = nullptr;
  libvmdk_handle_t* handle = nullptr;
  if (libvmdk_handle_initialize(&handle, &e) != 1) {
    *error = VmdkError(&e);
    return nullptr;
  }
  size64_t size = 0;
  if (libvmdk_handle_open(handle, path.c_str(), LIBVMDK_OPEN_READ, &e) != 1 ||
      libvmdk_handle_open_extent_data_files(handle, &e) != 1 ||
      libvmdk_handle_get_media_size(handle, &size, &e) != 1) {
    *error = "the " + kind + " image cannot be opened: " + VmdkError(&e);
    libvmdk_handle_free(&handle, nullptr);
    return nullptr;
  }
  const std::string parent = ParentName<libvmdk_handle_t, libvmdk_error_t>(
      handle, libvmdk_handle_get_utf8_parent_filename_size, libvmdk_handle_get_utf8_parent_filename);
  if (!parent.empty()) {
    *error = ParentRefusal(parent);
    libvmdk_handle_close(handle, nullptr);
    libvmdk_handle_free(&handle, nullptr);
    return nullptr;
  }
  return DeviceOver(handle, size, libvmdk_handle_read_buffer_at_offset, libvmdk_handle_close, libvmdk_handle_free, VmdkError);
}

std::shared_ptr<CDevice> OpenQcow(const std::string& kind, const std::string& path, std::string* error) {
  libqcow_error_t* e = nullptr;
  libqcow_file_t* file = nullptr;
  if (libqcow_file_initialize(&file, &e) != 1) {
    *error = QcowError(&e);
    return nullptr;
  }
  size64_t size = 0;
  if (libqcow_file_open(file, path.c_str(), LIBQCOW_OPEN_READ, &e) != 1 ||
      libqcow_file_get_media_size(file, &size, &e) != 1) {
    *error = "the " + kind + " image cannot be opened: " + QcowError(&e);
    libqcow_file_free(&file, nullptr);
    return nullptr;
  }
  uint32_t method = LIBQCOW_ENCRYPTION_METHOD_NONE;
  std::string refusal;
  if (libqcow_file_get_encryption_method(file, &method, nullptr) == 1 && method != LIBQCOW_ENCRYPTION_METHOD_NONE) {
    refusal = "the QCOW2 image is encrypted; decrypt it first (qemu-img convert)";
  } else {
    const std::string backing = ParentName<libqcow_file_t, libqcow_error_t>(
        file, libqcow_file_get_utf8_backing_filename_size, libqcow_file_get_utf8_backing_filename);
    if (!backing.empty()) refusal = ParentRefusal(backing);
  }
  if (!refusal.empty()) {
    *error = refusal;
    libqcow_file_close(file, nullptr);
    libqcow_file_free(&file, nullptr);
    return nullptr;
  }
  return DeviceOver(file, size, libqcow_file_read_buffer_at_offset, libqcow_file_close, libqcow_file_free, QcowError);
}

struct ContainerOpener {
  const char* kind;
  std::shared_ptr<CDevice> (*open)(const std::string& kind, const std::string& path, std::string* error);
};

constexpr ContainerOpener kOpeners[] = {
    {"EWF", OpenEwf}, {"VHD", OpenVhd}, {"VHDX", OpenVhd}, {"VMDK", OpenVmdk}, {"QCOW2", OpenQcow},
};

}  // namespace

std::shared_ptr<CDevice> OpenContainer(const std::string& kind, const std::string& path, std::string* error) {
  for (const ContainerOpener& opener : kOpeners) {
    if (kind == opener.kind) return opener.open(kind, path, error);
  }
  *error = "unknown image container " + kind;
  return nullptr;
}
