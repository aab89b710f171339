// TCardSource over a Linux block device or a disk-image file, opened read-only.
#include <fcntl.h>
#include <linux/fs.h>
#include <linux/hdreg.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>

#include "engine/LinuxDrives.h"
#include "engine/jdiskio.h"

namespace snapsalvager {
namespace {

// The geometry a disk image reports: the usual LBA translation of 255 heads, 63 sectors.
constexpr uint32_t ImageHeads = 255;
constexpr uint32_t ImageSectorsPerTrack = 63;
constexpr uint32_t ImageSectorSize = 512;

class TPosixCardSource final : public TCardSource {
 public:
  TPosixCardSource(int fd, bool isBlockDevice, dev_t device)
      : fd_(fd), block_(isBlockDevice), device_(device) {}
  ~TPosixCardSource() override { ::close(fd_); }
  TPosixCardSource(const TPosixCardSource&) = delete;
  TPosixCardSource& operator=(const TPosixCardSource&) = delete;

  bool ReadAt(uint64_t offset, void* dest, size_t length) override {
    auto* out = static_cast<uint8_t*>(dest);
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
    return true;
  }

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
    uint32_t sectorSize = ImageSectorSize;
    uint32_t heads = ImageHeads, sectorsPerTrack = ImageSectorsPerTrack;
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
};

}  // namespace

std::unique_ptr<TCardSource> OpenCardSourcePath(const char* path) {
  if (path == nullptr || *path == '\0') return nullptr;
  // Read-only, always: the card is evidence and is never opened for writing.
  const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return nullptr;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !(S_ISREG(st.st_mode) || S_ISBLK(st.st_mode))) {
    ::close(fd);
    errno = ENODEV;  // the caller's message names why: neither a disk nor an image
    return nullptr;
  }
  return std::make_unique<TPosixCardSource>(fd, S_ISBLK(st.st_mode), st.st_rdev);
}

}  // namespace snapsalvager
