// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// TCardSource over a Linux block device or a disk-image file, opened read-only.
#include <fcntl.h>
#include <linux/fs.h>
#include <linux/hdreg.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "card/CardSource.h"
#include "card/LinuxDrives.h"

namespace snapsalvager {
namespace {

// The geometry a disk image reports: the usual LBA translation of 255 heads, 63 sectors.
constexpr uint32_t kImageHeads = 255;
constexpr uint32_t kImageSectorsPerTrack = 63;
constexpr uint32_t kImageSectorSize = 512;

// Direct reads go through a window of this many bytes, aligned to its own size: one large
// request per window keeps a device without read-ahead (which direct I/O has none of) at
// full speed, and its alignment satisfies any device's direct-I/O rule.
constexpr uint64_t kWindowBytes = 4 << 20;
constexpr uint64_t kPageBytes = 4096;

struct TFreeDeleter {
  void operator()(void* p) const { std::free(p); }
};

// The card is read with direct I/O where the device allows it, so a card read once leaves
// nothing in the page cache and its bytes are copied once, from the window into the caller's
// buffer. Where direct I/O is refused (tmpfs, some FUSE file systems, a descriptor that
// cannot be reopened) reads are buffered and what was read is dropped from the cache behind
// them. A read either way fails with an error code, as before: a bad sector is a false result.
class TPosixCardSource final : public TCardSource {
 public:
  TPosixCardSource(int fd, bool isBlockDevice, dev_t device)
      : fd_(fd), block_(isBlockDevice), device_(device) {}
  ~TPosixCardSource() override {
    if (directFd_ >= 0) ::close(directFd_);
    ::close(fd_);
  }
  TPosixCardSource(const TPosixCardSource&) = delete;
  TPosixCardSource& operator=(const TPosixCardSource&) = delete;

  bool ReadAt(uint64_t offset, void* dest, size_t length) override {
    auto* out = static_cast<uint8_t*>(dest);
    while (length > 0) {
      const size_t n = CopyFromWindow(offset, out, length);
      if (n == 0) return ReadBuffered(offset, out, length);
      offset += n;
      out += n;
      length -= n;
    }
    return true;
  }

 private:
  // Copies what the window holds of [offset, offset + length), loading the window first
  // when it does not hold offset. 0 when direct reading is not available here: the caller
  // reads buffered instead, so an unreadable sector fails exactly the request it lies in.
  size_t CopyFromWindow(uint64_t offset, uint8_t* out, size_t length) {
    if (offset < windowStart_ || offset >= windowStart_ + windowLength_) {
      if (!LoadWindow(offset - offset % kWindowBytes)) return 0;
      if (offset >= windowStart_ + windowLength_) return 0;  // the end of the volume
    }
    const size_t n = static_cast<size_t>(
        std::min<uint64_t>(length, windowStart_ + windowLength_ - offset));
    std::memcpy(out, window_.get() + (offset - windowStart_), n);
    return n;
  }

  bool LoadWindow(uint64_t start) {
    windowLength_ = 0;
    if (!OpenDirect() || start == failedWindow_) return false;
    if (start > static_cast<uint64_t>(INT64_MAX)) return false;
    ssize_t n;
    do {
      n = ::pread(directFd_, window_.get(), kWindowBytes, static_cast<off_t>(start));
    } while (n < 0 && errno == EINTR);
    if (n < 0 && errno == EINVAL) {
      // The file system takes no direct I/O after all (or not at this alignment).
      ::close(directFd_);
      directFd_ = -1;
      directRefused_ = true;
      return false;
    }
    if (n <= 0) {
      // A bad area: the requests inside it are read buffered, each on its own.
      failedWindow_ = start;
      return false;
    }
    windowStart_ = start;
    windowLength_ = static_cast<uint64_t>(n) - static_cast<uint64_t>(n) % kImageSectorSize;
    // Pages of the card cached before the scan (an image just written, say) go too.
    DropBehind(start, windowLength_);
    return windowLength_ > 0;
  }

  // A second descriptor on the same file with O_DIRECT, opened anew through /proc so that
  // an adopted descriptor (whose flags its sender shares) is left as it is. Read-only.
  bool OpenDirect() {
    if (directFd_ >= 0) return true;
    if (directRefused_) return false;
    directRefused_ = true;
    const std::string self = "/proc/self/fd/" + std::to_string(fd_);
    const int fd = ::open(self.c_str(), O_RDONLY | O_DIRECT | O_CLOEXEC);
    if (fd < 0) return false;
    void* memory = nullptr;
    if (::posix_memalign(&memory, kPageBytes, kWindowBytes) != 0) {
      ::close(fd);
      return false;
    }
    window_.reset(static_cast<uint8_t*>(memory));
    directFd_ = fd;
    directRefused_ = false;
    return true;
  }

  bool ReadBuffered(uint64_t offset, uint8_t* out, size_t length) {
    const uint64_t first = offset;
    size_t done = 0;
    while (done < length) {
      const uint64_t at = offset + done;
      if (at > static_cast<uint64_t>(INT64_MAX)) return false;
      const ssize_t n = ::pread(fd_, out + done, length - done, static_cast<off_t>(at));
      if (n < 0) {
        if (errno == EINTR) continue;
        return false;
      }
      if (n == 0) return false;  // end of the volume before every byte was read
      done += static_cast<size_t>(n);
    }
    DropBehind(first, length);
    return true;
  }

  // The card is read once: its pages are dropped from the page cache as soon as they
  // were read, so a large card pushes nothing else out.
  void DropBehind(uint64_t offset, uint64_t length) {
    const uint64_t start = offset - offset % kPageBytes;
    ::posix_fadvise(fd_, static_cast<off_t>(start), static_cast<off_t>(offset + length - start),
                    POSIX_FADV_DONTNEED);
  }

 public:
  bool Length(int64_t& bytes) override {
    if (block_) {
      uint64_t size = 0;
      if (::ioctl(fd_, BLKGETSIZE64, &size) != 0) return false;
      bytes = static_cast<int64_t>(size);
      return true;
    }
    struct stat st {};
    if (::fstat(fd_, &st) != 0) return false;
    bytes = st.st_size;
    return true;
  }

  bool Geometry(TDiskGeometry& g) override {
    int64_t length = 0;
    if (!Length(length)) return false;
    uint32_t sectorSize = kImageSectorSize;
    uint32_t heads = kImageHeads, sectorsPerTrack = kImageSectorsPerTrack;
    uint16_t kind = 2, removable = 1;  // an image stands for a removable card
    if (block_) {
      int size = 0;
      if (::ioctl(fd_, BLKSSZGET, &size) != 0 || size < 0) return false;
      sectorSize = static_cast<uint32_t>(size);
      // Loop devices have no geometry; keep the image's then. HDIO_GETGEO's own cylinder
      // field is 16 bits wide, so cylinders always come from the length.
      hd_geometry geo{};
      if (::ioctl(fd_, HDIO_GETGEO, &geo) == 0 && geo.heads != 0 && geo.sectors != 0) {
        heads = geo.heads;
        sectorsPerTrack = geo.sectors;
      }
      if (LinuxDrives::DriveTypeOfDevice(major(device_), minor(device_)) != DRIVE_REMOVABLE) {
        kind = 3;
        removable = 0;
      }
    }
    const uint64_t cylinderBytes = uint64_t{heads} * sectorsPerTrack * sectorSize;
    g.MediaKind = kind;
    g.Removable = removable;
    g.Cylinders = cylinderBytes == 0
                      ? 0
                      : static_cast<uint32_t>(static_cast<uint64_t>(length) / cylinderBytes);
    g.TracksPerCylinder = heads;
    g.SectorsPerTrack = sectorsPerTrack;
    g.BytesPerSector = sectorSize;
    g.TotalSectors = g.Cylinders * g.TracksPerCylinder * g.SectorsPerTrack;
    return true;
  }

 private:
  int fd_;
  bool block_;
  dev_t device_;
  int directFd_ = -1;
  bool directRefused_ = false;  // no direct reading here: buffered from now on
  std::unique_ptr<uint8_t, TFreeDeleter> window_;
  uint64_t windowStart_ = 0;
  uint64_t windowLength_ = 0;
  uint64_t failedWindow_ = UINT64_MAX;  // a window whose direct read failed
};

// Descriptors handed over by another process, by the path they were adopted for. The
// main thread adopts and measures, the scan thread reopens: a lock keeps the list whole.
struct TAdopted {
  std::string Path;
  int Fd = -1;
  bool Block = false;
  dev_t Device = 0;  // of a block device: another name for it finds it too
};

struct TAdoptedList {
  std::mutex Mutex;
  std::vector<TAdopted> Entries;
  ~TAdoptedList() {
    for (const TAdopted& a : Entries) ::close(a.Fd);
  }
};

TAdoptedList& Adopted() {
  static TAdoptedList list;
  return list;
}

// A duplicate of the descriptor adopted for path, or -1. Called with the list locked.
int DupAdoptedLocked(const TAdoptedList& list, const char* path) {
  struct stat st {};
  const bool block = ::stat(path, &st) == 0 && S_ISBLK(st.st_mode);
  for (const TAdopted& a : list.Entries) {
    if (a.Path == path || (block && a.Block && a.Device == st.st_rdev))
      return ::fcntl(a.Fd, F_DUPFD_CLOEXEC, 0);
  }
  return -1;
}

std::unique_ptr<TCardSource> SourceOverDescriptor(int fd) {
  struct stat st {};
  const bool stated = ::fstat(fd, &st) == 0;
  if (!stated || !(S_ISREG(st.st_mode) || S_ISBLK(st.st_mode))) {
    // Neither a disk nor an image (a folder, a character device): say so through errno.
    const int error = stated ? ENODEV : errno;
    ::close(fd);
    errno = error;
    return nullptr;
  }
  return std::make_unique<TPosixCardSource>(fd, S_ISBLK(st.st_mode), st.st_rdev);
}

}  // namespace

bool AdoptCardDescriptor(const std::string& path, int fd) {
  if (path.empty() || fd < 0) return false;
  // Only what can be read is kept; write access, when the sender gave it, is never used.
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags < 0 || (flags & O_ACCMODE) == O_WRONLY) return false;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !(S_ISREG(st.st_mode) || S_ISBLK(st.st_mode))) return false;
  const int own = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
  if (own < 0) return false;
  TAdoptedList& list = Adopted();
  std::lock_guard lock(list.Mutex);
  for (TAdopted& a : list.Entries) {
    if (a.Path == path) {
      // A fresh descriptor replaces a stale one (a card taken out and put back).
      ::close(a.Fd);
      a = TAdopted{path, own, S_ISBLK(st.st_mode), st.st_rdev};
      return true;
    }
  }
  list.Entries.push_back(TAdopted{path, own, S_ISBLK(st.st_mode), st.st_rdev});
  return true;
}

bool HasCardDescriptor(const std::string& path) {
  TAdoptedList& list = Adopted();
  std::lock_guard lock(list.Mutex);
  for (const TAdopted& a : list.Entries)
    if (a.Path == path) return true;
  return false;
}

void ForgetCardDescriptor(const std::string& path) {
  TAdoptedList& list = Adopted();
  std::lock_guard lock(list.Mutex);
  std::erase_if(list.Entries, [&](const TAdopted& a) {
    if (!path.empty() && a.Path != path) return false;
    ::close(a.Fd);
    return true;
  });
}

std::unique_ptr<TCardSource> OpenCardSourcePath(const char* path) {
  if (path == nullptr || *path == '\0') return nullptr;
  {
    TAdoptedList& list = Adopted();
    std::lock_guard lock(list.Mutex);
    if (!list.Entries.empty()) {
      const int fd = DupAdoptedLocked(list, path);
      if (fd >= 0) return SourceOverDescriptor(fd);
    }
  }
  // Read-only, always: the card is evidence and is never opened for writing.
  const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return nullptr;
  return SourceOverDescriptor(fd);
}

}  // namespace snapsalvager
