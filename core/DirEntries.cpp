#include "core/DirEntries.h"

#include <cerrno>

#include <sys/syscall.h>
#include <unistd.h>

namespace headroom {

DirEntries::DirEntries() : m_buffer(new char[kBufferSize]) {}

bool DirEntries::read(int fd)
{
    const long n = ::syscall(SYS_getdents64, fd, m_buffer.get(), kBufferSize);
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
