#include "sceneExport.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
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

    /* Writing at offsets, from any thread, between placing and placed, during which
     * nothing else is written: where the next byte goes, what the buffer held flushed. */
    uint64_t placing()
    {
        flush();
        ok_ = ok_ && file_ && std::fflush(file_) == 0;
        return written_;
    }
    /* The file will reach end: called in the order of the offsets, by one thread at a
     * time. */
    void reach(uint64_t end)
    {
        if (end > std::max<uint64_t>(allocated_, kStreamBuffer))
            allocate(std::max<uint64_t>({end, 2 * allocated_, kFirstAllocation}));
    }
    /* Size bytes at offset; 0 or the failure's errno. */
    int writeAt(const char *data, size_t size, uint64_t offset) const
    {
        for (size_t done = 0; file_ && done < size;) {
            const ssize_t n =
                pwrite(fileno(file_), data + done, size - done, static_cast<off_t>(offset + done));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return n < 0 ? errno : EIO;
            done += static_cast<size_t>(n);
        }
        return file_ ? 0 : EBADF;
    }
    /* The file now ends at end, or failed with failure's errno. */
    void placed(uint64_t end, int failure)
    {
        written_ = end;
        ok_ = ok_ && failure == 0 && fseeko(file_, static_cast<off_t>(end), SEEK_SET) == 0;
        if (failure != 0)
            errno = failure;
    }
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

  private:
    void write(const void *data, size_t size)
    {
        reach(written_ + size);
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

/* Bytes made apart from the file and written into it whole. */
class ChunkBytes
{
  public:
    /* At least size bytes to write into directly, committed by advance. */
    char *room(size_t size)
    {
        if (used_ + size > data_.size())
            data_.resize(std::max(2 * data_.size(), used_ + size));
        return data_.data() + used_;
    }
    void advance(size_t size) { used_ += size; }
    void text(const std::string &s)
    {
        if (s.empty()) /* before the first room, there is no memory to copy into */
            return;
        std::memcpy(room(s.size()), s.data(), s.size());
        advance(s.size());
    }
    const char *data() const { return data_.data(); }
    size_t size() const { return used_; }
    void clear() { used_ = 0; }

  private:
    std::vector<char> data_;
    size_t used_ = 0;
};

/* Instances are written in chunks of this many consecutive ones. */
constexpr size_t kChunk = 16;

/* Writes a file's instances in chunks of consecutive ones, made on threads threads
 * (with one, here; with more, this thread reports progress). Each thread takes the next
 * chunk, makes it, and when the chunks before it are written writes it itself: the
 * kernel copies it from the cache of the processor that made it, while the other
 * threads make theirs, and one thread at a time writes (threads writing one file at
 * once contend for it in the kernel). What a chunk holds may not depend on which thread
 * made it, so that the file is the same however many made it. */
class ChunkWriter
{
  public:
    ChunkWriter(Output &out, size_t instances, size_t perChunk, const SceneWriting &how)
        : out_(out), how_(how), instances_(instances), perChunk_(perChunk),
          chunks_((instances + perChunk - 1) / perChunk)
    {
    }
    /* makeMaker() is called once by each thread for what makes its chunks:
     * make(first, end, bytes) puts instances [first, end) into bytes. */
    template <typename MakeMaker> void write(unsigned threads, MakeMaker makeMaker)
    {
        end_ = out_.placing();
        std::vector<std::thread> workers;
        threads = static_cast<unsigned>(std::min<size_t>(threads, chunks_ / 2));
        for (unsigned k = 0; threads > 1 && k < threads; ++k)
            startWorker(workers, [this, &makeMaker] { work(makeMaker(), false); });
        if (workers.empty())
            work(makeMaker(), true);
        for (size_t reported = 0; !workers.empty() && reported < chunks_;) {
            std::unique_lock<std::mutex> lock(mutex_);
            changed_.wait(lock, [&] { return written_ > reported; });
            reported = written_;
            lock.unlock();
            report(reported);
        }
        for (std::thread &worker : workers)
            worker.join();
        out_.placed(end_, failure_);
    }

  private:
    /* A thread that cannot start leaves the work to the others, or to this one. */
    template <typename Work> static void startWorker(std::vector<std::thread> &workers, Work work)
    {
        try {
            workers.emplace_back(work);
        } catch (const std::system_error &) {
        }
    }
    template <typename Make> void work(Make make, bool reporting)
    {
        ChunkBytes bytes;
        for (;;) {
            std::unique_lock<std::mutex> lock(mutex_);
            const size_t c = next_++;
            if (c >= chunks_)
                return;
            lock.unlock();
            bytes.clear();
            make(c * perChunk_, std::min(instances_, (c + 1) * perChunk_), bytes);
            lock.lock();
            changed_.wait(lock, [&] { return written_ == c; });
            lock.unlock();
            /* The chunks before are in the file, and no other thread writes until this
             * one says so. */
            const uint64_t offset = end_;
            end_ += bytes.size();
            out_.reach(end_);
            const int failure = out_.writeAt(bytes.data(), bytes.size(), offset);
            lock.lock();
            failure_ = failure_ ? failure_ : failure;
            const size_t written = ++written_;
            changed_.notify_all();
            lock.unlock();
            if (reporting)
                report(written);
        }
    }
    void report(size_t chunks) const
    {
        if (how_.progress)
            how_.progress(std::min(instances_, chunks * perChunk_));
    }

    Output &out_;
    const SceneWriting &how_;
    const size_t instances_, perChunk_, chunks_;
    std::mutex mutex_;
    std::condition_variable changed_;
    /* Chunks taken, chunks written. */
    size_t next_ = 0, written_ = 0;
    uint64_t end_ = 0;
    int failure_ = 0;
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
void writeStlRecords(ChunkBytes &out, const std::vector<char> &records, const Vec3 &translation)
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
    const auto place = [&](size_t first, size_t end, ChunkBytes &bytes) {
        for (size_t i = first; i < end; ++i) {
            const Instance &instance = scene.instances[i];
            writeStlRecords(bytes, records[instance.mesh], instance.translation);
        }
    };
    ChunkWriter(out, scene.instances.size(), kChunk, how).write(how.threads, [&] { return place; });
    return out.close(error);
}

/* The longest shortest text of a float: a sign, nine digits, a point and an exponent
 * of four ("-1.17549435e-38"). */
constexpr size_t kFloatTextSize = 15;

/* The shortest text that reads back as the same float, fixed or scientific, whichever
 * is shorter. */
inline char *floatText(char *at, float value)
{
    return std::to_chars(at, at + kFloatTextSize, value).ptr;
}

/* A number's text in a slot of its own, its size in the last byte, so that it is copied
 * whole with one move. */
struct NumberText {
    char text[kFloatTextSize];
    uint8_t size = 0;
    void make(float value) { size = static_cast<uint8_t>(floatText(text, value) - text); }
};
static_assert(sizeof(NumberText) == 16, "one slot, one move");

/* Copies the number's slot whole and returns the end of its text: at needs 16 bytes. */
inline char *putNumber(char *at, const NumberText &number)
{
    std::memcpy(at, &number, sizeof number);
    return at + number.size;
}

/* One line of a tag and N numbers. */
template <size_t TagSize, int N>
void objLine(std::string &out, const char (&tag)[TagSize], const float (&values)[N])
{
    char line[TagSize + N * (kFloatTextSize + 1)];
    std::memcpy(line, tag, TagSize - 1);
    char *at = line + TagSize - 1;
    for (int k = 0; k < N; ++k) {
        if (k > 0)
            *at++ = ' ';
        at = floatText(at, values[k]);
    }
    *at++ = '\n';
    out.append(line, at);
}

/* Twelve bytes of values, compared and hashed by bit pattern. */
struct Bits12 {
    std::array<uint32_t, 3> bits{};
    bool operator==(const Bits12 &o) const { return bits == o.bits; }
};

constexpr uint64_t kGolden = 0x9E3779B97F4A7C15ull;

/* Hashes whose low bits are mixed from every bit of the key. */
size_t hashOf(uint64_t key)
{
    return static_cast<size_t>((key * kGolden) >> 32);
}

size_t hashOf(const Bits12 &key)
{
    uint64_t h = key.bits[0] * kGolden;
    h = (h ^ key.bits[1]) * kGolden;
    return hashOf(h ^ key.bits[2]);
}

struct Bits12Hash {
    size_t operator()(const Bits12 &key) const { return hashOf(key); }
};

/* Places of distinct keys in the order first added, in one flat table with room for a
 * known count of keys: the standard map's node per key cost more than the rest of
 * preparing a mesh. */
template <typename Key> class Places
{
  public:
    explicit Places(size_t count = 0) : mask_(roomFor(count) - 1), slots_(mask_ + 1) {}
    /* The key's place, and whether it is new; at most count keys. */
    std::pair<uint32_t, bool> add(const Key &key)
    {
        for (size_t at = hashOf(key) & mask_;; at = (at + 1) & mask_) {
            Slot &slot = slots_[at];
            if (slot.place == kFree) {
                slot = {key, size_++};
                return {slot.place, true};
            }
            if (slot.key == key)
                return {slot.place, false};
        }
    }

  private:
    static size_t roomFor(size_t count)
    {
        size_t room = 16;
        while (room < 2 * count)
            room *= 2;
        return room;
    }
    static constexpr uint32_t kFree = UINT32_MAX;
    struct Slot {
        Key key{};
        uint32_t place = kFree;
    };
    size_t mask_;
    std::vector<Slot> slots_;
    uint32_t size_ = 0;
};

template <typename T> Bits12 bitsOf(const T &value, uint32_t extra = 0)
{
    static_assert(sizeof(T) <= 12, "twelve bytes at most");
    Bits12 key;
    key.bits[2] = extra;
    std::memcpy(key.bits.data(), &value, sizeof value);
    return key;
}

uint32_t floatBits(float value)
{
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

/* Each distinct normal direction is written once, at its first use, and numbered from 1
 * in the order written: a flat text has one, a solid's caps two, and the walls' repeat
 * wherever a glyph does. */
class ObjNormals
{
  public:
    uint64_t number(std::string &out, const Vec3 &n)
    {
        const auto [at, added] = numbers_.emplace(bitsOf(n), numbers_.size() + 1);
        if (added) {
            const float values[3] = {n.x, n.y, n.z};
            objLine(out, "vn ", values);
        }
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
    Places<Bits12> places(count);
    d.place.reserve(count);
    for (size_t v = 0; v < count; ++v) {
        const auto [place, added] = places.add(keyOf(v));
        if (added)
            d.first.push_back(static_cast<uint32_t>(v));
        d.place.push_back(place);
    }
    return d;
}

char *objIndex(char *at, uint64_t value, bool backwards)
{
    if (backwards)
        *at++ = '-';
    return std::to_chars(at, at + 24, value).ptr;
}

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

/* What an instance's translation adds to a number of its lines: its x, y or z, its x or
 * y in ems (texture coordinates mapped by position), or nothing (texture coordinates
 * along the outline). */
enum Shift : uint8_t { kByX, kByY, kByZ, kByXInEms, kByYInEms, kFixed, kShifts };

/* Heights kept for the whole text: glyphs share heights (the baseline, the x-height, the
 * cap height), so that the meshes on one line of text need a third fewer of them
 * formatted. Each height is placed with the shift it is made for while the meshes are
 * prepared; each writing thread keeps its own texts of them (ObjHeightTexts). */
class ObjHeights
{
  public:
    /* The place of value moved by shift. */
    uint32_t place(float value, Shift shift)
    {
        const uint64_t key = uint64_t{floatBits(value)} << 8 | shift;
        return places_.emplace(key, static_cast<uint32_t>(places_.size())).first->second;
    }
    size_t size() const { return places_.size(); }

  private:
    std::unordered_map<uint64_t, uint32_t> places_;
};

/* One writing thread's texts of the kept heights, each with the shift it was made for. */
class ObjHeightTexts
{
  public:
    explicit ObjHeightTexts(size_t count) : kept_(count) {}
    /* The text at place moved by shift into text, made there if it was not kept. */
    void put(NumberText *text, uint32_t place, float value, float shift)
    {
        Kept &kept = kept_[place];
        const uint32_t bits = floatBits(shift);
        if (kept.made && kept.madeFor == bits) {
            *text = kept.text;
            return;
        }
        text->make(value + shift);
        kept.text = *text;
        kept.madeFor = bits;
        kept.made = true;
    }

  private:
    struct Kept {
        NumberText text;
        uint32_t madeFor = 0;
        bool made = false;
    };
    std::vector<Kept> kept_;
};

/* One writing thread's texts of one mesh's numbers, each shift's made for the shift
 * named. */
struct ObjTexts {
    std::vector<NumberText> texts;
    std::array<bool, kShifts> made{};
    std::array<uint32_t, kShifts> madeFor{};
};

/* Each number an instance writes is one of its mesh's values plus one of the shifts,
 * and most repeat: a position's x is its texture coordinate's x too (with outputs of
 * one unit per em), every instance on a line of text has the same y, and every one the
 * same z. So a mesh's numbers are the distinct (value, shift) pairs, whose texts are
 * made when the shift changes (x for every instance, y once per line, z and the fixed
 * ones once) and copied into each line that uses them. */
class ObjNumbers
{
  public:
    /* Room for count numbers to be added. */
    void expect(size_t count) { added_ = Places<uint64_t>(count); }
    /* The number value moved by shift, as an index into texts. */
    uint32_t add(float value, Shift shift)
    {
        const uint32_t index = static_cast<uint32_t>(values_[shift].size());
        const auto [place, added] = added_.add(uint64_t{floatBits(value)} << 8 | shift);
        if (added) {
            values_[shift].push_back(value);
            indices_.push_back(index);
        }
        return indices_[place] | static_cast<uint32_t>(shift) << kShiftBit;
    }
    /* Every number has been added: the texts are laid out by shift and heights found
     * among those kept. */
    void finish(ObjHeights &heights)
    {
        uint32_t first = 0;
        for (int s = 0; s < kShifts; ++s) {
            first_[s] = first;
            first += static_cast<uint32_t>(values_[s].size());
        }
        count_ = first;
        added_ = Places<uint64_t>();
        indices_ = {};
        for (Shift s : {kByY, kByYInEms})
            for (float value : values_[s])
                heights_[s].push_back(heights.place(value, s));
    }
    /* Where in the texts the number add returned is, once finished. */
    uint32_t place(uint32_t added) const
    {
        return first_[added >> kShiftBit] + (added & ((1u << kShiftBit) - 1));
    }
    /* How many texts the numbers take. */
    uint32_t count() const { return count_; }
    /* The texts for an instance translated by these shifts (x, y, z, x and y in ems),
     * those already made for the same shift kept; made holds count() texts. */
    void place(ObjTexts &made, const float (&shifts)[kFixed], ObjHeightTexts &heights) const
    {
        for (int s = 0; s < kShifts; ++s) {
            const float shift = s < kFixed ? shifts[s] : 0.0f;
            if (values_[s].empty() || (made.made[s] && made.madeFor[s] == floatBits(shift)))
                continue;
            make(made.texts.data() + first_[s], static_cast<Shift>(s), shift, heights);
            made.made[s] = true;
            made.madeFor[s] = floatBits(shift);
        }
    }

  private:
    void make(NumberText *text, Shift s, float shift, ObjHeightTexts &heights) const
    {
        const std::vector<float> &values = values_[s];
        if (s == kFixed) {
            for (float value : values)
                (text++)->make(value);
        } else if (!heights_[s].empty()) {
            for (size_t k = 0; k < values.size(); ++k)
                heights.put(text++, heights_[s][k], values[k], shift);
        } else {
            for (float value : values)
                (text++)->make(value + shift);
        }
    }

    static constexpr int kShiftBit = 29;
    /* Each added number's index among its shift's values, by its place. */
    Places<uint64_t> added_;
    std::vector<uint32_t> indices_;
    std::array<std::vector<float>, kShifts> values_;
    /* Where the heights are kept. */
    std::array<std::vector<uint32_t>, kShifts> heights_;
    std::array<uint32_t, kShifts> first_{};
    uint32_t count_ = 0;
};

/* What every instance of one mesh writes: its distinct positions and texture
 * coordinates (a solid's caps and walls meet at the same positions, its front and back
 * caps share their texture coordinates), each just before the first face that uses it,
 * and the faces, which count back from the last position and texture coordinate written
 * (OBJ's negative indices, -1 the last): the numbers stay short (a third of the faces'
 * text, against counting back from the end of the instance's vertices) and the text is
 * the same for every instance. Normals go by their number in the file. */
struct ObjMesh {
    /* The normal lines the mesh adds, written before its first instance. */
    std::string normals;
    size_t firstInstance = 0;
    ObjNumbers numbers;
    /* The written positions' numbers, three each, and texture coordinates', two each, as
     * places in numbers.texts, in the order written: those no face uses come last. */
    std::vector<uint32_t> positions, uvs;
    /* Runs of lines: positions and texture coordinates (those first used by the run's
     * first face), then faces up to facesEnd; each at most kObjRunSize bytes. */
    struct Run {
        uint32_t positions = 0, uvs = 0;
        uint32_t facesEnd = 0;
    };
    std::vector<Run> runs;
    /* The face lines, and room to copy their end in whole blocks. */
    std::string faces;
};

constexpr size_t kCopyBlock = 32;
/* The longest position and texture coordinate lines, and what writing one may write
 * over past its end. */
constexpr size_t kPositionLine = 2 + 3 * (kFloatTextSize + 1),
                 kUvLine = 3 + 2 * (kFloatTextSize + 1);
constexpr size_t kLineSlack = sizeof(NumberText);
/* Runs are cut past this size, so that none takes twice as much. */
constexpr size_t kObjRunSize = 16384;

/* The room a run takes at most. */
size_t runSize(const ObjMesh::Run &run, size_t facesStart)
{
    return run.positions * kPositionLine + run.uvs * kUvLine + (run.facesEnd - facesStart) +
           std::max(kLineSlack, kCopyBlock);
}

ObjMesh::Run faceRun(const Mesh &mesh, size_t t, const Distinct &positions, const Distinct &uvs,
                     FirstUse &positionUse, FirstUse &uvUse)
{
    ObjMesh::Run run;
    for (int k = 0; k < 3; ++k) {
        const uint32_t v = mesh.triangles[t + k];
        run.positions += positionUse.use(positions.place[v]);
        run.uvs += uvUse.use(uvs.place[v]);
    }
    return run;
}

void appendFace(std::string &faces, const Mesh &mesh, size_t t, const Distinct &positions,
                const Distinct &uvs, const FirstUse &positionUse, const FirstUse &uvUse,
                const std::vector<uint64_t> &normalNumbers)
{
    char line[3 * 72 + 4];
    char *at = line;
    *at++ = 'f';
    for (int k = 0; k < 3; ++k) {
        const uint32_t v = mesh.triangles[t + k];
        *at++ = ' ';
        at = objIndex(at, positionUse.order.size() - positionUse.rank[positions.place[v]], true);
        *at++ = '/';
        at = objIndex(at, uvUse.order.size() - uvUse.rank[uvs.place[v]], true);
        *at++ = '/';
        at = objIndex(at, normalNumbers[v], false);
    }
    *at++ = '\n';
    faces.append(line, at);
}

/* The shift that moves vertex v's texture coordinates with its instance. */
Shift uvShift(const Mesh &mesh, uint32_t v, bool y, float unitsPerEm)
{
    if (mesh.alongOutline[v])
        return kFixed;
    if (unitsPerEm == 1.0f) /* x / 1 is x: the position's own numbers */
        return y ? kByY : kByX;
    return y ? kByYInEms : kByXInEms;
}

ObjMesh objMesh(const Mesh &mesh, const std::vector<uint64_t> &normalNumbers, float unitsPerEm,
                ObjHeights &heights)
{
    ObjMesh m;
    const Distinct positions =
        distinct(mesh.positions.size(), [&](size_t v) { return bitsOf(mesh.positions[v]); });
    const Distinct uvs = distinct(
        mesh.uvs.size(), [&](size_t v) { return bitsOf(mesh.uvs[v], mesh.alongOutline[v]); });
    FirstUse positionUse(positions.first.size()), uvUse(uvs.first.size());
    m.numbers.expect(3 * positions.first.size() + 2 * uvs.first.size());
    size_t runStart = 0;
    for (size_t t = 0; t + 2 < mesh.triangles.size(); t += 3) {
        const ObjMesh::Run run = faceRun(mesh, t, positions, uvs, positionUse, uvUse);
        if (m.runs.empty() || run.positions != 0 || run.uvs != 0 ||
            runSize(m.runs.back(), runStart) > kObjRunSize) {
            runStart = m.faces.size();
            m.runs.push_back(run);
        }
        appendFace(m.faces, mesh, t, positions, uvs, positionUse, uvUse, normalNumbers);
        m.runs.back().facesEnd = static_cast<uint32_t>(m.faces.size());
    }
    /* Then those no face uses. */
    const size_t usedPositions = positionUse.order.size(), usedUvs = uvUse.order.size();
    positionUse.finish();
    uvUse.finish();
    for (size_t p = usedPositions, u = usedUvs;
         p < positionUse.order.size() || u < uvUse.order.size();) {
        ObjMesh::Run run;
        run.positions = static_cast<uint32_t>(std::min<size_t>(positionUse.order.size() - p, 128));
        run.uvs = static_cast<uint32_t>(std::min<size_t>(uvUse.order.size() - u, 128));
        run.facesEnd = static_cast<uint32_t>(m.faces.size());
        m.runs.push_back(run);
        p += run.positions;
        u += run.uvs;
    }
    for (uint32_t p : positionUse.order) {
        const Vec3 &at = mesh.positions[positions.first[p]];
        m.positions.insert(m.positions.end(), {m.numbers.add(at.x, kByX), m.numbers.add(at.y, kByY),
                                               m.numbers.add(at.z, kByZ)});
    }
    for (uint32_t u : uvUse.order) {
        const uint32_t v = uvs.first[u];
        m.uvs.insert(m.uvs.end(),
                     {m.numbers.add(mesh.uvs[v].x, uvShift(mesh, v, false, unitsPerEm)),
                      m.numbers.add(mesh.uvs[v].y, uvShift(mesh, v, true, unitsPerEm))});
    }
    m.numbers.finish(heights);
    for (std::vector<uint32_t> *places : {&m.positions, &m.uvs})
        for (uint32_t &place : *places)
            place = m.numbers.place(place);
    m.faces.append(kCopyBlock, '\0');
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
    const float colour[3] = {how.color.r, how.color.g, how.color.b};
    for (int k = 0; k < 3; ++k) {
        char *const at = out.room(kFloatTextSize + 1);
        if (k > 0)
            *at = ' ';
        out.advance(static_cast<size_t>(floatText(at + (k > 0), colour[k]) - at));
    }
    out.text("\nKs 0.1 0.1 0.1\nNs 32\nd 1\nillum 2\n");
    return out.close(error);
}

/* Count lines of a tag and N numbers each, from the mesh's texts, at at; the end. */
template <size_t TagSize, int N>
char *objLines(char *at, const char (&tag)[TagSize], const NumberText *texts,
               const uint32_t *&numbers, size_t count)
{
    for (size_t line = 0; line < count; ++line) {
        std::memcpy(at, tag, TagSize - 1);
        at += TagSize - 1;
        for (int k = 0; k < N; ++k) {
            at = putNumber(at, texts[*numbers++]);
            *at++ = k + 1 < N ? ' ' : '\n';
        }
    }
    return at;
}

/* Copies in whole blocks, which the compiler keeps inline, rather than a library call
 * for each of many short runs: from is readable and at writable a block past size. */
char *copyBlocks(char *at, const char *from, size_t size)
{
    for (size_t done = 0; done < size; done += kCopyBlock)
        std::memcpy(at + done, from + done, kCopyBlock);
    return at + size;
}

/* One instance of a mesh: its texts made for the translation, then its runs of lines
 * written straight into the chunk, room asked once for many runs (a check and an
 * update of the chunk for every line cost as much as the line). */
void writeObjInstance(ChunkBytes &out, const ObjMesh &m, ObjTexts &made, ObjHeightTexts &heights,
                      const Vec3 &t, float unitsPerEm)
{
    constexpr size_t kRoom = 16 * kObjRunSize, kRunRoom = 2 * kObjRunSize;
    m.numbers.place(made, {t.x, t.y, t.z, t.x / unitsPerEm, t.y / unitsPerEm}, heights);
    const NumberText *const texts = made.texts.data();
    const uint32_t *position = m.positions.data(), *uv = m.uvs.data();
    const char *const faces = m.faces.data();
    char *start = out.room(kRoom), *at = start;
    uint32_t facesAt = 0;
    for (const ObjMesh::Run &run : m.runs) {
        if (static_cast<size_t>(at - start) > kRoom - kRunRoom) {
            out.advance(static_cast<size_t>(at - start));
            at = start = out.room(kRoom);
        }
        at = objLines<sizeof "v ", 3>(at, "v ", texts, position, run.positions);
        at = objLines<sizeof "vt ", 2>(at, "vt ", texts, uv, run.uvs);
        at = copyBlocks(at, faces + facesAt, run.facesEnd - facesAt);
        facesAt = run.facesEnd;
    }
    out.advance(static_cast<size_t>(at - start));
}

/* Every distinct mesh prepared, in the order of the instances that first use them (so
 * that the normals are numbered as they are written). */
struct ObjPlan {
    const Scene &scene;
    bool merge = false;
    std::vector<std::unique_ptr<ObjMesh>> meshes;
    ObjHeights heights;
};

void prepareObj(ObjPlan &plan)
{
    const Scene &scene = plan.scene;
    ObjNormals normals;
    plan.meshes.resize(scene.meshes.size());
    for (size_t i = 0; i < scene.instances.size(); ++i) {
        std::unique_ptr<ObjMesh> &m = plan.meshes[scene.instances[i].mesh];
        if (m)
            continue;
        const Mesh &mesh = meshOf(scene, scene.instances[i]);
        std::string lines;
        std::vector<uint64_t> numbers;
        for (const Vec3 &n : mesh.normals)
            numbers.push_back(normals.number(lines, n));
        m = std::make_unique<ObjMesh>(objMesh(mesh, numbers, scene.unitsPerEm, plan.heights));
        m->normals = std::move(lines);
        m->firstInstance = i;
    }
}

/* What one thread keeps while it makes OBJ text: its texts of every mesh and of the
 * heights. Each text is a function of its number and shift alone. */
class ObjFormatter
{
  public:
    explicit ObjFormatter(const ObjPlan &plan)
        : plan_(plan), texts_(plan.meshes.size()), heights_(plan.heights.size())
    {
        for (size_t m = 0; m < plan.meshes.size(); ++m) {
            if (plan.meshes[m])
                texts_[m].texts.resize(plan.meshes[m]->numbers.count());
        }
    }
    void operator()(size_t first, size_t end, ChunkBytes &out)
    {
        for (size_t i = first; i < end; ++i) {
            const Instance &instance = plan_.scene.instances[i];
            const ObjMesh &m = *plan_.meshes[instance.mesh];
            if (!plan_.merge)
                out.text("o " + objectName(i, instance.code) + "\nusemtl glyph\n");
            if (m.firstInstance == i)
                out.text(m.normals);
            writeObjInstance(out, m, texts_[instance.mesh], heights_, instance.translation,
                             plan_.scene.unitsPerEm);
        }
    }

  private:
    const ObjPlan &plan_;
    std::vector<ObjTexts> texts_;
    ObjHeightTexts heights_;
};

/* Positions and texture coordinates are written per instance, moved; the faces and
 * normals do not move, so each distinct mesh's face lines are made once and its new
 * normal directions written at its first instance. Numbers are most of an OBJ's time (a
 * page of text writes millions), so the instances are formatted on as many threads as
 * the writing asks. The material goes into a .mtl file beside. */
bool writeObj(const Scene &scene, const std::string &path, const SceneWriting &how,
              std::string *error)
{
    const std::string mtl = besidePath(path, ".mtl");
    if (!writeMtl(mtl, how, error))
        return false;
    ObjPlan plan{scene, how.merge, {}, {}};
    prepareObj(plan);
    Output out(path);
    out.text("# " + how.generator + "\nmtllib " + fileName(mtl) + "\n");
    if (how.merge)
        out.text("o " + how.name + "\nusemtl glyph\n");
    ChunkWriter(out, scene.instances.size(), kChunk, how).write(how.threads, [&plan] {
        return ObjFormatter(plan);
    });
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
