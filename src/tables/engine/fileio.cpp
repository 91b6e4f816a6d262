#include "fileio.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>
#include <vector>

#include "error.h"

namespace pulpex::engine {

std::string systemErrorText(int errnum) {
    // The C library speaks the locale's language, and that is English on most installations.
    switch (errnum) {
        case ENOENT:
            return "nie ma takiego pliku ani katalogu";
        case EACCES:
            return "brak uprawnień";
        case EPERM:
            return "operacja niedozwolona";
        case EROFS:
            return "system plików tylko do odczytu";
        case ENOSPC:
            return "brak miejsca na dysku";
        case EDQUOT:
            return "przekroczony przydział miejsca na dysku";
        case EISDIR:
            return "to jest katalog";
        case ENOTDIR:
            return "część ścieżki nie jest katalogiem";
        case EMFILE:
        case ENFILE:
            return "za dużo otwartych plików";
        case EIO:
            return "błąd wejścia-wyjścia";
        case EEXIST:
            return "plik już istnieje";
        case ENAMETOOLONG:
            return "za długa nazwa pliku";
        case EBUSY:
            return "zasób jest zajęty";
        case EAGAIN:
            return "zasób chwilowo niedostępny";
        case ENOMEM:
            return "brak pamięci";
        case EFBIG:
            return "plik jest za duży";
        case ESTALE:
            return "nieaktualne połączenie z plikiem sieciowym";
        case ENOLCK:
            return "brak wolnych blokad";
        case ELOOP:
            return "za dużo dowiązań symbolicznych";
        default:
            return "błąd systemu nr " + std::to_string(errnum);
    }
}

void throwSystemError(const std::string& message, const std::string& path, int errnum) {
    std::string text = message;
    if (errnum != 0) {
        text += ": ";
        text += systemErrorText(errnum);
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

struct Mapping::Region {
    dev_t dev = 0;
    ino_t ino = 0;
    bool writable = false;
    std::byte* data = nullptr;
    std::uint64_t capacity = 0;
    Region() = default;
    Region(const Region&) = delete;
    Region& operator=(const Region&) = delete;
    ~Region() {
        if (data != nullptr) ::munmap(data, capacity);
    }
};

namespace {

std::uint64_t reserveFor(std::uint64_t length) {
    std::uint64_t cap = length + std::max<std::uint64_t>(length, 16u << 20);
    return (cap + 4095) & ~std::uint64_t{4095};
}

// The regions of this thread: all live ones (weakly) and the few most recently released.
struct RegionRegistry {
    std::vector<std::weak_ptr<Mapping::Region>> live;
    std::vector<std::shared_ptr<Mapping::Region>> idle;  // oldest first
    static constexpr std::size_t kIdle = 16;

    std::shared_ptr<Mapping::Region> find(dev_t dev, ino_t ino, bool writable) {
        for (auto it = live.begin(); it != live.end();) {
            auto r = it->lock();
            if (!r) {
                it = live.erase(it);
                continue;
            }
            if (r->dev == dev && r->ino == ino && r->writable == writable) return r;
            ++it;
        }
        return nullptr;
    }
    void keep(std::shared_ptr<Mapping::Region> r) {
        for (auto it = idle.begin(); it != idle.end(); ++it)
            if (*it == r) {
                idle.erase(it);
                break;
            }
        idle.push_back(std::move(r));
        if (idle.size() > kIdle) idle.erase(idle.begin());
    }
};

RegionRegistry& registry() {
    thread_local RegionRegistry r;
    return r;
}

void growRegion(Mapping::Region& r, std::uint64_t length, const std::string& path) {
    const std::uint64_t cap = reserveFor(length);
    void* p = ::mremap(r.data, r.capacity, cap, MREMAP_MAYMOVE);
    if (p == MAP_FAILED) throwSystemError("Nie można odwzorować pliku w pamięci", path, errno);
    r.data = static_cast<std::byte*>(p);
    r.capacity = cap;
}

}  // namespace

Mapping::Mapping(Mapping&& other) noexcept
    : region_(std::move(other.region_)),
      length_(std::exchange(other.length_, 0)),
      writable_(other.writable_) {}

Mapping& Mapping::operator=(Mapping&& other) noexcept {
    if (this != &other) {
        unmap();
        region_ = std::move(other.region_);
        length_ = std::exchange(other.length_, 0);
        writable_ = other.writable_;
    }
    return *this;
}

Mapping::~Mapping() {
    unmap();
}

std::byte* Mapping::data() const {
    return region_ ? region_->data : nullptr;
}

void Mapping::map(const File& file, std::uint64_t length, bool writable) {
    unmap();
    writable_ = writable;
    struct stat st {};
    if (::fstat(file.fd(), &st) != 0)
        throwSystemError("Nie można odczytać rozmiaru pliku", file.path(), errno);
    region_ = registry().find(st.st_dev, st.st_ino, writable);
    if (!region_) {
        auto r = std::make_shared<Region>();
        r->dev = st.st_dev;
        r->ino = st.st_ino;
        r->writable = writable;
        r->capacity = reserveFor(std::max<std::uint64_t>(length, 1));
        // A mapping holds on to the open file description it was made from, and with it that
        // description's locks. It is therefore made from a description of its own, which holds
        // no locks, so that a region kept after its table closed keeps no lock alive.
        const std::string self = "/proc/self/fd/" + std::to_string(file.fd());
        int own = ::open(self.c_str(), (writable ? O_RDWR : O_RDONLY) | O_CLOEXEC);
        if (own < 0) throwSystemError("Nie można odwzorować pliku w pamięci", file.path(), errno);
        void* p = ::mmap(nullptr, r->capacity, PROT_READ | (writable ? PROT_WRITE : 0), MAP_SHARED,
                         own, 0);
        const int mapErr = errno;
        ::close(own);
        if (p == MAP_FAILED)
            throwSystemError("Nie można odwzorować pliku w pamięci", file.path(), mapErr);
        r->data = static_cast<std::byte*>(p);
        registry().live.push_back(r);
        region_ = std::move(r);
    }
    registry().keep(region_);
    remap(file, length);
}

void Mapping::remap(const File& file, std::uint64_t length) {
    if (!region_) {
        if (length != 0) map(file, length, writable_);
        return;
    }
    if (length > region_->capacity) growRegion(*region_, length, file.path());
    length_ = length;
}

void Mapping::unmap() {
    region_.reset();
    length_ = 0;
}

}  // namespace pulpex::engine
