#include "support/solid.hh"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <tuple>

#include <unistd.h>

#include "support/support.hh"

namespace glyva_test
{
namespace
{

using Position = std::tuple<float, float, float>;

Position positionOf(const SolidMesh &m, uint32_t v)
{
    return Position{m.positions[3 * v], m.positions[3 * v + 1], m.positions[3 * v + 2]};
}

/* Twice the area of the triangle starting at index t, as a vector along its facet normal. */
std::array<double, 3> facetNormal(const SolidMesh &m, size_t t)
{
    const float *a = &m.positions[3 * m.indices[t]];
    const float *b = &m.positions[3 * m.indices[t + 1]];
    const float *c = &m.positions[3 * m.indices[t + 2]];
    const double u[3] = {double(b[0]) - a[0], double(b[1]) - a[1], double(b[2]) - a[2]};
    const double w[3] = {double(c[0]) - a[0], double(c[1]) - a[1], double(c[2]) - a[2]};
    return {u[1] * w[2] - u[2] * w[1], u[2] * w[0] - u[0] * w[2], u[0] * w[1] - u[1] * w[0]};
}

bool writeBinaryStl(const SolidMesh &m, const std::string &path)
{
    FILE *f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    char header[80] = "glyva test solid";
    const uint32_t count = static_cast<uint32_t>(m.indices.size() / 3);
    bool ok = std::fwrite(header, sizeof header, 1, f) == 1 && std::fwrite(&count, 4, 1, f) == 1;
    for (size_t t = 0; ok && t < m.indices.size(); t += 3) {
        const std::array<double, 3> n = facetNormal(m, t);
        const double length = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
        const float normal[3] = {float(n[0] / length), float(n[1] / length), float(n[2] / length)};
        const uint16_t attributes = 0;
        ok = std::fwrite(normal, sizeof normal, 1, f) == 1;
        for (int k = 0; ok && k < 3; ++k)
            ok = std::fwrite(&m.positions[3 * m.indices[t + k]], 12, 1, f) == 1;
        ok = ok && std::fwrite(&attributes, 2, 1, f) == 1;
    }
    return std::fclose(f) == 0 && ok;
}

} // namespace

testing::AssertionResult meshWellFormed(const SolidMesh &m)
{
    const size_t vertices = m.positions.size() / 3;
    if (m.indices.size() % 3 != 0 || m.normals.size() != 3 * vertices ||
        m.uvs.size() != 2 * vertices)
        return testing::AssertionFailure() << "array sizes do not agree";
    for (uint32_t i : m.indices) {
        if (i >= vertices)
            return testing::AssertionFailure() << "index " << i << " past " << vertices;
    }
    for (size_t v = 0; v < vertices; ++v) {
        const float *n = &m.normals[3 * v];
        for (int k = 0; k < 3; ++k) {
            if (!std::isfinite(m.positions[3 * v + k]) || !std::isfinite(n[k]))
                return testing::AssertionFailure() << "vertex " << v << " is not finite";
        }
        const double length =
            std::sqrt(double(n[0]) * n[0] + double(n[1]) * n[1] + double(n[2]) * n[2]);
        if (std::fabs(length - 1.0) > 1e-5)
            return testing::AssertionFailure()
                   << "normal of vertex " << v << " has length " << length;
    }
    for (size_t t = 0; t < m.indices.size(); t += 3) {
        if (facetNormal(m, t) == std::array<double, 3>{0.0, 0.0, 0.0})
            return testing::AssertionFailure() << "triangle " << t / 3 << " has no area";
    }
    return testing::AssertionSuccess();
}

testing::AssertionResult closedByPosition(const SolidMesh &m)
{
    std::map<std::pair<Position, Position>, int> uses;
    for (size_t t = 0; t < m.indices.size(); t += 3) {
        for (int k = 0; k < 3; ++k) {
            const Position a = positionOf(m, m.indices[t + k]);
            const Position b = positionOf(m, m.indices[t + (k + 1) % 3]);
            if (++uses[{a, b}] > 1)
                return testing::AssertionFailure()
                       << "an edge of triangle " << t / 3 << " is used twice the same way";
        }
    }
    for (const auto &entry : uses) {
        if (!uses.count({entry.first.second, entry.first.first}))
            return testing::AssertionFailure() << "an edge is used one way only";
    }
    return testing::AssertionSuccess();
}

testing::AssertionResult normalsFaceOutwards(const SolidMesh &m)
{
    for (size_t t = 0; t < m.indices.size(); t += 3) {
        const std::array<double, 3> n = facetNormal(m, t);
        for (int k = 0; k < 3; ++k) {
            const float *v = &m.normals[3 * m.indices[t + k]];
            if (v[0] * n[0] + v[1] * n[1] + v[2] * n[2] <= 0.0)
                return testing::AssertionFailure()
                       << "a corner of triangle " << t / 3 << " has a normal facing away";
        }
    }
    return testing::AssertionSuccess();
}

double enclosedVolume(const SolidMesh &m)
{
    double six = 0.0;
    for (size_t t = 0; t < m.indices.size(); t += 3) {
        const float *a = &m.positions[3 * m.indices[t]];
        const float *b = &m.positions[3 * m.indices[t + 1]];
        const float *c = &m.positions[3 * m.indices[t + 2]];
        six += double(a[0]) * (double(b[1]) * c[2] - double(b[2]) * c[1]) -
               double(a[1]) * (double(b[0]) * c[2] - double(b[2]) * c[0]) +
               double(a[2]) * (double(b[0]) * c[1] - double(b[1]) * c[0]);
    }
    return six / 6.0;
}

double projectedArea(const SolidMesh &m)
{
    double sum = 0.0;
    for (size_t t = 0; t < m.indices.size(); t += 3)
        sum += facetNormal(m, t)[2];
    return sum / 2.0;
}

SolidMesh levelAt(const SolidMesh &m, float z)
{
    SolidMesh level = m;
    level.indices.clear();
    for (size_t t = 0; t < m.indices.size(); t += 3) {
        bool at = true;
        for (size_t k = t; k < t + 3; ++k)
            at = at && m.positions[3 * m.indices[k] + 2] == z;
        if (at)
            level.indices.insert(level.indices.end(), &m.indices[t], &m.indices[t] + 3);
    }
    return level;
}

std::vector<std::array<float, 9>> triangleSet(const SolidMesh &m)
{
    std::vector<std::array<float, 9>> set(m.indices.size() / 3);
    for (size_t t = 0; t < set.size(); ++t) {
        for (int turn = 0; turn < 3; ++turn) {
            std::array<float, 9> corners;
            for (int i = 0; i < 9; ++i)
                corners[i] = m.positions[3 * m.indices[3 * t + (i / 3 + turn) % 3] + i % 3];
            set[t] = turn == 0 ? corners : std::min(set[t], corners);
        }
    }
    std::sort(set.begin(), set.end());
    return set;
}

testing::AssertionResult admeshJudges(const std::string &stlPath, long facets, long parts)
{
    if (std::string(GLYVA_ADMESH).empty()) {
        std::printf("admesh not run on %s: not installed\n", stlPath.c_str());
        return testing::AssertionSuccess();
    }
    bool clean = false;
    const std::string text = captureStdout([&] {
        clean = std::system((quote(GLYVA_ADMESH) + " " + quote(stlPath) + " 2>&1").c_str()) == 0;
    });
    /* The number after the label's colon (for the facet lines, the "Original" column). */
    const auto field = [&](const char *label) {
        const size_t at = text.find(label);
        const size_t colon = at == std::string::npos ? at : text.find(':', at);
        return colon == std::string::npos ? -1 : std::strtol(text.c_str() + colon + 1, nullptr, 10);
    };
    clean = clean && (facets < 0 || field("Number of facets") == facets) &&
            (parts < 0 || field("Number of parts") == parts);
    for (const char *label :
         {"Total disconnected facets", "Degenerate facets", "Edges fixed", "Facets removed",
          "Facets added", "Facets reversed", "Backwards edges", "Normals fixed"})
        clean = clean && field(label) == 0;
    return clean ? testing::AssertionSuccess() : testing::AssertionFailure() << text;
}

testing::AssertionResult admeshJudges(const SolidMesh &m, long parts)
{
    const std::string stl = testing::TempDir() + "glyva_solid_" + std::to_string(getpid()) + ".stl";
    if (!writeBinaryStl(m, stl))
        return testing::AssertionFailure() << "cannot write " << stl;
    testing::AssertionResult result =
        admeshJudges(stl, static_cast<long>(m.indices.size() / 3), parts);
    std::remove(stl.c_str());
    return result;
}

} // namespace glyva_test
