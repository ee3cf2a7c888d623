#include <dirent.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

/* Runs a fuzz target over every file of the directories given, as a plain program, so
 * that the committed corpus and the regression inputs replay in the test suite under
 * whatever compiler and sanitizers the test build uses. A missing directory is
 * skipped; no input at all is a failure, since it means the wiring is wrong. */

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

namespace
{

bool readFile(const std::string &path, std::vector<uint8_t> &bytes)
{
    FILE *f = fopen(path.c_str(), "rb");
    if (!f)
        return false;
    bytes.clear();
    uint8_t chunk[4096];
    size_t n;
    while ((n = fread(chunk, 1, sizeof chunk, f)) > 0)
        bytes.insert(bytes.end(), chunk, chunk + n);
    const bool ok = !ferror(f);
    fclose(f);
    return ok;
}

/* The regular files of a directory, sorted so that runs are repeatable. */
std::vector<std::string> filesOf(const char *dir)
{
    std::vector<std::string> files;
    DIR *d = opendir(dir);
    if (!d)
        return files;
    while (dirent *entry = readdir(d)) {
        if (entry->d_name[0] == '.')
            continue;
        files.push_back(std::string(dir) + "/" + entry->d_name);
    }
    closedir(d);
    std::sort(files.begin(), files.end());
    return files;
}

} // namespace

int main(int argc, char **argv)
{
    size_t replayed = 0;
    std::vector<uint8_t> bytes;
    for (int i = 1; i < argc; ++i) {
        for (const std::string &path : filesOf(argv[i])) {
            if (!readFile(path, bytes))
                continue;
            printf("%s (%zu bytes)\n", path.c_str(), bytes.size());
            fflush(stdout);
            /* A copy of exactly the input's size, so that a read past it is caught. */
            uint8_t *data = static_cast<uint8_t *>(malloc(bytes.size() ? bytes.size() : 1));
            if (!bytes.empty())
                memcpy(data, bytes.data(), bytes.size());
            LLVMFuzzerTestOneInput(data, bytes.size());
            free(data);
            ++replayed;
        }
    }
    printf("%zu inputs replayed\n", replayed);
    return replayed > 0 ? 0 : 1;
}
