#include "sceneExport.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <unordered_map>
#include <vector>

#include <nlohmann/json.hpp>

namespace glyvamesh
{
namespace
{

constexpr size_t kStreamBuffer = 1 << 20;
constexpr uint64_t kFirstAllocation = uint64_t{16} << 20;
constexpr uint32_t kGlbMagic = 0x46546C67;    /* "glTF" */
constexpr uint32_t kJsonChunk = 0x4E4F534A;   /* "JSON" */
constexpr uint32_t kBinaryChunk = 0x004E4942; /* "BIN\0" */
constexpr int kArrayBuffer = 34962, kElementArrayBuffer = 34963;
constexpr int kFloat = 5126, kUnsignedInt = 5125, kTriangles = 4;

/* A file written through a buffer of its own, so that the many small pieces of a
 * text format cost a copy each rather than a library call; the first failure sticks. */
class Output
{
  public:
    explicit Output(const std::string &path)
        : file_(std::fopen(path.c_str(), "wb")), buffer_(new char[kStreamBuffer])
    {
    }
    ~Output()
    {
        if (file_)
            std::fclose(file_);
    }
    Output(const Output &) = delete;
    Output &operator=(const Output &) = delete;

    void bytes(const void *data, size_t size)
    {
        if (size > kStreamBuffer) {
            flush();
            return write(data, size);
        }
        std::memcpy(room(size), data, size);
        used_ += size;
    }
    void text(const char *s, size_t n) { bytes(s, n); }
    void text(const std::string &s) { bytes(s.data(), s.size()); }
    template <typename T> void value(T v) { bytes(&v, sizeof v); }
    /* Shortest text that reads back as the same float. */
    void number(float v)
    {
        char *at = room(kNumberRoom);
        used_ += static_cast<size_t>(std::to_chars(at, at + kNumberRoom, v).ptr - at);
    }
    /* At least size bytes to write into directly, committed by advance. */
    char *room(size_t size)
    {
        if (used_ + size > kStreamBuffer)
            flush();
        return buffer_.get() + used_;
    }
    void advance(size_t size) { used_ += size; }
    /* The file will hold this many bytes: its blocks are allocated at once. */
    void expect(uint64_t size) { allocate(size); }
    bool close(std::string *error)
    {
        flush();
        /* Blocks allocated ahead past the end are given back. */
        if (file_ && allocated_ > written_)
            ok_ = ok_ && std::fflush(file_) == 0 && ftruncate(fileno(file_), written_) == 0;
        const bool closed = file_ && std::fclose(file_) == 0;
        file_ = nullptr;
        if (ok_ && closed)
            return true;
        *error = std::string("write failed: ") + std::strerror(errno ? errno : EIO);
        return false;
    }

    /* More than any float's shortest text. */
    static constexpr size_t kNumberRoom = 32;

  private:
    void write(const void *data, size_t size)
    {
        if (written_ + size > std::max<uint64_t>(allocated_, kStreamBuffer))
            allocate(std::max<uint64_t>({written_ + size, 2 * allocated_, kFirstAllocation}));
        ok_ = ok_ && file_ && std::fwrite(data, 1, size, file_) == size;
        written_ += size;
    }
    /* The file system allocates large files' blocks far faster in a few large extents
     * than page by page as they are written (a fifth of the kernel's time on a page of
     * solids). Where it cannot, the file grows as written. */
    void allocate(uint64_t size)
    {
        if (!file_ || !allocating_ || size <= allocated_)
            return;
        allocating_ = fallocate(fileno(file_), FALLOC_FL_KEEP_SIZE, static_cast<off_t>(allocated_),
                                static_cast<off_t>(size - allocated_)) == 0;
        if (allocating_)
            allocated_ = size;
    }
    void flush()
    {
        write(buffer_.get(), used_);
        used_ = 0;
    }

    std::FILE *file_;
    std::unique_ptr<char[]> buffer_;
    size_t used_ = 0;
    uint64_t written_ = 0, allocated_ = 0;
    bool allocating_ = true;
    bool ok_ = true;
};

static_assert(sizeof(Vec3) == 12, "positions and normals go to the buffer as they are");
static_assert(sizeof(Vec2) == 8, "texture coordinates go to the buffer as they are");

Vec3 moved(const Vec3 &p, const Vec3 &t)
{
    return {p.x + t.x, p.y + t.y, p.z + t.z};
}

const Mesh &meshOf(const Scene &scene, const Instance &instance)
{
    return scene.meshes[instance.mesh];
}

/* The facet's own normal, from its corners as written; zero for a facet without area. */
Vec3 facetNormal(const Vec3 &a, const Vec3 &b, const Vec3 &c)
{
    const double ux = double(b.x) - a.x, uy = double(b.y) - a.y, uz = double(b.z) - a.z;
    const double vx = double(c.x) - a.x, vy = double(c.y) - a.y, vz = double(c.z) - a.z;
    const double nx = uy * vz - uz * vy, ny = uz * vx - ux * vz, nz = ux * vy - uy * vx;
    const double length = std::sqrt(nx * nx + ny * ny + nz * nz);
    if (!(length > 0.0))
        return {};
    return {float(nx / length), float(ny / length), float(nz / length)};
}

constexpr size_t kStlRecord = 50;

/* A mesh's facets as binary STL records where it stands: the facet's normal, which
 * does not change as the facet moves, then its three corners. */
std::vector<char> stlRecords(const Mesh &mesh)
{
    std::vector<char> records(mesh.triangles.size() / 3 * kStlRecord, 0);
    char *record = records.data();
    for (size_t t = 0; t + 2 < mesh.triangles.size(); t += 3, record += kStlRecord) {
        const Vec3 corners[3] = {mesh.positions[mesh.triangles[t]],
                                 mesh.positions[mesh.triangles[t + 1]],
                                 mesh.positions[mesh.triangles[t + 2]]};
        const Vec3 normal = facetNormal(corners[0], corners[1], corners[2]);
        std::memcpy(record, &normal, sizeof normal);
        std::memcpy(record + 12, corners, sizeof corners);
    }
    return records;
}

/* The records moved by the translation, straight into the output's buffer, read from
 * the prepared ones only (reading back what was just stored stalls the processor). */
void writeStlRecords(Output &out, const std::vector<char> &records, const Vec3 &translation)
{
    const float t[3] = {translation.x, translation.y, translation.z};
    for (size_t at = 0; at < records.size(); at += kStlRecord) {
        const char *from = records.data() + at;
        char *to = out.room(kStlRecord);
        std::memcpy(to, from, 12);
        for (int k = 0; k < 9; ++k) {
            float v;
            std::memcpy(&v, from + 12 + 4 * k, sizeof v);
            v += t[k % 3];
            std::memcpy(to + 12 + 4 * k, &v, sizeof v);
        }
        std::memcpy(to + 48, from + 48, 2);
        out.advance(kStlRecord);
    }
}

bool writeStl(const Scene &scene, const std::string &path, const SceneWriting &how,
              std::string *error)
{
    uint64_t facets = 0;
    for (const Instance &instance : scene.instances)
        facets += meshOf(scene, instance).triangles.size() / 3;
    if (facets > UINT32_MAX) {
        *error = "more triangles than binary STL can count";
        return false;
    }
    std::vector<std::vector<char>> records(scene.meshes.size());
    for (size_t m = 0; m < scene.meshes.size(); ++m)
        records[m] = stlRecords(scene.meshes[m]);
    Output out(path);
    char header[80];
    std::memset(header, ' ', sizeof header);
    std::memcpy(header, "glyva-mesh binary STL", 21);
    out.expect(84 + kStlRecord * facets);
    out.bytes(header, sizeof header);
    out.value(static_cast<uint32_t>(facets));
    for (size_t i = 0; i < scene.instances.size(); ++i) {
        const Instance &instance = scene.instances[i];
        writeStlRecords(out, records[instance.mesh], instance.translation);
        if (how.progress)
            how.progress(i + 1);
    }
    return out.close(error);
}

/* Shortest round-trip text of floats, remembered by bit pattern in a small table: a
 * line of text repeats its y, a solid its depths, and texture coordinates their
 * positions, and a copy costs a fraction of the formatting. */
class FloatText
{
  public:
    FloatText() : slots_(new Slot[kSlots]) {}
    char *put(char *at, float value)
    {
        uint32_t bits;
        std::memcpy(&bits, &value, sizeof bits);
        Slot &slot = slots_[(bits * 0x9E3779B1u) >> (32 - kSlotBits)];
        if (slot.size != 0 && slot.bits == bits) {
            std::memcpy(at, slot.text, sizeof slot.text);
            return at + slot.size;
        }
        char *const end = std::to_chars(at, at + Output::kNumberRoom, value).ptr;
        const size_t size = static_cast<size_t>(end - at);
        if (size <= sizeof slot.text) {
            slot.bits = bits;
            slot.size = static_cast<uint8_t>(size);
            std::memcpy(slot.text, at, size);
        }
        return end;
    }

  private:
    static constexpr int kSlotBits = 15;
    static constexpr size_t kSlots = size_t{1} << kSlotBits;
    struct Slot {
        uint32_t bits = 0;
        uint8_t size = 0;
        char text[15];
    };
    std::unique_ptr<Slot[]> slots_;
};

/* One line of a tag and N numbers, formatted straight into the output's buffer. */
template <size_t TagSize, int N>
inline void objLine(Output &out, FloatText &numbers, const char (&tag)[TagSize],
                    const float (&values)[N])
{
    char *const start = out.room(TagSize + N * (Output::kNumberRoom + 1));
    std::memcpy(start, tag, TagSize - 1);
    char *at = start + TagSize - 1;
    for (int k = 0; k < N; ++k) {
        if (k > 0)
            *at++ = ' ';
        at = numbers.put(at, values[k]);
    }
    *at++ = '\n';
    out.advance(static_cast<size_t>(at - start));
}

template <size_t TagSize>
inline void objVector(Output &out, FloatText &numbers, const char (&tag)[TagSize], const Vec3 &v)
{
    const float values[3] = {v.x, v.y, v.z};
    objLine(out, numbers, tag, values);
}

/* Twelve bytes of values, compared and hashed by bit pattern. */
struct Bits12 {
    std::array<uint32_t, 3> bits{};
    bool operator==(const Bits12 &o) const { return bits == o.bits; }
};

struct Bits12Hash {
    size_t operator()(const Bits12 &k) const
    {
        uint64_t h = k.bits[0];
        h = h * 0x9E3779B97F4A7C15ull + k.bits[1];
        h = h * 0x9E3779B97F4A7C15ull + k.bits[2];
        return static_cast<size_t>(h ^ (h >> 29));
    }
};

template <typename T> Bits12 bitsOf(const T &value, uint32_t extra = 0)
{
    static_assert(sizeof(T) <= 12, "twelve bytes at most");
    Bits12 key;
    key.bits[2] = extra;
    std::memcpy(key.bits.data(), &value, sizeof value);
    return key;
}

/* Each distinct normal direction is written once, at its first use, and numbered from 1
 * in the order written: a flat text has one, a solid's caps two, and the walls' repeat
 * wherever a glyph does. */
class ObjNormals
{
  public:
    uint64_t number(Output &out, FloatText &text, const Vec3 &n)
    {
        const auto [at, added] = numbers_.emplace(bitsOf(n), numbers_.size() + 1);
        if (added)
            objVector(out, text, "vn ", n);
        return at->second;
    }

  private:
    std::unordered_map<Bits12, uint64_t, Bits12Hash> numbers_;
};

/* The first vertex of each distinct key, and each vertex's place among them. */
struct Distinct {
    std::vector<uint32_t> first;
    std::vector<uint32_t> place;
};

template <typename KeyOf> Distinct distinct(size_t count, KeyOf keyOf)
{
    Distinct d;
    std::unordered_map<Bits12, uint32_t, Bits12Hash> places;
    for (size_t v = 0; v < count; ++v) {
        const auto [at, added] = places.emplace(keyOf(v), static_cast<uint32_t>(d.first.size()));
        if (added)
            d.first.push_back(static_cast<uint32_t>(v));
        d.place.push_back(at->second);
    }
    return d;
}

char *objIndex(char *at, uint64_t value, bool backwards)
{
    if (backwards)
        *at++ = '-';
    return std::to_chars(at, at + 24, value).ptr;
}

/* What every instance of one mesh writes: its distinct positions and texture
 * coordinates (a solid's caps and walls meet at the same positions, its front and back
 * caps share their texture coordinates), each just before the first face that uses it,
 * and the faces, which count back from the last position and texture coordinate written
 * (OBJ's negative indices, -1 the last): the numbers stay short (a third of the faces'
 * text, against counting back from the end of the instance's vertices) and the text is
 * the same for every instance. Normals go by their number in the file. */
struct ObjMesh {
    Distinct positions, uvs;
    /* Distinct positions and texture coordinates in the order written: those no face
     * uses come last. */
    std::vector<uint32_t> positionOrder, uvOrder;
    /* Per face, how many of each are written before it and where its text ends. */
    struct Step {
        uint8_t positions = 0, uvs = 0;
        uint32_t textEnd = 0;
    };
    std::vector<Step> steps;
    std::string faces;
};

/* The order in which distinct items are first used; the rank of each. */
struct FirstUse {
    std::vector<uint32_t> order;
    std::vector<uint32_t> rank;
    explicit FirstUse(size_t count) : rank(count, UINT32_MAX) {}
    /* The item's rank, and whether this use is its first. */
    bool use(uint32_t item)
    {
        if (rank[item] != UINT32_MAX)
            return false;
        rank[item] = static_cast<uint32_t>(order.size());
        order.push_back(item);
        return true;
    }
    void finish()
    {
        for (uint32_t item = 0; item < rank.size(); ++item)
            use(item);
    }
};

ObjMesh objMesh(const Mesh &mesh, const std::vector<uint64_t> &normalNumbers)
{
    ObjMesh m;
    m.positions =
        distinct(mesh.positions.size(), [&](size_t v) { return bitsOf(mesh.positions[v]); });
    m.uvs = distinct(mesh.uvs.size(),
                     [&](size_t v) { return bitsOf(mesh.uvs[v], mesh.alongOutline[v]); });
    FirstUse positions(m.positions.first.size()), uvs(m.uvs.first.size());
    char line[3 * 72 + 4];
    for (size_t t = 0; t + 2 < mesh.triangles.size(); t += 3) {
        ObjMesh::Step step;
        for (int k = 0; k < 3; ++k) {
            const uint32_t v = mesh.triangles[t + k];
            step.positions += positions.use(m.positions.place[v]);
            step.uvs += uvs.use(m.uvs.place[v]);
        }
        char *at = line;
        *at++ = 'f';
        for (int k = 0; k < 3; ++k) {
            const uint32_t v = mesh.triangles[t + k];
            *at++ = ' ';
            at = objIndex(at, positions.order.size() - positions.rank[m.positions.place[v]], true);
            *at++ = '/';
            at = objIndex(at, uvs.order.size() - uvs.rank[m.uvs.place[v]], true);
            *at++ = '/';
            at = objIndex(at, normalNumbers[v], false);
        }
        *at++ = '\n';
        m.faces.append(line, at);
        step.textEnd = static_cast<uint32_t>(m.faces.size());
        m.steps.push_back(step);
    }
    positions.finish();
    uvs.finish();
    m.positionOrder = std::move(positions.order);
    m.uvOrder = std::move(uvs.order);
    return m;
}

std::string objectName(size_t index, uint32_t code)
{
    char buf[48];
    std::snprintf(buf, sizeof buf, "glyph%zu_U+%04X", index, static_cast<unsigned>(code));
    return buf;
}

std::string fileName(const std::string &path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

/* The one material every object uses: the colour as diffuse, a little gloss. */
bool writeMtl(const std::string &path, const SceneWriting &how, std::string *error)
{
    Output out(path);
    out.text("# " + how.generator + "\nnewmtl glyph\nKa 0 0 0\nKd ");
    out.number(how.color.r);
    out.text(" ", 1);
    out.number(how.color.g);
    out.text(" ", 1);
    out.number(how.color.b);
    out.text("\nKs 0.1 0.1 0.1\nNs 32\nd 1\nillum 2\n");
    return out.close(error);
}

/* Positions and texture coordinates are written per instance, moved; the faces and
 * normals do not move, so each distinct mesh's face lines are made once and its new
 * normal directions written at its first instance. The material goes into a .mtl file
 * beside. */
bool writeObj(const Scene &scene, const std::string &path, const SceneWriting &how,
              std::string *error)
{
    const std::string mtl = besidePath(path, ".mtl");
    if (!writeMtl(mtl, how, error))
        return false;
    Output out(path);
    out.text("# " + how.generator + "\nmtllib " + fileName(mtl) + "\n");
    if (how.merge)
        out.text("o " + how.name + "\nusemtl glyph\n");
    ObjNormals normals;
    FloatText text;
    std::vector<ObjMesh> meshes(scene.meshes.size());
    std::vector<bool> seen(scene.meshes.size(), false);
    for (size_t i = 0; i < scene.instances.size(); ++i) {
        const Instance &instance = scene.instances[i];
        const Mesh &mesh = meshOf(scene, instance);
        ObjMesh &written = meshes[instance.mesh];
        if (!how.merge)
            out.text("o " + objectName(i, instance.code) + "\nusemtl glyph\n");
        if (!seen[instance.mesh]) {
            seen[instance.mesh] = true;
            std::vector<uint64_t> numbers;
            for (const Vec3 &n : mesh.normals)
                numbers.push_back(normals.number(out, text, n));
            written = objMesh(mesh, numbers);
        }
        size_t position = 0, uv = 0, textAt = 0;
        auto writePositions = [&](size_t count) {
            for (const size_t end = position + count; position < end; ++position) {
                const uint32_t v = written.positions.first[written.positionOrder[position]];
                objVector(out, text, "v ", moved(mesh.positions[v], instance.translation));
            }
        };
        auto writeUvs = [&](size_t count) {
            for (const size_t end = uv + count; uv < end; ++uv) {
                const uint32_t v = written.uvs.first[written.uvOrder[uv]];
                const Vec2 at = textUv(mesh, v, instance.translation, scene.unitsPerEm);
                const float values[2] = {at.x, at.y};
                objLine(out, text, "vt ", values);
            }
        };
        for (const ObjMesh::Step &step : written.steps) {
            writePositions(step.positions);
            writeUvs(step.uvs);
            out.text(written.faces.data() + textAt, step.textEnd - textAt);
            textAt = step.textEnd;
        }
        writePositions(written.positionOrder.size() - position);
        writeUvs(written.uvOrder.size() - uv);
        if (how.progress)
            how.progress(i + 1);
    }
    return out.close(error);
}

struct Bounds {
    float min[3] = {FLT_MAX, FLT_MAX, FLT_MAX};
    float max[3] = {-FLT_MAX, -FLT_MAX, -FLT_MAX};
    void add(const Vec3 &p)
    {
        const float v[3] = {p.x, p.y, p.z};
        for (int k = 0; k < 3; ++k) {
            min[k] = std::min(min[k], v[k]);
            max[k] = std::max(max[k], v[k]);
        }
    }
};

/* One glTF mesh as it lands in the buffer: its vertices and indices from these
 * element offsets, positions bounded as written. */
struct GltfMesh {
    std::string name;
    uint64_t firstVertex = 0, vertexCount = 0;
    uint64_t firstIndex = 0, indexCount = 0;
    Bounds bounds;
};

/* What the glTF file holds, before a byte of the buffer is written: the meshes the
 * scene writes (each distinct one, or one of everything) and the buffer's size. */
struct GltfPlan {
    std::vector<GltfMesh> meshes;
    uint64_t vertices = 0, indices = 0;
    /* Positions and normals, 12 bytes each, then texture coordinates, 8. */
    uint64_t vertexBytes() const { return vertices * 32; }
    uint64_t bufferBytes() const { return vertexBytes() + indices * 4; }
};

GltfPlan planGltf(const Scene &scene, const SceneWriting &how)
{
    GltfPlan plan;
    if (how.merge) {
        GltfMesh all;
        all.name = how.name;
        for (const Instance &instance : scene.instances) {
            const Mesh &mesh = meshOf(scene, instance);
            for (const Vec3 &p : mesh.positions)
                all.bounds.add(moved(p, instance.translation));
            all.vertexCount += mesh.positions.size();
            all.indexCount += mesh.triangles.size();
        }
        plan.meshes.push_back(all);
    } else {
        for (const Mesh &mesh : scene.meshes) {
            GltfMesh m;
            m.name = mesh.name;
            for (const Vec3 &p : mesh.positions)
                m.bounds.add(p);
            m.vertexCount = mesh.positions.size();
            m.indexCount = mesh.triangles.size();
            plan.meshes.push_back(m);
        }
    }
    for (GltfMesh &m : plan.meshes) {
        m.firstVertex = plan.vertices;
        m.firstIndex = plan.indices;
        plan.vertices += m.vertexCount;
        plan.indices += m.indexCount;
    }
    return plan;
}

nlohmann::ordered_json accessor(int view, uint64_t offset, uint64_t count, int component,
                                const char *type)
{
    return {{"bufferView", view},
            {"byteOffset", offset},
            {"componentType", component},
            {"count", count},
            {"type", type}};
}

nlohmann::ordered_json gltfMeshes(const GltfPlan &plan, nlohmann::ordered_json *accessors)
{
    nlohmann::ordered_json meshes = nlohmann::ordered_json::array();
    for (const GltfMesh &m : plan.meshes) {
        const size_t first = accessors->size();
        nlohmann::ordered_json position =
            accessor(0, m.firstVertex * 12, m.vertexCount, kFloat, "VEC3");
        position["min"] = {m.bounds.min[0], m.bounds.min[1], m.bounds.min[2]};
        position["max"] = {m.bounds.max[0], m.bounds.max[1], m.bounds.max[2]};
        accessors->push_back(position);
        accessors->push_back(
            accessor(0, plan.vertices * 12 + m.firstVertex * 12, m.vertexCount, kFloat, "VEC3"));
        accessors->push_back(accessor(1, m.firstVertex * 8, m.vertexCount, kFloat, "VEC2"));
        accessors->push_back(accessor(2, m.firstIndex * 4, m.indexCount, kUnsignedInt, "SCALAR"));
        nlohmann::ordered_json primitive = {
            {"attributes", {{"POSITION", first}, {"NORMAL", first + 1}, {"TEXCOORD_0", first + 2}}},
            {"indices", first + 3},
            {"material", 0},
            {"mode", kTriangles}};
        meshes.push_back({{"name", m.name}, {"primitives", {primitive}}});
    }
    return meshes;
}

nlohmann::ordered_json gltfNodes(const Scene &scene, const SceneWriting &how)
{
    nlohmann::ordered_json nodes = nlohmann::ordered_json::array();
    nlohmann::ordered_json children = nlohmann::ordered_json::array();
    nodes.push_back({{"name", "glyva-mesh"}});
    if (how.merge) {
        nodes.push_back({{"name", how.name}, {"mesh", 0}});
        children.push_back(1);
    } else {
        for (const Instance &instance : scene.instances) {
            const Vec3 &t = instance.translation;
            children.push_back(nodes.size());
            nodes.push_back({{"name", instance.text},
                             {"mesh", instance.mesh},
                             {"translation", {t.x, t.y, t.z}}});
        }
    }
    nodes[0]["children"] = children;
    return nodes;
}

std::string gltfJson(const Scene &scene, const GltfPlan &plan, const SceneWriting &how,
                     const std::string &bufferUri)
{
    nlohmann::ordered_json accessors = nlohmann::ordered_json::array();
    nlohmann::ordered_json doc;
    doc["asset"] = {{"version", "2.0"}, {"generator", how.generator}};
    doc["scene"] = 0;
    doc["scenes"] = {{{"nodes", {0}}}};
    doc["nodes"] = gltfNodes(scene, how);
    doc["meshes"] = gltfMeshes(plan, &accessors);
    const Rgb &c = how.color;
    nlohmann::ordered_json material = {
        {"name", "glyph"},
        {"pbrMetallicRoughness",
         {{"baseColorFactor", {linearFromSrgb(c.r), linearFromSrgb(c.g), linearFromSrgb(c.b), 1.0}},
          {"metallicFactor", 0.0},
          {"roughnessFactor", 0.6}}}};
    if (scene.flat)
        material["doubleSided"] = true; /* a flat glyph seen from behind is still a glyph */
    doc["materials"] = {material};
    doc["accessors"] = accessors;
    doc["bufferViews"] = {{{"buffer", 0},
                           {"byteOffset", 0},
                           {"byteLength", plan.vertices * 24},
                           {"byteStride", 12}, /* positions, then normals, each packed */
                           {"target", kArrayBuffer}},
                          {{"buffer", 0},
                           {"byteOffset", plan.vertices * 24},
                           {"byteLength", plan.vertices * 8},
                           {"byteStride", 8},
                           {"target", kArrayBuffer}},
                          {{"buffer", 0},
                           {"byteOffset", plan.vertexBytes()},
                           {"byteLength", plan.indices * 4},
                           {"target", kElementArrayBuffer}}};
    nlohmann::ordered_json buffer = {{"byteLength", plan.bufferBytes()}};
    if (!bufferUri.empty())
        buffer["uri"] = bufferUri;
    doc["buffers"] = {buffer};
    return doc.dump();
}

/* glTF's texture coordinates start at the top of an image, ours at the bottom. */
Vec2 gltfUv(Vec2 uv)
{
    return {uv.x, 1.0f - uv.y};
}

/* The buffer, streamed: every position, then every normal, every texture coordinate,
 * every index. */
void writeGltfBuffer(Output &out, const Scene &scene, const SceneWriting &how)
{
    if (!how.merge) {
        for (const Mesh &mesh : scene.meshes)
            out.bytes(mesh.positions.data(), mesh.positions.size() * sizeof(Vec3));
        for (const Mesh &mesh : scene.meshes)
            out.bytes(mesh.normals.data(), mesh.normals.size() * sizeof(Vec3));
        for (const Mesh &mesh : scene.meshes)
            for (const Vec2 &uv : mesh.uvs)
                out.value(gltfUv(uv));
        for (const Mesh &mesh : scene.meshes)
            out.bytes(mesh.triangles.data(), mesh.triangles.size() * sizeof(uint32_t));
        return;
    }
    for (const Instance &instance : scene.instances)
        for (const Vec3 &p : meshOf(scene, instance).positions)
            out.value(moved(p, instance.translation));
    for (const Instance &instance : scene.instances) {
        const Mesh &mesh = meshOf(scene, instance);
        out.bytes(mesh.normals.data(), mesh.normals.size() * sizeof(Vec3));
    }
    for (const Instance &instance : scene.instances) {
        const Mesh &mesh = meshOf(scene, instance);
        for (size_t v = 0; v < mesh.uvs.size(); ++v)
            out.value(gltfUv(textUv(mesh, v, instance.translation, scene.unitsPerEm)));
    }
    uint64_t base = 0;
    for (size_t i = 0; i < scene.instances.size(); ++i) {
        const Mesh &mesh = meshOf(scene, scene.instances[i]);
        for (uint32_t index : mesh.triangles)
            out.value(static_cast<uint32_t>(base + index));
        base += mesh.positions.size();
        if (how.progress)
            how.progress(i + 1);
    }
}

bool writeGltf(const Scene &scene, const std::string &path, bool binary, const SceneWriting &how,
               std::string *error)
{
    const GltfPlan plan = planGltf(scene, how);
    if (plan.vertices > UINT32_MAX || plan.bufferBytes() > UINT32_MAX) {
        *error = "more vertices than a glTF buffer holds (try without --merge)";
        return false;
    }
    if (!binary) {
        const std::string bin = besidePath(path, ".bin");
        Output json(path);
        json.text(gltfJson(scene, plan, how, fileName(bin)));
        Output buffer(bin);
        writeGltfBuffer(buffer, scene, how);
        return json.close(error) && buffer.close(error);
    }
    std::string json = gltfJson(scene, plan, how, "");
    json.append((4 - json.size() % 4) % 4, ' ');
    const uint64_t bin = plan.bufferBytes();
    const uint64_t total = 12 + 8 + json.size() + 8 + bin;
    Output out(path);
    out.value(kGlbMagic);
    out.value(uint32_t{2});
    out.value(static_cast<uint32_t>(total));
    out.value(static_cast<uint32_t>(json.size()));
    out.value(kJsonChunk);
    out.text(json);
    out.value(static_cast<uint32_t>(bin));
    out.value(kBinaryChunk);
    writeGltfBuffer(out, scene, how);
    return out.close(error);
}

} // namespace

std::string besidePath(const std::string &path, const std::string &extension)
{
    const size_t slash = path.rfind('/');
    const size_t dot = path.rfind('.');
    const size_t stem =
        dot == std::string::npos || (slash != std::string::npos && dot < slash) ? path.size() : dot;
    return path.substr(0, stem) + extension;
}

float linearFromSrgb(float c)
{
    return c <= 0.04045f ? c / 12.92f : std::pow((c + 0.055f) / 1.055f, 2.4f);
}

bool meshFormatFor(const std::string &extension, MeshFormat *format)
{
    static const std::pair<const char *, MeshFormat> kFormats[] = {{".obj", MeshFormat::Obj},
                                                                   {".stl", MeshFormat::Stl},
                                                                   {".glb", MeshFormat::Glb},
                                                                   {".gltf", MeshFormat::Gltf},
                                                                   {".3mf", MeshFormat::ThreeMf}};
    for (const auto &[ext, f] : kFormats) {
        if (extension == ext) {
            *format = f;
            return true;
        }
    }
    return false;
}

bool writeScene(const Scene &scene, MeshFormat format, const std::string &path,
                const SceneWriting &how, std::string *error)
{
    switch (format) {
    case MeshFormat::Stl:
        return writeStl(scene, path, how, error);
    case MeshFormat::Obj:
        return writeObj(scene, path, how, error);
    case MeshFormat::Glb:
        return writeGltf(scene, path, true, how, error);
    case MeshFormat::Gltf:
        return writeGltf(scene, path, false, how, error);
    case MeshFormat::ThreeMf:
        return writeThreeMf(scene, path, how, error);
    }
    return false;
}

} // namespace glyvamesh
