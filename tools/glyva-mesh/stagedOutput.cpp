#include "stagedOutput.h"

#include <dirent.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "sceneExport.h"

namespace glyvamesh
{
namespace
{

std::string folderOf(const std::string &path)
{
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string nameOf(const std::string &path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::vector<std::string> filesIn(const std::string &dir)
{
    std::vector<std::string> names;
    DIR *d = opendir(dir.c_str());
    if (!d)
        return names;
    while (const dirent *entry = readdir(d)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..")
            names.push_back(name);
    }
    closedir(d);
    return names;
}

/* The files a writer may put beside the staged one: a glTF buffer, an OBJ material. */
const char *const kCompanions[] = {".bin", ".mtl"};
constexpr int kCompanionCount = sizeof kCompanions / sizeof kCompanions[0];

/* What a signal handler needs to remove a staging folder, in fixed storage: the
 * handler may only call async-signal-safe functions (unlink, rmdir), so it removes the
 * files it can name, the staged file and its companions. */
struct StagingSlot {
    volatile sig_atomic_t used = 0;
    char dir[4096];
    char file[4096];
    char companions[kCompanionCount][4096];
};
StagingSlot g_slots[16];

bool copyPath(char (&out)[4096], const std::string &path)
{
    if (path.size() >= sizeof out)
        return false;
    std::memcpy(out, path.c_str(), path.size() + 1);
    return true;
}

int claimSlot(const std::string &dir, const std::string &file)
{
    for (int i = 0; i < static_cast<int>(sizeof g_slots / sizeof g_slots[0]); ++i) {
        StagingSlot &slot = g_slots[i];
        if (slot.used)
            continue;
        if (!copyPath(slot.dir, dir) || !copyPath(slot.file, file))
            return -1;
        for (int k = 0; k < kCompanionCount; ++k) {
            if (!copyPath(slot.companions[k], besidePath(file, kCompanions[k])))
                return -1;
        }
        slot.used = 1;
        return i;
    }
    return -1;
}

void onSignal(int sig)
{
    for (StagingSlot &slot : g_slots) {
        if (!slot.used)
            continue;
        unlink(slot.file);
        for (const char *companion : slot.companions)
            unlink(companion);
        rmdir(slot.dir);
    }
    signal(sig, SIG_DFL);
    raise(sig);
}

} // namespace

void removeStagedOnSignals()
{
    for (int sig : {SIGINT, SIGTERM, SIGHUP})
        signal(sig, onSignal);
}

std::string unwritableReason(const std::string &path)
{
    if (nameOf(path).empty())
        return "no file name";
    struct stat st;
    if (stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
        return std::strerror(EISDIR);
    const std::string folder = folderOf(path);
    if (stat(folder.c_str(), &st) != 0)
        return std::strerror(errno);
    if (!S_ISDIR(st.st_mode))
        return std::strerror(ENOTDIR);
    if (access(folder.c_str(), W_OK | X_OK) != 0)
        return std::strerror(errno);
    return {};
}

StagedOutput::StagedOutput(std::string destination)
    : destination_(std::move(destination)), folder_(folderOf(destination_))
{
}

StagedOutput::~StagedOutput()
{
    discard();
}

bool StagedOutput::open(std::string *error)
{
    const std::string reason = unwritableReason(destination_);
    std::string pattern = folder_ + "/.glyva-mesh-XXXXXX";
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    if (!reason.empty() || !mkdtemp(buf.data())) {
        *error = "cannot write " + destination_ + ": " +
                 (reason.empty() ? std::strerror(errno) : reason);
        return false;
    }
    dir_ = buf.data();
    staging_ = dir_ + "/" + nameOf(destination_);
    slot_ = claimSlot(dir_, staging_);
    return true;
}

bool StagedOutput::commit(std::string *error)
{
    struct stat st;
    if (stat(staging_.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        *error = "cannot write " + destination_ + ": nothing was written";
        return false;
    }
    /* The main file goes last, so that it never names a companion not yet in place. */
    const std::string main = nameOf(destination_);
    std::vector<std::string> names = filesIn(dir_);
    for (const std::string &name : names) {
        if (name != main &&
            std::rename((dir_ + "/" + name).c_str(), (folder_ + "/" + name).c_str()) != 0) {
            *error = "cannot write " + folder_ + "/" + name + ": " + std::strerror(errno);
            return false;
        }
    }
    if (std::rename(staging_.c_str(), destination_.c_str()) != 0) {
        *error = "cannot write " + destination_ + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

void StagedOutput::discard()
{
    if (dir_.empty())
        return;
    for (const std::string &name : filesIn(dir_))
        std::remove((dir_ + "/" + name).c_str());
    rmdir(dir_.c_str());
    dir_.clear();
    if (slot_ >= 0)
        g_slots[slot_].used = 0;
    slot_ = -1;
}

} // namespace glyvamesh
