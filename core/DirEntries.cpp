#include "core/DirEntries.h"

#include <cerrno>

#include <sys/syscall.h>
#include <unistd.h>

namespace headroom {

DirEntries::DirEntries(std::size_t bufferSize) : m_buffer(new char[bufferSize]), m_capacity(bufferSize) {}

bool DirEntries::read(int fd)
{
    const long n = ::syscall(SYS_getdents64, fd, m_buffer.get(), m_capacity);
    if (n <= 0) {
        m_size = 0;
        if (n == 0)
            errno = 0;
        return false;
    }
    m_size = static_cast<std::size_t>(n);
    return true;
}

} // namespace headroom
