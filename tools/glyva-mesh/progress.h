#ifndef TOOLS_GLYVA_MESH_PROGRESS_H
#define TOOLS_GLYVA_MESH_PROGRESS_H

#include <chrono>
#include <cstddef>
#include <string>

namespace glyvamesh
{

/* A progress bar on standard error for one stage of a run. It appears only when
 * standard error is a terminal, the run is not quiet, and the run has already taken
 * more than a second, so that short runs print nothing; it is redrawn at each whole
 * percent and wiped when the stage ends. */
class Progress
{
  public:
    using Clock = std::chrono::steady_clock;
    Progress(const std::string &label, size_t total, bool wanted, Clock::time_point runStart);
    ~Progress();
    Progress(const Progress &) = delete;
    Progress &operator=(const Progress &) = delete;

    void step(size_t done);

  private:
    std::string label_;
    size_t total_;
    bool wanted_;
    Clock::time_point runStart_;
    size_t last_ = SIZE_MAX;
    bool drawn_ = false;
};

} // namespace glyvamesh

#endif
