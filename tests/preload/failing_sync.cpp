// A library a test preloads (LD_PRELOAD) into a child process of its own, to make the system tell of a write it took
// and then could not complete, as a network share's delayed write error or a failing disk does: syncing a file
// below the folder TESSARON_FAILING_SYNC_FOLDER fails with the error number TESSARON_FAILING_SYNC_ERROR (EIO when
// unset), and so does closing it when TESSARON_FAILING_SYNC_CLOSE is set (the file is closed all the same). Every
// other call goes through unchanged.

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <dlfcn.h>
#include <unistd.h>

namespace {

bool isWatched(int fd)
{
    const char *folder = std::getenv("TESSARON_FAILING_SYNC_FOLDER");
    if (folder == nullptr || *folder == '\0')
        return false;
    char link[64];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    char target[4096];
    const ssize_t length = ::readlink(link, target, sizeof target - 1);
    if (length <= 0)
        return false;
    target[length] = '\0';
    // A file made without a name (O_TMPFILE) reads "<folder>/#<inode> (deleted)".
    const std::size_t folderLength = std::strlen(folder);
    return std::strncmp(target, folder, folderLength) == 0 && target[folderLength] == '/';
}

int injectedError()
{
    const char *number = std::getenv("TESSARON_FAILING_SYNC_ERROR");
    return number != nullptr && *number != '\0' ? std::atoi(number) : EIO;
}

using Call = int (*)(int);

Call next(const char *name)
{
    return reinterpret_cast<Call>(::dlsym(RTLD_NEXT, name));
}

int syncUnlessWatched(int fd, Call real)
{
    if (!isWatched(fd))
        return real(fd);
    errno = injectedError();
    return -1;
}

} // namespace

extern "C" int fsync(int fd)
{
    static const Call real = next("fsync");
    return syncUnlessWatched(fd, real);
}

extern "C" int fdatasync(int fd)
{
    static const Call real = next("fdatasync");
    return syncUnlessWatched(fd, real);
}

extern "C" int close(int fd)
{
    static const Call real = next("close");
    const bool fails = std::getenv("TESSARON_FAILING_SYNC_CLOSE") != nullptr && isWatched(fd);
    const int result = real(fd);
    if (!fails || result != 0)
        return result;
    errno = injectedError();
    return -1;
}
