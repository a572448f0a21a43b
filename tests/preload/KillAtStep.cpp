// Loaded into the update helper by the tests (LD_PRELOAD): kills it with
// SIGKILL just before its Nth change of a name (PIVRA_KILL_AT_STEP=N), each
// rename, link, unlink, folder made or removed counting as one. Running the
// helper with N = 1, 2, ... until it ends by itself stops it at every point
// of an install. Like FUSE and network filesystems, it exchanges no names:
// a rename asked to exchange fails with EINVAL.
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::atomic<long> steps{0};

// Only the helper counts, not the program it starts again.
void step()
{
    const char* target = std::getenv("PIVRA_KILL_AT_STEP");
    if (target != nullptr && std::strcmp(program_invocation_short_name, "pivra-update-helper") == 0
        && ++steps == std::atol(target)) {
        ::kill(::getpid(), SIGKILL);
    }
}

template<typename Function>
Function next(const char* name)
{
    return reinterpret_cast<Function>(::dlsym(RTLD_NEXT, name));
}

} // namespace

extern "C" {

int rename(const char* from, const char* to)
{
    step();
    return next<int (*)(const char*, const char*)>("rename")(from, to);
}

int renameat(int fromFolder, const char* from, int toFolder, const char* to)
{
    step();
    return next<int (*)(int, const char*, int, const char*)>("renameat")(fromFolder, from, toFolder, to);
}

int renameat2(int fromFolder, const char* from, int toFolder, const char* to, unsigned flags)
{
    step();
    if ((flags & RENAME_EXCHANGE) != 0) {
        errno = EINVAL;
        return -1;
    }
    return next<int (*)(int, const char*, int, const char*, unsigned)>("renameat2")(fromFolder, from, toFolder, to,
                                                                                  flags);
}

int link(const char* from, const char* to)
{
    step();
    return next<int (*)(const char*, const char*)>("link")(from, to);
}

int linkat(int fromFolder, const char* from, int toFolder, const char* to, int flags)
{
    step();
    return next<int (*)(int, const char*, int, const char*, int)>("linkat")(fromFolder, from, toFolder, to, flags);
}

int symlink(const char* target, const char* path)
{
    step();
    return next<int (*)(const char*, const char*)>("symlink")(target, path);
}

int symlinkat(const char* target, int folder, const char* path)
{
    step();
    return next<int (*)(const char*, int, const char*)>("symlinkat")(target, folder, path);
}

int unlink(const char* path)
{
    step();
    return next<int (*)(const char*)>("unlink")(path);
}

int unlinkat(int folder, const char* path, int flags)
{
    step();
    return next<int (*)(int, const char*, int)>("unlinkat")(folder, path, flags);
}

int rmdir(const char* path)
{
    step();
    return next<int (*)(const char*)>("rmdir")(path);
}

int mkdir(const char* path, mode_t mode)
{
    step();
    return next<int (*)(const char*, mode_t)>("mkdir")(path, mode);
}

int mkdirat(int folder, const char* path, mode_t mode)
{
    step();
    return next<int (*)(int, const char*, mode_t)>("mkdirat")(folder, path, mode);
}

} // extern "C"
