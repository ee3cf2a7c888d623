#include "picture.h"

#include <cairo-svg.h>
#include <cairo.h>

#include <algorithm>
#include <cfloat>
#include <cmath>

namespace glyvamesh
{
namespace
{

constexpr int kMaxSide = 16384;

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
        *height = static_cast<int>(std::clamp(std::lround(fitted), 1L, long{kMaxSide}));
    }
    const double scale = std::min((width - 2 * margin) / w, (*height - 2 * margin) / h);
    return {scale, 0.5 * (width - w * scale), 0.5 * (*height - h * scale), box.minX, box.maxY};
}

void traceTriangles(cairo_t *cr, const PlacedGlyph &g, const Frame &frame)
{
    const GlyphMesh &mesh = g.shape->mesh;
    for (size_t t = 0; t + 2 < mesh.triangles.size(); t += 3) {
        for (int k = 0; k < 3; ++k) {
            double x, y;
            frame.apply(place(g, mesh.vertices[mesh.triangles[t + k]]), &x, &y);
            k == 0 ? cairo_move_to(cr, x, y) : cairo_line_to(cr, x, y);
        }
        cairo_close_path(cr);
    }
}

/* The triangles of a glyph are filled as one path: they all turn the same way, so the
 * non-zero rule fills their union and no seams show between neighbours. With edges
 * the fill is lighter and the edges dark, as in a wireframe drawing. */
void draw(cairo_t *cr, const std::vector<PlacedGlyph> &glyphs, const Frame &frame, int width,
          bool edges)
{
    cairo_set_source_rgb(cr, 1.0, 1.0, 1.0);
    cairo_paint(cr);
    cairo_set_fill_rule(cr, CAIRO_FILL_RULE_WINDING);
    if (edges)
        cairo_set_source_rgb(cr, 0.78, 0.85, 0.96);
    else
        cairo_set_source_rgb(cr, 0.17, 0.34, 0.59);
    for (const PlacedGlyph &g : glyphs) {
        traceTriangles(cr, g, frame);
        cairo_fill(cr);
    }
    if (!edges)
        return;
    cairo_set_source_rgb(cr, 0.13, 0.27, 0.50);
    cairo_set_line_width(cr, std::max(0.35, width / 2400.0));
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    for (const PlacedGlyph &g : glyphs) {
        traceTriangles(cr, g, frame);
        cairo_stroke(cr);
    }
}

bool finish(cairo_surface_t *surface, cairo_t *cr, PictureFormat format, const std::string &path,
            std::string *error)
{
    cairo_status_t status = cairo_status(cr);
    cairo_destroy(cr);
    if (status == CAIRO_STATUS_SUCCESS && format == PictureFormat::Png)
        status = cairo_surface_write_to_png(surface, path.c_str());
    cairo_surface_finish(surface);
    if (status == CAIRO_STATUS_SUCCESS)
        status = cairo_surface_status(surface);
    cairo_surface_destroy(surface);
    if (status != CAIRO_STATUS_SUCCESS)
        *error = cairo_status_to_string(status);
    return status == CAIRO_STATUS_SUCCESS;
}

} // namespace

bool writePicture(const std::vector<PlacedGlyph> &glyphs, const PictureOptions &options,
                  PictureFormat format, const std::string &path, int *width, int *height,
                  std::string *error)
{
    int h = options.height;
    const Frame frame = frameFor(boundsOf(glyphs), options.width, &h);
    cairo_surface_t *surface =
        format == PictureFormat::Png
            ? cairo_image_surface_create(CAIRO_FORMAT_RGB24, options.width, h)
            : cairo_svg_surface_create(path.c_str(), options.width, h);
    cairo_t *cr = cairo_create(surface);
    draw(cr, glyphs, frame, options.width, options.edges);
    *width = options.width;
    *height = h;
    return finish(surface, cr, format, path, error);
}

} // namespace glyvamesh
