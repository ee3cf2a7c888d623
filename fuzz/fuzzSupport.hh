#ifndef FUZZ_FUZZSUPPORT_HH
#define FUZZ_FUZZSUPPORT_HH

#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <unistd.h>

namespace fuzzsupport
{

/* The library opens files by path: input bytes go through a temporary file made from
 * the mkstemp template in path. True when every byte was written. */
inline bool writeTempFile(const uint8_t *data, size_t size, char *path)
{
    const int fd = mkstemp(path);
    if (fd < 0)
        return false;
    size_t done = 0;
    while (done < size) {
        const ssize_t n = write(fd, data + done, size - done);
        if (n <= 0)
            break;
        done += static_cast<size_t>(n);
    }
    close(fd);
    return done == size;
}

} // namespace fuzzsupport

#endif
