#include "picture.h"

#include <cairo.h>
#include <png.h>

#include <algorithm>
#include <cerrno>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <tuple>
#include <vector>

#include "perspective.h"

namespace glyvamesh
{
namespace
{

struct Box {
    float minX = FLT_MAX, minY = FLT_MAX, maxX = -FLT_MAX, maxY = -FLT_MAX;
};

Box boundsOf(const std::vector<PlacedGlyph> &glyphs)
{
    Box box;
    for (const PlacedGlyph &g : glyphs) {
        for (const Vec2 &v : g.shape->mesh.vertices) {
            const Vec2 p = place(g, v);
            box.minX = std::min(box.minX, p.x);
            box.maxX = std::max(box.maxX, p.x);
            box.minY = std::min(box.minY, p.y);
            box.maxY = std::max(box.maxY, p.y);
        }
    }
    return box;
}

Box boundsOf(const PerspectiveView &view)
{
    Box box;
    for (size_t i = 0; i < view.size(); ++i) {
        for (const Vec2 &p : view.triangle(i).corners) {
            box.minX = std::min(box.minX, p.x);
            box.maxX = std::max(box.maxX, p.x);
            box.minY = std::min(box.minY, p.y);
            box.maxY = std::max(box.maxY, p.y);
        }
    }
    return box;
}

/* Maps output units to picture pixels, y downwards. */
struct Frame {
    double scale, offsetX, offsetY;
    float minX, maxY;
    void apply(Vec2 p, double *x, double *y) const
    {
        *x = offsetX + (p.x - minX) * scale;
        *y = offsetY + (maxY - p.y) * scale;
    }
};

Frame frameFor(const Box &box, int width, int *height)
{
    const double w = std::max(box.maxX - box.minX, 1e-6f);
    const double h = std::max(box.maxY - box.minY, 1e-6f);
    const double margin = 0.04 * width;
    if (*height <= 0) {
        const double fitted = (width - 2 * margin) * h / w + 2 * margin;
        *height = static_cast<int>(std::clamp(std::lround(fitted), 1L, long{kMaxPictureSide}));
    }
    const double scale = std::min((width - 2 * margin) / w, (*height - 2 * margin) / h);
    return {scale, 0.5 * (width - w * scale), 0.5 * (*height - h * scale), box.minX, box.maxY};
}

/* Triangle edges in pixels, thin enough for the smallest glyphs of a wide picture. */
double edgeWidth(int width)
{
    return std::max(0.35, width / 2400.0);
}

using Polygon = std::vector<Vec2>;

/* What the front view draws: each distinct glyph's closed polygons once, in its own
 * output units, and the origin of each placed glyph with the polygons it places. */
struct FrontView {
    std::vector<std::vector<Polygon>> shapes;
    std::vector<std::pair<size_t, Vec2>> placed;
};

/* The glyphs' outline contours, which fill the same area under the non-zero rule as
 * their triangles with a tenth of the edges to rasterise; a glyph without an outline at
 * hand gives its triangles. */
FrontView outlinesOf(const std::vector<PlacedGlyph> &glyphs)
{
    FrontView view;
    std::map<const GlyphShape *, size_t> ids;
    for (const PlacedGlyph &g : glyphs) {
        auto known = ids.emplace(g.shape, view.shapes.size());
        view.placed.push_back({known.first->second, g.origin});
        if (!known.second)
            continue;
        std::vector<Polygon> &polygons = view.shapes.emplace_back();
        const GlyphMesh &mesh = g.shape->mesh;
        auto scaled = [&g](Vec2 v) { return Vec2{v.x * g.scale, v.y * g.scale}; };
        for (const Contour &contour : g.shape->contours) {
            if (contour.size() > 2)
                polygons.emplace_back();
            for (size_t k = 0; contour.size() > 2 && k < contour.size(); ++k)
                polygons.back().push_back(scaled(contour[k]));
        }
        for (size_t t = 0; g.shape->contours.empty() && t + 2 < mesh.triangles.size(); t += 3)
            polygons.push_back({scaled(mesh.vertices[mesh.triangles[t]]),
                                scaled(mesh.vertices[mesh.triangles[t + 1]]),
                                scaled(mesh.vertices[mesh.triangles[t + 2]])});
    }
    return view;
}

/* The triangles the meshes written show from the front: a flat glyph's all, a solid's
 * front face (those lying at its highest z). */
FrontView facesOf(const Scene &scene)
{
    FrontView view;
    for (const Mesh &mesh : scene.meshes) {
        std::vector<Polygon> &polygons = view.shapes.emplace_back();
        float top = -FLT_MAX;
        for (const Vec3 &p : mesh.positions)
            top = std::max(top, p.z);
        for (size_t t = 0; t + 2 < mesh.triangles.size(); t += 3) {
            const Vec3 &a = mesh.positions[mesh.triangles[t]];
            const Vec3 &b = mesh.positions[mesh.triangles[t + 1]];
            const Vec3 &c = mesh.positions[mesh.triangles[t + 2]];
            if (a.z == top && b.z == top && c.z == top)
                polygons.push_back({{a.x, a.y}, {b.x, b.y}, {c.x, c.y}});
        }
    }
    for (const Instance &instance : scene.instances)
        view.placed.push_back({instance.mesh, {instance.translation.x, instance.translation.y}});
    return view;
}

/* The path of one placed glyph's polygons, in pixels. */
void tracePolygons(cairo_t *cr, const std::vector<Polygon> &polygons, Vec2 origin,
                   const Frame &frame)
{
    for (const Polygon &polygon : polygons) {
        for (size_t k = 0; k < polygon.size(); ++k) {
            double x, y;
            frame.apply({origin.x + polygon[k].x, origin.y + polygon[k].y}, &x, &y);
            k == 0 ? cairo_move_to(cr, x, y) : cairo_line_to(cr, x, y);
        }
        cairo_close_path(cr);
    }
}

/* The fill under drawn edges: the colour washed out towards white, as in a wireframe
 * drawing. */
Rgb washed(Rgb c)
{
    return {0.75f + 0.25f * c.r, 0.75f + 0.25f * c.g, 0.75f + 0.25f * c.b};
}

/* The edges: the colour darkened. */
Rgb darkened(Rgb c)
{
    return {0.75f * c.r, 0.75f * c.g, 0.75f * c.b};
}

void setColor(cairo_t *cr, Rgb c)
{
    cairo_set_source_rgb(cr, c.r, c.g, c.b);
}

/* Glyph pictures on a quarter-pixel grid of positions, as text renderers keep them: a
 * page uses a few dozen distinct glyphs thousands of times, and each is rasterised once
 * per position it lands on in that grid instead of at every placement. A glyph lands at
 * most an eighth of a pixel from its exact place, less than antialiasing shows. Large
 * glyphs, of which a picture holds few, and glyphs beyond the budget are filled where
 * they stand. */
constexpr int kPhases = 4;
constexpr int kMaxStampPixels = 256 * 256;
constexpr size_t kStampBudget = size_t{32} << 20;

/* A glyph's coverage at one phase: pixel (0, 0) of the mask lies at (left, top) from the
 * whole pixel the glyph's origin falls in. */
struct Stamp {
    int left = 0, top = 0, width = 0, height = 0;
    std::vector<uint8_t> coverage;
};

/* The polygons' extent in pixels around an origin at (x, y), a pixel of margin each
 * side for antialiasing. */
void pixelExtent(const std::vector<Polygon> &polygons, double scale, double x, double y,
                 Stamp *stamp)
{
    double minX = DBL_MAX, minY = DBL_MAX, maxX = -DBL_MAX, maxY = -DBL_MAX;
    for (const Polygon &polygon : polygons) {
        for (const Vec2 &v : polygon) {
            minX = std::min(minX, x + v.x * scale), maxX = std::max(maxX, x + v.x * scale);
            minY = std::min(minY, y - v.y * scale), maxY = std::max(maxY, y - v.y * scale);
        }
    }
    if (minX > maxX)
        return;
    stamp->left = static_cast<int>(std::floor(minX)) - 1;
    stamp->top = static_cast<int>(std::floor(minY)) - 1;
    stamp->width = static_cast<int>(std::ceil(maxX)) + 1 - stamp->left;
    stamp->height = static_cast<int>(std::ceil(maxY)) + 1 - stamp->top;
}

/* The glyph filled by cairo into a mask of its own, as it fills the picture. */
Stamp rasterise(const std::vector<Polygon> &polygons, double scale, int phaseX, int phaseY)
{
    const double x = double(phaseX) / kPhases, y = double(phaseY) / kPhases;
    Stamp stamp;
    pixelExtent(polygons, scale, x, y, &stamp);
    if (stamp.width <= 0 || stamp.height <= 0)
        return stamp;
    cairo_surface_t *mask = cairo_image_surface_create(CAIRO_FORMAT_A8, stamp.width, stamp.height);
    cairo_t *cr = cairo_create(mask);
    cairo_set_fill_rule(cr, CAIRO_FILL_RULE_WINDING);
    for (const Polygon &polygon : polygons) {
        for (size_t k = 0; k < polygon.size(); ++k) {
            const double px = x + polygon[k].x * scale - stamp.left;
            const double py = y - polygon[k].y * scale - stamp.top;
            k == 0 ? cairo_move_to(cr, px, py) : cairo_line_to(cr, px, py);
        }
        cairo_close_path(cr);
    }
    cairo_fill(cr);
    cairo_destroy(cr);
    cairo_surface_flush(mask);
    const unsigned char *data = cairo_image_surface_get_data(mask);
    const int stride = cairo_image_surface_get_stride(mask);
    stamp.coverage.resize(static_cast<size_t>(stamp.width) * stamp.height);
    for (int row = 0; data && row < stamp.height; ++row)
        std::memcpy(stamp.coverage.data() + static_cast<size_t>(row) * stamp.width,
                    data + static_cast<size_t>(row) * stride, static_cast<size_t>(stamp.width));
    cairo_surface_destroy(mask);
    return stamp;
}

/* a * b / 255, rounded, as cairo's compositing computes it. */
inline uint32_t times(uint32_t a, uint32_t b)
{
    const uint32_t t = a * b + 0x80;
    return ((t >> 8) + t) >> 8;
}

/* The stamp's coverage laid over the picture's coverage: where a glyph covers a share
 * s of a pixel another covered a share d of, together they cover s + d (1 - s), as
 * cairo composites one glyph over another. */
void press(cairo_surface_t *coverage, const Stamp &stamp, int x0, int y0)
{
    uint8_t *data = cairo_image_surface_get_data(coverage);
    const int stride = cairo_image_surface_get_stride(coverage);
    const int width = cairo_image_surface_get_width(coverage);
    const int height = cairo_image_surface_get_height(coverage);
    for (int row = 0; row < stamp.height; ++row) {
        const int y = y0 + stamp.top + row;
        if (y < 0 || y >= height)
            continue;
        uint8_t *to = data + static_cast<size_t>(y) * stride;
        const uint8_t *from = stamp.coverage.data() + static_cast<size_t>(row) * stamp.width;
        for (int col = 0; col < stamp.width; ++col) {
            const int x = x0 + stamp.left + col;
            if (from[col] != 0 && x >= 0 && x < width)
                to[x] = static_cast<uint8_t>(from[col] + times(to[x], 255u - from[col]));
        }
    }
}

using Stamps = std::map<std::tuple<size_t, int, int>, Stamp>;

/* The stamp of a shape at a phase, made at its first use; null for a glyph too large
 * for one or once the stamps made hold the budget. */
const Stamp *stampOf(Stamps &stamps, size_t *stamped, const std::vector<Polygon> &polygons,
                     double scale, const std::tuple<size_t, int, int> &key)
{
    const auto found = stamps.find(key);
    if (found != stamps.end())
        return &found->second;
    Stamp extent;
    pixelExtent(polygons, scale, 0, 0, &extent);
    if (*stamped >= kStampBudget ||
        static_cast<int64_t>(extent.width) * extent.height > kMaxStampPixels)
        return nullptr;
    Stamp made = rasterise(polygons, scale, std::get<1>(key), std::get<2>(key));
    *stamped += made.coverage.size();
    return &stamps.emplace(key, std::move(made)).first->second;
}

/* Each glyph's polygons are filled as one path (or pressed from its stamp): its
 * triangles or contours all turn the same way, so the non-zero rule fills their union;
 * glyphs are filled one by one, as overlapping glyphs of fonts that run their contours
 * the other way round would cancel out in one path. */
void fillGlyphs(cairo_t *cr, const FrontView &view, const Frame &frame)
{
    cairo_surface_t *surface = cairo_get_target(cr);
    Stamps stamps;
    size_t stamped = 0;
    bool pressing = false;
    for (const auto &[shape, origin] : view.placed) {
        double x, y;
        frame.apply(origin, &x, &y);
        const Stamp *stamp = nullptr;
        long wholeX = 0, wholeY = 0;
        /* Origins far outside the picture (a glyph whose ink is all on one side of
         * it) are filled where they stand. */
        if (std::fabs(x) < 2.0 * kMaxPictureSide && std::fabs(y) < 2.0 * kMaxPictureSide) {
            const long qx = std::lround(std::floor(x * kPhases + 0.5));
            const long qy = std::lround(std::floor(y * kPhases + 0.5));
            wholeX = (qx + 4L * kMaxPictureSide * kPhases) / kPhases - 4L * kMaxPictureSide;
            wholeY = (qy + 4L * kMaxPictureSide * kPhases) / kPhases - 4L * kMaxPictureSide;
            stamp = stampOf(stamps, &stamped, view.shapes[shape], frame.scale,
                            {shape, int(qx - wholeX * kPhases), int(qy - wholeY * kPhases)});
        }
        if (!stamp) {
            if (pressing)
                cairo_surface_mark_dirty(surface), pressing = false;
            tracePolygons(cr, view.shapes[shape], origin, frame);
            cairo_fill(cr);
            continue;
        }
        if (!pressing)
            cairo_surface_flush(surface), pressing = true;
        press(surface, *stamp, int(wholeX), int(wholeY));
    }
    if (pressing)
        cairo_surface_mark_dirty(surface);
}

/* Flat text without edges is drawn as coverage (the picture's colours are then the
 * blends of one colour and white, a palette, see encodePng); with edges the fill is
 * lighter and the edges dark, as in a wireframe drawing. */
void draw(cairo_t *cr, const FrontView &view, const Frame &frame, int width, bool edges, Rgb color)
{
    cairo_set_fill_rule(cr, CAIRO_FILL_RULE_WINDING);
    if (!edges) {
        cairo_set_source_rgba(cr, 0.0, 0.0, 0.0, 1.0);
        return fillGlyphs(cr, view, frame);
    }
    cairo_set_source_rgb(cr, 1.0, 1.0, 1.0);
    cairo_paint(cr);
    setColor(cr, washed(color));
    for (const auto &[shape, origin] : view.placed) {
        tracePolygons(cr, view.shapes[shape], origin, frame);
        cairo_fill(cr);
    }
    setColor(cr, darkened(color));
    cairo_set_line_width(cr, edgeWidth(width));
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    for (const auto &[shape, origin] : view.placed) {
        tracePolygons(cr, view.shapes[shape], origin, frame);
        cairo_stroke(cr);
    }
}

/* The 256 blends of white and the colour, as cairo lays the colour over white through
 * each coverage value. */
std::vector<png_color> blends(Rgb c)
{
    auto channel = [](float v) {
        return static_cast<uint32_t>(std::clamp(v, 0.0f, 1.0f) * 65535.0f + 0.5f) >> 8;
    };
    const uint32_t rgb[3] = {channel(c.r), channel(c.g), channel(c.b)};
    std::vector<png_color> palette(256);
    for (uint32_t a = 0; a < 256; ++a) {
        png_byte blend[3];
        for (int k = 0; k < 3; ++k)
            blend[k] = static_cast<png_byte>(times(rgb[k], a) + times(255, 255 - a));
        palette[a] = {blend[0], blend[1], blend[2]};
    }
    return palette;
}

/* The picture through libpng at zlib's fastest level, rows unfiltered: a page of text
 * is a large image of two colours and their blends, whose rows repeat for the matcher
 * as they are (measured on a page: a quarter smaller than with the sub filter at level
 * 3, in half the time); the heaviest settings cairo uses only make it a few per cent
 * smaller at several times the cost. A coverage picture is written with its blends as
 * the palette: the same pixels in a third of the bytes. */
bool encodePng(cairo_surface_t *surface, Rgb color, std::FILE *file)
{
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, info ? &info : nullptr);
        return false;
    }
    const int width = cairo_image_surface_get_width(surface);
    const int height = cairo_image_surface_get_height(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    unsigned char *data = cairo_image_surface_get_data(surface);
    const bool coverage = cairo_image_surface_get_format(surface) == CAIRO_FORMAT_A8;
    png_init_io(png, file);
    png_set_compression_level(png, 1);
    png_set_filter(png, 0, PNG_FILTER_NONE);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
                 coverage ? PNG_COLOR_TYPE_PALETTE : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    const std::vector<png_color> palette = blends(color);
    if (coverage)
        png_set_PLTE(png, info, palette.data(), static_cast<int>(palette.size()));
    png_write_info(png, info);
    if (!coverage) {
        /* cairo's RGB24 pixels are 32-bit words, blue first in memory on this machine. */
        png_set_bgr(png);
        png_set_filler(png, 0, PNG_FILLER_AFTER);
    }
    for (int y = 0; y < height; ++y)
        png_write_row(png, data + static_cast<size_t>(y) * stride);
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

bool finish(cairo_surface_t *surface, cairo_t *cr, Rgb color, const std::string &path,
            std::string *error)
{
    const cairo_status_t status = cairo_status(cr);
    cairo_destroy(cr);
    cairo_surface_flush(surface);
    bool ok = status == CAIRO_STATUS_SUCCESS;
    if (!ok)
        *error = cairo_status_to_string(status);
    std::FILE *file = ok ? std::fopen(path.c_str(), "wb") : nullptr;
    if (ok && !file)
        *error = std::strerror(errno), ok = false;
    if (file) {
        ok = encodePng(surface, color, file);
        ok = std::fclose(file) == 0 && ok;
        if (!ok)
            *error = "cannot encode the PNG";
    }
    cairo_surface_destroy(surface);
    return ok;
}

/* Shortest text that reads back as the same float. */
void number(std::string &out, double value)
{
    char buf[32];
    const auto end = std::to_chars(buf, buf + sizeof buf, static_cast<float>(value)).ptr;
    out.append(buf, end);
}

/* A glyph's polygons as one path, in output units relative to its pen position. */
std::string glyphPath(const std::vector<Polygon> &polygons)
{
    std::string d;
    for (const Polygon &polygon : polygons) {
        for (size_t k = 0; k < polygon.size(); ++k) {
            d += k == 0 ? "M" : "L";
            number(d, polygon[k].x);
            d += ' ';
            number(d, polygon[k].y);
        }
        d += 'Z';
    }
    return d;
}

/* "#rrggbb" for SVG. */
std::string hex(Rgb c)
{
    char buf[8];
    auto byte = [](float v) {
        return static_cast<unsigned>(std::lround(std::clamp(v, 0.0f, 1.0f) * 255.0f));
    };
    std::snprintf(buf, sizeof buf, "#%02x%02x%02x", byte(c.r), byte(c.g), byte(c.b));
    return buf;
}

/* An SVG file: the opening on a white ground, then the body, then the closing. */
bool writeSvgFile(const std::string &path, int width, int height,
                  const std::function<void(std::FILE *)> &body, std::string *error)
{
    std::FILE *file = std::fopen(path.c_str(), "wb");
    if (!file) {
        *error = std::strerror(errno);
        return false;
    }
    std::fprintf(file,
                 "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                 "<svg xmlns=\"http://www.w3.org/2000/svg\" "
                 "xmlns:xlink=\"http://www.w3.org/1999/xlink\" width=\"%d\" height=\"%d\" "
                 "viewBox=\"0 0 %d %d\">\n<rect width=\"100%%\" height=\"100%%\" "
                 "fill=\"#ffffff\"/>\n",
                 width, height, width, height);
    body(file);
    std::fputs("</svg>\n", file);
    const bool ok = !std::ferror(file);
    if (std::fclose(file) != 0 || !ok) {
        *error = "write failed";
        return false;
    }
    return true;
}

/* Each distinct glyph once as a path, each placed glyph a use of it, in a group that
 * maps output units (y up) to the picture. */
void writeFrontSvg(std::FILE *file, const FrontView &view, const Frame &frame, int width,
                   bool edges, Rgb color)
{
    std::fputs("<defs>\n", file);
    for (size_t i = 0; i < view.shapes.size(); ++i)
        std::fprintf(file, "<path id=\"g%zu\" d=\"%s\"/>\n", i, glyphPath(view.shapes[i]).c_str());
    const double tx = frame.offsetX - frame.minX * frame.scale;
    const double ty = frame.offsetY + frame.maxY * frame.scale;
    /* The stroke is as wide in pixels as in the PNG, in the group's output units. */
    char stroke[128] = "";
    if (edges)
        std::snprintf(stroke, sizeof stroke,
                      " stroke=\"%s\" stroke-width=\"%.6g\" stroke-linejoin=\"round\"",
                      hex(darkened(color)).c_str(), edgeWidth(width) / frame.scale);
    std::fprintf(file,
                 "</defs>\n<g transform=\"matrix(%.9g 0 0 %.9g %.9g %.9g)\" fill=\"%s\" "
                 "fill-rule=\"nonzero\"%s>\n",
                 frame.scale, -frame.scale, tx, ty, hex(edges ? washed(color) : color).c_str(),
                 stroke);
    for (const auto &[shape, origin] : view.placed) {
        std::string use = "<use xlink:href=\"#g" + std::to_string(shape) + "\" x=\"";
        number(use, origin.x);
        use += "\" y=\"";
        number(use, origin.y);
        use += "\"/>\n";
        std::fputs(use.c_str(), file);
    }
    std::fputs("</g>\n", file);
}

/* A hairline in each triangle's own colour closes the seams antialiasing leaves
 * between neighbours; with edges, every triangle's edges are drawn dark instead. */
constexpr double kSeamWidth = 0.6;

/* Below this many square pixels a triangle is filled in its mean colour: smooth shading
 * would not show, and costs cairo a mesh pattern of its own. */
constexpr double kSmoothArea = 4.0;

void fillSmoothly(cairo_t *cr, const ShadedTriangle &t, const double x[3], const double y[3])
{
    cairo_pattern_t *smooth = cairo_pattern_create_mesh();
    cairo_mesh_pattern_begin_patch(smooth);
    for (int k = 0; k < 3; ++k) {
        k == 0 ? cairo_mesh_pattern_move_to(smooth, x[k], y[k])
               : cairo_mesh_pattern_line_to(smooth, x[k], y[k]);
        const Rgb &c = t.cornerColors[k];
        cairo_mesh_pattern_set_corner_color_rgb(smooth, k, c.r, c.g, c.b);
    }
    cairo_mesh_pattern_end_patch(smooth);
    cairo_set_source(cr, smooth);
    cairo_pattern_destroy(smooth);
}

/* The shaded triangles in painting order, in pixels, each shaded smoothly between its
 * corners' colours. */
void paintTriangles(cairo_t *cr, const PerspectiveView &view, const Frame &frame, int width,
                    bool edges, Rgb color)
{
    cairo_set_source_rgb(cr, 1.0, 1.0, 1.0);
    cairo_paint(cr);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    cairo_set_line_width(cr, edges ? edgeWidth(width) : kSeamWidth);
    for (size_t i = 0; i < view.size(); ++i) {
        const ShadedTriangle t = view.triangle(i);
        double x[3], y[3];
        for (int k = 0; k < 3; ++k)
            frame.apply(t.corners[k], &x[k], &y[k]);
        const double area =
            0.5 * std::fabs((x[1] - x[0]) * (y[2] - y[0]) - (y[1] - y[0]) * (x[2] - x[0]));
        if (area < kSmoothArea)
            setColor(cr, t.color);
        else
            fillSmoothly(cr, t, x, y);
        cairo_move_to(cr, x[0], y[0]);
        cairo_line_to(cr, x[1], y[1]);
        cairo_line_to(cr, x[2], y[2]);
        cairo_close_path(cr);
        cairo_fill_preserve(cr);
        if (edges)
            setColor(cr, darkened(color));
        cairo_stroke(cr);
    }
}

void writePerspectiveSvg(std::FILE *file, const PerspectiveView &view, const Frame &frame,
                         int width, bool edges, Rgb color)
{
    std::fprintf(file, "<g stroke-width=\"%.3g\" stroke-linejoin=\"round\"%s>\n",
                 edges ? edgeWidth(width) : kSeamWidth,
                 edges ? (" stroke=\"" + hex(darkened(color)) + "\"").c_str() : "");
    std::string line;
    for (size_t i = 0; i < view.size(); ++i) {
        const ShadedTriangle t = view.triangle(i);
        line = "<path d=\"";
        for (int k = 0; k < 3; ++k) {
            double x, y;
            frame.apply(t.corners[k], &x, &y);
            line += k == 0 ? "M" : "L";
            number(line, x);
            line += ' ';
            number(line, y);
        }
        const std::string fill = hex(t.color);
        line += "Z\" fill=\"" + fill + (edges ? "\"/>\n" : "\" stroke=\"" + fill + "\"/>\n");
        std::fputs(line.c_str(), file);
    }
    std::fputs("</g>\n", file);
}

bool perspective(const Scene &scene, const PictureOptions &options)
{
    if (options.view == View::Automatic)
        return !scene.flat;
    return options.view == View::Perspective;
}

} // namespace

bool parseColor(const std::string &text, Rgb *color)
{
    const std::string hex = !text.empty() && text[0] == '#' ? text.substr(1) : text;
    if (hex.size() != 6 || hex.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
        return false;
    const long value = std::strtol(hex.c_str(), nullptr, 16);
    color->r = static_cast<float>((value >> 16) & 0xFF) / 255.0f;
    color->g = static_cast<float>((value >> 8) & 0xFF) / 255.0f;
    color->b = static_cast<float>(value & 0xFF) / 255.0f;
    return true;
}

bool writePicture(const std::vector<PlacedGlyph> &glyphs, const Scene &scene,
                  const PictureOptions &options, PictureFormat format, const std::string &path,
                  int *width, int *height, std::string *error)
{
    int h = options.height;
    const int w = options.width;
    const bool edges = options.edges;
    const Rgb color = options.color;
    const bool seen = perspective(scene, options);
    const Scene nothing;
    const PerspectiveView view(seen ? scene : nothing, color);
    const FrontView front = seen ? FrontView() : edges ? facesOf(scene) : outlinesOf(glyphs);
    const Frame frame = seen ? frameFor(boundsOf(view), w, &h) : frameFor(boundsOf(glyphs), w, &h);
    *width = w;
    *height = h;
    if (format == PictureFormat::Svg)
        return writeSvgFile(
            path, w, h,
            [&](std::FILE *file) {
                if (!seen)
                    writeFrontSvg(file, front, frame, w, edges, color);
                else
                    writePerspectiveSvg(file, view, frame, w, edges, color);
            },
            error);
    const bool coverage = !seen && !edges;
    cairo_surface_t *surface =
        cairo_image_surface_create(coverage ? CAIRO_FORMAT_A8 : CAIRO_FORMAT_RGB24, w, h);
    cairo_t *cr = cairo_create(surface);
    if (!seen)
        draw(cr, front, frame, w, edges, color);
    else
        paintTriangles(cr, view, frame, w, edges, color);
    return finish(surface, cr, color, path, error);
}

} // namespace glyvamesh
