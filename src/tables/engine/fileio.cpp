#include "fileio.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "error.h"

namespace pulpex::engine {

void throwSystemError(const std::string& message, const std::string& path, int errnum) {
    std::string text = message;
    if (errnum != 0) {
        text += ": ";
        text += std::strerror(errnum);
    }
    if (!path.empty()) text += " (" + path + ")";
    throw EDatabaseError(text);
}

File::File(File&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)),
      writable_(other.writable_),
      path_(std::move(other.path_)) {}

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        close();
        fd_ = std::exchange(other.fd_, -1);
        writable_ = other.writable_;
        path_ = std::move(other.path_);
    }
    return *this;
}

File::~File() {
    close();
}

File File::open(const std::string& path, Mode mode) {
    int flags = O_CLOEXEC;
    switch (mode) {
        case Mode::ReadOnly:
            flags |= O_RDONLY;
            break;
        case Mode::ReadWrite:
            flags |= O_RDWR;
            break;
        case Mode::Create:
            flags |= O_RDWR | O_CREAT | O_EXCL;
            break;
    }
    int fd;
    do {
        fd = ::open(path.c_str(), flags, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        int e = errno;
        if (e == ENOENT)
            throw EDatabaseError(EDatabaseError::Reason::NotFound,
                                 "Nie znaleziono pliku (" + path + ")");
        if (e == EEXIST) throwSystemError("Plik już istnieje", path, 0);
        if (e == EACCES || e == EROFS) throwSystemError("Brak dostępu do pliku", path, e);
        throwSystemError("Nie można otworzyć pliku", path, e);
    }
    File f;
    f.fd_ = fd;
    f.writable_ = mode != Mode::ReadOnly;
    f.path_ = path;
    return f;
}

void File::close() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

std::uint64_t File::size() const {
    struct stat st {};
    if (::fstat(fd_, &st) != 0) throwSystemError("Nie można odczytać rozmiaru pliku", path_, errno);
    return static_cast<std::uint64_t>(st.st_size);
}

std::size_t File::readAt(std::uint64_t offset, std::span<std::byte> buf) const {
    std::size_t done = 0;
    while (done < buf.size()) {
        ssize_t n =
            ::pread(fd_, buf.data() + done, buf.size() - done, static_cast<off_t>(offset + done));
        if (n < 0) {
            if (errno == EINTR) continue;
            throwSystemError("Błąd odczytu pliku", path_, errno);
        }
        if (n == 0) break;
        done += static_cast<std::size_t>(n);
    }
    return done;
}

void File::readExact(std::uint64_t offset, std::span<std::byte> buf) const {
    if (readAt(offset, buf) != buf.size())
        throw EDatabaseError(EDatabaseError::Reason::Damaged,
                             "Plik jest uszkodzony: nieoczekiwany koniec pliku (" + path_ + ")");
}

void File::writeAt(std::uint64_t offset, std::span<const std::byte> buf) {
    std::size_t done = 0;
    while (done < buf.size()) {
        ssize_t n =
            ::pwrite(fd_, buf.data() + done, buf.size() - done, static_cast<off_t>(offset + done));
        if (n < 0) {
            if (errno == EINTR) continue;
            throwSystemError("Błąd zapisu pliku", path_, errno);
        }
        done += static_cast<std::size_t>(n);
    }
}

void File::truncate(std::uint64_t size) {
    if (::ftruncate(fd_, static_cast<off_t>(size)) != 0)
        throwSystemError("Nie można zmienić rozmiaru pliku", path_, errno);
}

void File::sync() {
    if (::fdatasync(fd_) != 0) throwSystemError("Błąd zapisu pliku na dysk", path_, errno);
}

namespace {
int setLock(int fd, std::uint64_t offset, short type, bool wait) {
    struct flock fl {};
    fl.l_type = type;
    fl.l_whence = SEEK_SET;
    fl.l_start = static_cast<off_t>(offset);
    fl.l_len = 1;
    fl.l_pid = 0;
    int r;
    do {
        r = ::fcntl(fd, wait ? F_OFD_SETLKW : F_OFD_SETLK, &fl);
    } while (r != 0 && errno == EINTR);
    return r == 0 ? 0 : errno;
}
}  // namespace

bool File::tryLock(std::uint64_t offset, LockKind kind) {
    int e = setLock(fd_, offset, kind == LockKind::Shared ? F_RDLCK : F_WRLCK, false);
    if (e == 0) return true;
    if (e == EAGAIN || e == EACCES) return false;
    throwSystemError("Nie można założyć blokady", path_, e);
}

void File::lockWait(std::uint64_t offset, LockKind kind) {
    int e = setLock(fd_, offset, kind == LockKind::Shared ? F_RDLCK : F_WRLCK, true);
    if (e != 0) throwSystemError("Nie można założyć blokady", path_, e);
}

void File::unlock(std::uint64_t offset) {
    setLock(fd_, offset, F_UNLCK, false);
}

Mapping::Mapping(Mapping&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)),
      length_(std::exchange(other.length_, 0)),
      capacity_(std::exchange(other.capacity_, 0)),
      writable_(other.writable_) {}

Mapping& Mapping::operator=(Mapping&& other) noexcept {
    if (this != &other) {
        unmap();
        data_ = std::exchange(other.data_, nullptr);
        length_ = std::exchange(other.length_, 0);
        capacity_ = std::exchange(other.capacity_, 0);
        writable_ = other.writable_;
    }
    return *this;
}

Mapping::~Mapping() {
    unmap();
}

void Mapping::map(const File& file, std::uint64_t length, bool writable) {
    unmap();
    writable_ = writable;
    remap(file, length);
}

void Mapping::remap(const File& file, std::uint64_t length) {
    if (length == 0) {
        unmap();
        return;
    }
    // Map with head-room so that a growing file needs few remaps.
    if (data_ != nullptr && length <= capacity_) {
        length_ = length;
        return;
    }
    std::uint64_t cap = length + length / 4 + 65536;
    cap = (cap + 4095) & ~std::uint64_t{4095};
    int prot = PROT_READ | (writable_ ? PROT_WRITE : 0);
    void* p;
    if (data_ != nullptr) {
        p = ::mremap(data_, capacity_, cap, MREMAP_MAYMOVE);
    } else {
        p = ::mmap(nullptr, cap, prot, MAP_SHARED, file.fd(), 0);
    }
    if (p == MAP_FAILED) {
        int e = errno;
        data_ = nullptr;
        length_ = capacity_ = 0;
        throwSystemError("Nie można odwzorować pliku w pamięci", file.path(), e);
    }
    data_ = static_cast<std::byte*>(p);
    capacity_ = cap;
    length_ = length;
}

void Mapping::unmap() {
    if (data_ != nullptr) ::munmap(data_, capacity_);
    data_ = nullptr;
    length_ = capacity_ = 0;
}

}  // namespace pulpex::engine
