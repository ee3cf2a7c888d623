#include "progress.h"

#include <unistd.h>

#include <cstdint>
#include <cstdio>

namespace glyvamesh
{
namespace
{

constexpr auto kQuietFor = std::chrono::seconds(1);
constexpr int kBarWidth = 30;

} // namespace

Progress::Progress(const std::string &label, size_t total, bool wanted, Clock::time_point runStart)
    : label_(label), total_(total), wanted_(wanted && total > 0 && isatty(STDERR_FILENO)),
      runStart_(runStart)
{
}

Progress::~Progress()
{
    if (drawn_)
        std::fputs("\r\033[K", stderr);
}

void Progress::step(size_t done)
{
    if (!wanted_)
        return;
    const size_t percent = done * 100 / total_;
    if (percent == last_ || Clock::now() - runStart_ < kQuietFor)
        return;
    last_ = percent;
    drawn_ = true;
    const int bar = static_cast<int>(percent * kBarWidth / 100);
    std::fprintf(stderr, "\rglyva-mesh: %s [%.*s%*s] %3zu%% %zu/%zu", label_.c_str(), bar,
                 "##############################", kBarWidth - bar, "", percent, done, total_);
    std::fflush(stderr);
}

} // namespace glyvamesh
