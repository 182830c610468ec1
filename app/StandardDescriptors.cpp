#include "app/StandardDescriptors.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

bool OpenClosedStandardDescriptors(const char* pszNull)
{
    for (int hStandard = 0; hStandard <= 2; ++hStandard) {
        if (::fcntl(hStandard, F_GETFD) != -1 || errno != EBADF)
            continue;
        // The lowest free descriptor is this one: those below are open.
        // Standard output is held by a descriptor that writes nothing, so
        // that what is printed there still fails as it would on a closed one
        // instead of vanishing into the null device.
        const int hFile =
            hStandard == STDOUT_FILENO ? ::open("/", O_PATH) : ::open(pszNull, O_RDWR | O_NOCTTY);
        if (hFile < 0)
            return false;
        if (hFile != hStandard) {
            const int hDup = ::dup2(hFile, hStandard);
            ::close(hFile);
            if (hDup != hStandard)
                return false;
        }
    }
    return true;
}
