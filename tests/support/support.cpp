#include "support/support.hh"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
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

bool quickRun()
{
    const char *quick = std::getenv("GLYVA_QUICK");
    return quick && std::strcmp(quick, "1") == 0;
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
    close(fd);
    path_ = name;
    std::ofstream(path_, std::ios::binary) << bytes;
}

TempFile::~TempFile()
{
    unlink(path_.c_str());
}

std::string quote(const std::string &arg)
{
    std::string q = "'";
    for (char c : arg)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

std::string fileContents(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string hexBytes(const char *hex)
{
    std::string bytes;
    for (const char *c = hex; *c; ++c) {
        if (*c == ' ')
            continue;
        bytes += static_cast<char>(std::strtol(std::string(c, 2).c_str(), nullptr, 16));
        ++c;
    }
    return bytes;
}

std::vector<std::vector<std::string>> caseRows(const std::string &file, const std::string &table)
{
    std::ifstream in(std::string(GLYVA_SOURCE_DIR) + "/tests/cases/" + file);
    std::vector<std::vector<std::string>> rows;
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#')
            continue;
        rows.emplace_back();
        for (size_t at = 0, bar;; at = bar + 3) {
            bar = line.find(" | ", at);
            rows.back().push_back(line.substr(at, bar == std::string::npos ? bar : bar - at));
            if (bar == std::string::npos)
                break;
        }
        if (!table.empty() && rows.back()[0] != table)
            rows.pop_back();
    }
    EXPECT_FALSE(rows.empty()) << file << " " << table;
    return rows;
}

std::vector<std::vector<TextPoint>> pointLists(const char *text)
{
    std::vector<std::vector<TextPoint>> lists(1);
    std::istringstream in(text ? text : "");
    std::string item;
    while (in >> item) {
        if (item == "|") {
            lists.emplace_back();
            continue;
        }
        TextPoint p;
        const char *c = item.c_str();
        for (char *end; *c; c = *end == ',' ? end + 1 : end) {
            p.c.push_back(std::strtod(c, &end));
            if (*end != ',' && *end) {
                p.tag = end;
                break;
            }
        }
        lists.back().push_back(p);
    }
    return lists;
}

} // namespace glyva_test
