// Loaded with LD_PRELOAD into a program under test: while KS_FAIL_FILE_TIME
// is set, setting a file's times fails with EPERM, while KS_FAIL_CHOWN is
// set so does giving a file to another owner, and while KS_FAIL_CHMOD is
// set so does changing its permissions, as on a file system or for a user
// that does not allow them. While KS_FAIL_FSYNC is set, flushing a file whose
// name contains its value fails with EIO, as on a failing disk; while
// KS_FAIL_RENAME is set, rename(2) fails with EXDEV.

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool refused(const char *variable)
{
    if (!std::getenv(variable))
        return false;
    errno = EPERM;
    return true;
}

template<typename Function>
Function real(const char *name)
{
    return reinterpret_cast<Function>(::dlsym(RTLD_NEXT, name));
}

} // namespace

extern "C" {

int futimens(int fd, const struct timespec times[2])
{
    static const auto next = real<int (*)(int, const struct timespec[2])>("futimens");
    return refused("KS_FAIL_FILE_TIME") ? -1 : next(fd, times);
}

int utimensat(int dirfd, const char *path, const struct timespec times[2], int flags)
{
    static const auto next = real<int (*)(int, const char *, const struct timespec[2], int)>("utimensat");
    return refused("KS_FAIL_FILE_TIME") ? -1 : next(dirfd, path, times, flags);
}

int chown(const char *path, uid_t owner, gid_t group)
{
    static const auto next = real<int (*)(const char *, uid_t, gid_t)>("chown");
    return refused("KS_FAIL_CHOWN") ? -1 : next(path, owner, group);
}

int fchown(int fd, uid_t owner, gid_t group)
{
    static const auto next = real<int (*)(int, uid_t, gid_t)>("fchown");
    return refused("KS_FAIL_CHOWN") ? -1 : next(fd, owner, group);
}

int chmod(const char *path, mode_t mode)
{
    static const auto next = real<int (*)(const char *, mode_t)>("chmod");
    return refused("KS_FAIL_CHMOD") ? -1 : next(path, mode);
}

int fsync(int fd)
{
    static const auto next = real<int (*)(int)>("fsync");
    char link[64];
    char path[4096] = {};
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    const ssize_t length = ::readlink(link, path, sizeof path - 1);
    const char *refusedName = std::getenv("KS_FAIL_FSYNC");
    if (refusedName && length > 0 && std::strstr(path, refusedName)) {
        errno = EIO;
        return -1;
    }
    return next(fd);
}

int rename(const char *from, const char *to)
{
    static const auto next = real<int (*)(const char *, const char *)>("rename");
    if (!std::getenv("KS_FAIL_RENAME"))
        return next(from, to);
    errno = EXDEV;
    return -1;
}

int fchmod(int fd, mode_t mode)
{
    static const auto next = real<int (*)(int, mode_t)>("fchmod");
    return refused("KS_FAIL_CHMOD") ? -1 : next(fd, mode);
}

} // extern "C"
