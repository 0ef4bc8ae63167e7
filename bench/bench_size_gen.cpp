// Builds the benchmark tree: FOLDERS folders of FILES files each below DIR.
// File sizes vary (0..4095 bytes) but are set with ftruncate, so building
// writes no data blocks and stays quick.
#include <cstdio>
#include <cstdlib>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s DIR FOLDERS FILES\n", argv[0]);
        return 2;
    }
    const int root = ::open(argv[1], O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (root < 0) {
        std::perror(argv[1]);
        return 1;
    }
    const long folders = std::strtol(argv[2], nullptr, 10);
    const long files = std::strtol(argv[3], nullptr, 10);
    char name[64];
    for (long d = 0; d < folders; ++d) {
        std::snprintf(name, sizeof name, "folder-%05ld", d);
        if (::mkdirat(root, name, 0755) != 0) {
            std::perror(name);
            return 1;
        }
        const int dir = ::openat(root, name, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dir < 0) {
            std::perror(name);
            return 1;
        }
        for (long f = 0; f < files; ++f) {
            std::snprintf(name, sizeof name, "file-%05ld.dat", f);
            const int fd = ::openat(dir, name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
            if (fd < 0 || ::ftruncate(fd, (d * 7919 + f * 104729) % 4096) != 0) {
                std::perror(name);
                return 1;
            }
            ::close(fd);
        }
        ::close(dir);
    }
    ::close(root);
    return 0;
}
