#ifndef SOLID_SOLIDFLIP_HH
#define SOLID_SOLIDFLIP_HH

#include <stdint.h>

#include "solid/solidArray.hh"

/* Zero-area triangles out of a planar triangulation without opening it.
 *
 * GLU emits triangles whose three corners lie on one line wherever a contour has
 * collinear points (a straight stem flattened from several segments). Their long edge
 * is shared with a neighbour, so dropping them would leave a slit. Instead the long
 * edge is turned: the degenerate triangle (m, u, w), m lying on u-w, and its neighbour
 * (w, u, d) across u-w become (m, u, d) and (m, d, w), which cover the neighbour's area
 * exactly and have area because d is off the line. Where the long edge lies on the
 * boundary the triangle covers nothing and shares its long edge with nobody; it is
 * dropped, and the boundary then runs through m instead of past it. */

namespace glyva
{
namespace solid
{

/* Points supplies sign(a, b, c) (-1, 0, 1: the turn of three point ids, exactly) and
 * between(m, u, w) (for three points on one line: m lies on the closed segment u-w). */
template <typename Points> class ZeroAreaRemover
{
  public:
    ZeroAreaRemover(const Points &points, KeyIndex &edges, Array<uint32_t> &pending)
        : points_(points), edges_(edges), pending_(pending)
    {
    }

    /* Works on triangles [first, end) of list, 3 point ids each, counter-clockwise;
     * the list shrinks by the triangles dropped. False when memory runs out or when
     * zero-area triangles remain that no turn removes (several on one line with no
     * neighbour of area between them). */
    bool run(Array<uint32_t> &list, uint32_t first)
    {
        tri_ = list.data() + first;
        count_ = (list.size() - first) / 3;
        dropRepeated();
        if (!collectPending())
            return false;
        if (pending_.empty()) {
            compact(list, first);
            return true;
        }
        if (!indexEdges())
            return false;
        bool progress = true;
        while (!pending_.empty() && progress)
            progress = sweep();
        compact(list, first);
        return pending_.empty();
    }

  private:
    static constexpr uint32_t kDropped = UINT32_MAX;

    uint32_t at(uint32_t t, uint32_t k) const { return tri_[3 * t + k % 3]; }
    uint64_t edgeKey(uint32_t t, uint32_t k) const { return pairKey(at(t, k), at(t, k + 1)); }
    bool degenerate(uint32_t t) const { return points_.sign(at(t, 0), at(t, 1), at(t, 2)) == 0; }

    /* Each turn adds two edge keys, so the index gets room for them at the start and
     * never grows in the middle of a turn. */
    bool indexEdges()
    {
        if (!edges_.reset(3 * count_ + 2 * pending_.size()))
            return false;
        for (uint32_t t = 0; t < count_; ++t) {
            for (uint32_t k = 0; k < 3; ++k) {
                uint32_t existing;
                if (!edges_.insert(edgeKey(t, k), 3 * t + k, &existing))
                    return false;
            }
        }
        return true;
    }

    /* Triangles naming a point twice cover nothing and their other two edges cancel:
     * they go before anything else. */
    void dropRepeated()
    {
        uint32_t kept = 0;
        for (uint32_t t = 0; t < count_; ++t) {
            const uint32_t a = at(t, 0), b = at(t, 1), c = at(t, 2);
            if (a == b || b == c || c == a)
                continue;
            tri_[3 * kept] = a;
            tri_[3 * kept + 1] = b;
            tri_[3 * kept + 2] = c;
            ++kept;
        }
        count_ = kept;
    }

    bool collectPending()
    {
        pending_.clear();
        for (uint32_t t = 0; t < count_; ++t) {
            if (degenerate(t) && !pending_.push(t))
                return false;
        }
        return true;
    }

    bool sweep()
    {
        bool progress = false;
        uint32_t kept = 0;
        for (uint32_t i = 0; i < pending_.size(); ++i) {
            const uint32_t t = pending_[i];
            if (resolve(t))
                progress = true;
            else
                pending_[kept++] = t;
        }
        pending_.resize(kept);
        return progress;
    }

    /* The corner lying between the other two. */
    uint32_t middleCorner(uint32_t t) const
    {
        for (uint32_t k = 0; k < 3; ++k) {
            if (points_.between(at(t, k), at(t, k + 1), at(t, k + 2)))
                return k;
        }
        return 0;
    }

    bool resolve(uint32_t t)
    {
        const uint32_t k = middleCorner(t);
        const uint32_t m = at(t, k), u = at(t, k + 1), w = at(t, k + 2);
        const uint32_t across = edges_.find(pairKey(w, u));
        if (across == KeyIndex::kMissing) {
            drop(t);
            return true;
        }
        const uint32_t n = across / 3;
        if (at(n, across % 3) != w || at(n, across % 3 + 1) != u)
            return false;
        if (degenerate(n))
            return false;
        const uint32_t d = at(n, across % 3 + 2);
        edges_.remove(pairKey(u, w));
        edges_.remove(pairKey(w, u));
        place(t, m, u, d);
        place(n, m, d, w);
        return true;
    }

    void place(uint32_t t, uint32_t a, uint32_t b, uint32_t c)
    {
        tri_[3 * t] = a;
        tri_[3 * t + 1] = b;
        tri_[3 * t + 2] = c;
        for (uint32_t k = 0; k < 3; ++k)
            edges_.set(edgeKey(t, k), 3 * t + k);
    }

    void drop(uint32_t t)
    {
        for (uint32_t k = 0; k < 3; ++k) {
            if (edges_.find(edgeKey(t, k)) == 3 * t + k)
                edges_.remove(edgeKey(t, k));
        }
        tri_[3 * t] = kDropped;
    }

    void compact(Array<uint32_t> &list, uint32_t first)
    {
        uint32_t kept = 0;
        for (uint32_t t = 0; t < count_; ++t) {
            if (tri_[3 * t] == kDropped)
                continue;
            for (uint32_t k = 0; k < 3; ++k)
                tri_[3 * kept + k] = tri_[3 * t + k];
            ++kept;
        }
        list.resize(first + 3 * kept);
    }

    const Points &points_;
    KeyIndex &edges_;
    Array<uint32_t> &pending_;
    uint32_t *tri_ = nullptr;
    uint32_t count_ = 0;
};

} // namespace solid
} // namespace glyva

#endif
