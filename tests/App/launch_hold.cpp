// Preloaded into a launch of the program: holds the launch where it removes the file named by
// KELVO_TEST_HOLD_UNLINK until the file named by KELVO_TEST_RELEASE exists (half a minute at
// most), so that a test can act on the launch at exactly that point of its start.

#include <dlfcn.h>

#include <cstdlib>
#include <cstring>

#include <sys/stat.h>
#include <time.h>

extern "C" int unlink(const char* path)
{
    using Unlink = int (*)(const char*);
    static const auto real = reinterpret_cast<Unlink>(dlsym(RTLD_NEXT, "unlink"));
    const char* held = std::getenv("KELVO_TEST_HOLD_UNLINK");
    const char* release = std::getenv("KELVO_TEST_RELEASE");
    if (held && release && path && std::strcmp(path, held) == 0) {
        struct stat info;
        const timespec pause {0, 10000000};
        for (int i = 0; i < 3000 && stat(release, &info) != 0; ++i)
            nanosleep(&pause, nullptr);
    }
    return real(path);
}
