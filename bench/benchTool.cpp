/* glyva-mesh on a page of text against the same tool on its first 100 characters:
 * per output format, flat and with --depth, the wall time (median and spread of the
 * repetitions, run interleaved), the processor time (user and system, from getrusage
 * through wait4, as the peak resident memory), the file size, and the ratios of the
 * long run's median times to the short run's. The tool runs as users run it, a fresh
 * process each time, writing into a folder of /tmp on disk. On a machine shared with
 * other work the wall time of the long run stretches more than the short one's, which
 * often ends within its first time slice; the processor time does not.
 *
 *   glyva-bench-tool [--repetitions=N] [--tool=PATH]
 *
 * --tool runs another build of glyva-mesh (an older one, to compare) in place of this
 * build's. */
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace
{

struct Case {
    std::string name;
    std::string extension;
    bool depth;
};

struct Sample {
    double seconds = 0;
    double cpuSeconds = 0;
    long peakKiB = 0;
    long long bytes = 0;
};

struct Series {
    std::vector<Sample> samples;
    double median(double Sample::*field = &Sample::seconds) const
    {
        std::vector<double> t;
        for (const Sample &s : samples)
            t.push_back(s.*field);
        std::sort(t.begin(), t.end());
        return t.empty() ? 0 : t[t.size() / 2];
    }
    double spread() const
    {
        double lo = 1e30, hi = 0;
        for (const Sample &s : samples)
            lo = std::min(lo, s.seconds), hi = std::max(hi, s.seconds);
        return samples.empty() ? 0 : hi - lo;
    }
    long peakKiB() const
    {
        long peak = 0;
        for (const Sample &s : samples)
            peak = std::max(peak, s.peakKiB);
        return peak;
    }
};

std::string folder()
{
    char name[] = "/tmp/glyva-bench-tool-XXXXXX";
    return mkdtemp(name) ? name : "/tmp";
}

/* One run of the tool; false when it fails. */
bool runTool(const std::string &tool, const std::string &text, const Case &c,
             const std::string &out, Sample *sample)
{
    std::vector<std::string> args = {tool, "--quiet", "--text-file", text, "-o", out};
    if (c.depth)
        args.insert(args.begin() + 2, {"--depth", "0.1"});
    std::vector<char *> argv;
    for (std::string &a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        execv(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    struct rusage usage {
    };
    if (pid < 0 || wait4(pid, &status, 0, &usage) != pid)
        return false;
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    struct stat st {
    };
    stat(out.c_str(), &st);
    const double cpu = usage.ru_utime.tv_sec + usage.ru_utime.tv_usec * 1e-6 +
                       usage.ru_stime.tv_sec + usage.ru_stime.tv_usec * 1e-6;
    *sample = {took.count(), cpu, usage.ru_maxrss, static_cast<long long>(st.st_size)};
    unlink(out.c_str());
    for (const char *beside : {".bin", ".mtl"})
        unlink((out.substr(0, out.rfind('.')) + beside).c_str());
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

int repetitionsFrom(int argc, char **argv)
{
    for (int i = 1; i < argc; ++i)
        if (std::strncmp(argv[i], "--repetitions=", 14) == 0)
            return std::max(1, std::atoi(argv[i] + 14));
    return 5;
}

std::string toolFrom(int argc, char **argv)
{
    for (int i = 1; i < argc; ++i)
        if (std::strncmp(argv[i], "--tool=", 7) == 0)
            return argv[i] + 7;
    return GLYVA_MESH_TOOL;
}

} // namespace

int main(int argc, char **argv)
{
    const int repetitions = repetitionsFrom(argc, argv);
    const std::string tool = toolFrom(argc, argv);
    const std::string dir = folder();
    std::ifstream in(GLYVA_LONG_TEXT, std::ios::binary);
    std::stringstream whole;
    whole << in.rdbuf();
    const std::string longText = GLYVA_LONG_TEXT, shortText = dir + "/short.txt";
    std::ofstream(shortText, std::ios::binary) << whole.str().substr(0, 100);
    const std::vector<Case> cases = {
        {"png", ".png", false},      {"svg", ".svg", false},      {"obj", ".obj", false},
        {"stl", ".stl", false},      {"glb", ".glb", false},      {"gltf", ".gltf", false},
        {"depth-stl", ".stl", true}, {"depth-glb", ".glb", true}, {"depth-obj", ".obj", true},
    };
    /* Every (case, length, repetition) once, in a shuffled order. */
    std::vector<std::pair<size_t, int>> order;
    for (size_t c = 0; c < cases.size(); ++c)
        for (int r = 0; r < repetitions; ++r)
            order.push_back({c, r}), order.push_back({c + cases.size(), r});
    std::shuffle(order.begin(), order.end(), std::mt19937(2026));
    std::vector<Series> series(2 * cases.size());
    for (const auto &[index, repetition] : order) {
        const Case &c = cases[index % cases.size()];
        const bool isLong = index < cases.size();
        Sample sample;
        if (!runTool(tool, isLong ? longText : shortText, c, dir + "/out" + c.extension, &sample)) {
            std::fprintf(stderr, "bench: glyva-mesh failed on %s\n", c.name.c_str());
            return 1;
        }
        series[index].samples.push_back(sample);
        (void)repetition;
    }
    std::printf("%-10s %12s %10s %10s %12s %14s %12s %10s %8s %8s\n", "case", "10k median",
                "spread", "10k cpu", "peak RSS", "file size", "100 median", "100 cpu", "ratio",
                "cpu");
    double Sample::*const cpu = &Sample::cpuSeconds;
    for (size_t c = 0; c < cases.size(); ++c) {
        const Series &l = series[c], &s = series[c + cases.size()];
        const double ratio = l.median() / s.median();
        const double cpuRatio = l.median(cpu) / s.median(cpu);
        std::printf(
            "%-10s %10.3f s %8.3f s %8.3f s %9.1f MB %11.2f MB %10.3f s %8.3f s %8.2f %8.2f\n",
            cases[c].name.c_str(), l.median(), l.spread(), l.median(cpu), l.peakKiB() / 1024.0,
            l.samples[0].bytes / 1048576.0, s.median(), s.median(cpu), ratio, cpuRatio);
        std::printf("RESULT tool/%s seconds=%.3f spread=%.3f cpu_seconds=%.3f peak_mb=%.1f "
                    "file_mb=%.2f short_seconds=%.3f short_cpu_seconds=%.3f long_over_short=%.2f "
                    "cpu_long_over_short=%.2f\n",
                    cases[c].name.c_str(), l.median(), l.spread(), l.median(cpu),
                    l.peakKiB() / 1024.0, l.samples[0].bytes / 1048576.0, s.median(), s.median(cpu),
                    ratio, cpuRatio);
    }
    unlink(shortText.c_str());
    rmdir(dir.c_str());
    return 0;
}
