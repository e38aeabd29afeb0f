#include "common/mapped_file.hpp"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "common/error.hpp"
#include "common/utf.hpp"

namespace tarvek {

mapped_file::mapped_file(const std::filesystem::path &path)
{
    auto fail = [&](const char *what) {
        throw tool_error(printable(path.string()) + ": cannot " + what + ": " + std::strerror(errno));
    };
    int descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (descriptor < 0)
        fail("read it");
    struct stat status = {};
    if (::fstat(descriptor, &status) != 0) {
        int saved = errno;
        ::close(descriptor);
        errno = saved;
        fail("read it");
    }
    if (!S_ISREG(status.st_mode)) {
        ::close(descriptor);
        throw tool_error(printable(path.string()) + ": not a file");
    }
    size_ = static_cast<size_t>(status.st_size);
    if (size_ > 0) {
        void *view = ::mmap(nullptr, size_, PROT_READ, MAP_PRIVATE, descriptor, 0);
        if (view == MAP_FAILED) {
            int saved = errno;
            ::close(descriptor);
            errno = saved;
            fail("map it");
        }
        data_ = static_cast<const uint8_t *>(view);
    }
    ::close(descriptor);
}

mapped_file::~mapped_file()
{
    if (data_ != nullptr)
        ::munmap(const_cast<uint8_t *>(data_), size_);
}

} // namespace tarvek
