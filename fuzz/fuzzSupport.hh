#ifndef FUZZ_FUZZSUPPORT_HH
#define FUZZ_FUZZSUPPORT_HH

#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

/* What every fuzz target shares: its broken promises trap, and it reads its input as a
 * stream of bytes. */
namespace fuzzsupport
{

inline void check(bool condition)
{
    if (!condition)
        __builtin_trap();
}

/* The input as a stream; past its end every byte reads as 0. */
struct Reader {
    const uint8_t *data;
    size_t size;
    size_t at;
    bool more() const { return at < size; }
    uint8_t byte() { return at < size ? data[at++] : 0; }
    float rawFloat()
    {
        uint8_t b[4] = {byte(), byte(), byte(), byte()};
        float f;
        memcpy(&f, b, sizeof f);
        return f;
    }
};

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
