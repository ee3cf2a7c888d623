#include "support/support.hh"

#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <unistd.h>

#include <gtest/gtest.h>

namespace glyva_test
{

const char *const kDejaVuSans = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
const char *const kFreeSans = "/usr/share/fonts/opentype/freefont/FreeSans.otf";
const char *const kLiberationSans =
    "/usr/share/fonts/truetype/liberation2/LiberationSans-Regular.ttf";

std::string fixture(const std::string &name)
{
    return std::string(GLYVA_FIXTURE_DIR) + "/" + name;
}

std::string captureStdout(const std::function<void()> &fn)
{
    fflush(stdout);
    testing::internal::CaptureStdout();
    fn();
    fflush(stdout);
    return testing::internal::GetCapturedStdout();
}

std::string captureStderr(const std::function<void()> &fn)
{
    fflush(stderr);
    testing::internal::CaptureStderr();
    fn();
    fflush(stderr);
    return testing::internal::GetCapturedStderr();
}

TempFile::TempFile(const std::string &bytes)
{
    char name[] = "/tmp/glyva-test-XXXXXX";
    int fd = mkstemp(name);
    if (fd < 0)
        throw std::runtime_error("mkstemp failed");
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n <= 0)
            break;
        done += static_cast<size_t>(n);
    }
    close(fd);
    path_ = name;
}

TempFile::~TempFile()
{
    unlink(path_.c_str());
}

} // namespace glyva_test
