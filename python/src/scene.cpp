#include "scene.hh"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <optional>
#include <string>
#include <thread>

#include "arguments.hh"
#include "errors.hh"
#include "outputs.h"
#include "placement.h"
#include "stagedOutput.h"

namespace py = pybind11;

namespace glyvapy
{
namespace
{

constexpr double kMaxSize = 1e9;

static_assert(sizeof(glyvamesh::Vec3) == 3 * sizeof(float), "positions copy as float rows");
static_assert(sizeof(glyvamesh::Vec2) == 2 * sizeof(float), "texture coordinates too");

/* Rows of the vectors' floats: (N, 3) for Vec3, (N, 2) for Vec2. */
template <typename V> py::array_t<float> vectors(const std::vector<V> &values)
{
    constexpr py::ssize_t width = sizeof(V) / sizeof(float);
    py::array_t<float> array = rows<float>(static_cast<py::ssize_t>(values.size()), width);
    if (!values.empty())
        std::memcpy(array.mutable_data(), values.data(), values.size() * sizeof(V));
    return array;
}

py::array_t<int32_t> triangles(const std::vector<uint32_t> &indices, uint32_t base)
{
    py::array_t<int32_t> array = rows<int32_t>(static_cast<py::ssize_t>(indices.size() / 3), 3);
    int32_t *out = array.mutable_data();
    for (size_t i = 0; i + 2 < indices.size(); i += 3)
        for (size_t k = 0; k < 3; ++k)
            out[i + k] = static_cast<int32_t>(base + indices[i + k]);
    return array;
}

Mesh sceneMesh(const glyvamesh::Mesh &mesh)
{
    return {frozen(vectors(mesh.positions)), frozen(triangles(mesh.triangles, 0)),
            frozen(vectors(mesh.normals)), frozen(vectors(mesh.uvs))};
}

void checkSize(double size)
{
    if (!(size > 0.0 && size <= kMaxSize))
        throw py::value_error("size " + std::to_string(size) + " is outside (0, 1e9]");
}

/* The shape of every distinct glyph of the layout, with its outline for pictures. */
void loadShapes(const Layout &layout, SceneData *data)
{
    const LaidOut &laidOut = *data->layout;
    for (const glyvaLayoutGlyph &g : laidOut.paragraphs.glyphs) {
        const std::pair<uint32_t, uint32_t> key{g.face, g.glyphIndex};
        if (data->shapes.count(key))
            continue;
        std::string error;
        glyvamesh::GlyphShape shape;
        if (!glyvamesh::copyGlyph(layout.face(g.face), laidOut.fontPaths[g.face], g.glyphIndex,
                                  true, &shape, &error))
            throw Error(ErrorKind::Glyph, error);
        data->shapes.emplace(key, std::move(shape));
    }
}

[[noreturn]] void raiseOSError(const std::string &message)
{
    PyErr_SetString(PyExc_OSError, message.c_str());
    throw py::error_already_set();
}

glyvamesh::PictureOptions pictureOptions(int width, int height, bool edges,
                                         const std::optional<std::string> &color,
                                         const std::optional<std::string> &view)
{
    const int most = glyvamesh::kMaxPictureSide;
    if (width < 1 || width > most || height < 0 || height > most)
        throw py::value_error("picture size " + std::to_string(width) + "x" +
                              std::to_string(height) + " is outside 1x0 to " +
                              std::to_string(most) + "x" + std::to_string(most));
    glyvamesh::PictureOptions options;
    options.width = width;
    options.height = height;
    options.edges = edges;
    if (color && !glyvamesh::parseColor(*color, &options.color))
        throw py::value_error("color takes '#RRGGBB', not '" + *color + "'");
    if (view && *view != "front" && *view != "perspective")
        throw py::value_error("view takes 'front' or 'perspective', not '" + *view + "'");
    if (view)
        options.view = *view == "front" ? glyvamesh::View::Front : glyvamesh::View::Perspective;
    return options;
}

/* Writes one output through the tool's writers, staged beside the destination and
 * moved into place only when complete. The interpreter lock is let go while the file
 * is written, and held while staging folders come and go: they are claimed from one
 * table for the whole process. */
void writeStaged(const glyvamesh::OutputPlan &plan, const glyvamesh::OutputSource &source,
                 const glyvamesh::OutputSettings &how)
{
    const std::string refusal = glyvamesh::outputRefusal(plan, source);
    if (!refusal.empty())
        throw py::value_error(refusal);
    std::string error, note;
    glyvamesh::StagedOutput staged(plan.path);
    if (!staged.open(&error))
        raiseOSError(error);
    bool written = false;
    {
        py::gil_scoped_release released;
        written = glyvamesh::writeOutput(plan, source, how, staged.stagingPath(), &note, &error);
    }
    if (!written)
        raiseOSError("cannot write " + plan.path + ": " + error);
    if (!staged.commit(&error))
        raiseOSError(error);
}

/* What a file is written from: a Layout placed at size, or a Scene at its own size. */
struct WriteSource {
    std::shared_ptr<const LaidOut> laidOut;
    std::shared_ptr<const SceneData> scene;
    double size = 1.0;
};

WriteSource sourceOf(const py::object &source, std::optional<double> size, bool meshes)
{
    if (py::isinstance<Scene>(source)) {
        if (size)
            throw py::value_error("a scene has its size already: give it to Layout.scene");
        std::shared_ptr<const SceneData> scene = source.cast<const Scene &>().data();
        return {scene->layout, scene, scene->size};
    }
    if (!py::isinstance<Layout>(source))
        throw py::type_error("write takes a glyva.Layout or a glyva.Scene");
    const Layout &layout = source.cast<const Layout &>();
    const double scale = size.value_or(1.0);
    checkSize(scale);
    /* A layout file needs no meshes, nor the fonts open. */
    return {layout.data(), meshes ? sceneOf(layout, scale, {}).data() : nullptr, scale};
}

void write(const py::object &source, const py::object &path, std::optional<double> size, bool merge,
           int pictureWidth, int pictureHeight, bool edges, std::optional<std::string> color,
           std::optional<std::string> view)
{
    glyvamesh::OutputPlan plan;
    std::string error;
    if (!glyvamesh::planOutput(pathText(path), &plan, &error))
        throw py::value_error(error);
    glyvamesh::OutputSettings how;
    how.merge = merge;
    how.generator = std::string("glyva ") + GLYVA_VERSION + " (Python)";
    how.picture = pictureOptions(pictureWidth, pictureHeight, edges, color, view);
    how.threads = std::max(1u, std::thread::hardware_concurrency());
    const WriteSource written = sourceOf(source, size, !plan.layout);
    glyvamesh::OutputSource from;
    if (written.scene) {
        from.scene = &written.scene->scene;
        from.placed = &written.scene->placed;
    }
    from.utf8 = &written.laidOut->utf8;
    from.paragraphs = &written.laidOut->paragraphs;
    from.fonts = written.laidOut->fontPaths;
    from.size = static_cast<float>(written.size);
    writeStaged(plan, from, how);
}

const char *const kWriteDoc = R"doc(
Writes a layout or a scene to a file through the same writers as the glyva-mesh tool.

The format follows ``path``'s extension: ``.obj`` (with its ``.mtl`` material beside
it), ``.stl``, ``.glb``, ``.gltf`` (with a ``.bin`` buffer beside it) and ``.3mf`` (solids
only, in millimetres) for meshes, ``.png`` and ``.svg`` for a picture, ``.json`` for the
layout (one object per glyph with its line, cluster, characters, font, glyph index and
position in output units).

A ``Layout`` is placed at ``size`` output units per em (default 1) first, flat, as
``layout.scene(size)``; a ``Scene`` keeps its own size, depth and bevels. Flat meshes
lie at z = 0 facing +z. glTF holds each distinct glyph's mesh once and one node per
placed glyph, named by its characters, with its translation; 3MF one object per placed
glyph; ``merge=True`` writes one mesh of everything instead. OBJ holds one object of
all flat glyphs or one per solid; STL one facet per triangle. Texture coordinates go
into glTF and OBJ. ``color`` ('#RRGGBB') is the material's and the pictures' colour.
``picture_width`` (1 to 16384) and ``picture_height`` (0: as the text's proportions
ask) size pictures in pixels (points for SVG); ``edges=True`` draws every triangle's
edges; ``view`` is 'front' (the outlines seen straight on) or 'perspective' (the meshes
from slightly above and to the right), by default perspective for solids.

The file is written beside its destination and moved into place only when complete.
Raises ValueError for an unknown extension, a size outside (0, 1e9], a picture size
out of range or text with nothing to draw, OSError when the file cannot be written,
GlyphError when a glyph cannot be meshed.
)doc";

const char *const kSceneDoc = R"doc(
A layout's glyphs placed in output units, as the writers take them.

Each distinct glyph's mesh is held once in ``meshes`` (vertices float32 (V, 3) relative
to the glyph's origin, normals float32 (V, 3), texture coordinates ``uvs`` float32
(V, 2) in ems, triangles int32 (M, 3)); instance ``i``
places ``meshes[mesh_indices[i]]`` at ``translations[i]`` and stands for the characters
``texts[i]``. Glyphs without an outline (spaces) place nothing. Coordinates lie on a
common power-of-two grid fine enough for float32, so that a vertex plus its translation
is exact: ``merged()`` equals the meshes moved, coordinate for coordinate.

Made by ``Layout.scene(size, depth=..., bevel=...)``: flat at z = 0 facing +z, or closed
solids from z = 0 to the depth, built by the solid library exactly as the glyva-mesh
tool builds them. Arrays are read-only copies.
)doc";

} // namespace

Scene::Scene(std::shared_ptr<const SceneData> data) : data_(std::move(data))
{
    const glyvamesh::Scene &scene = data_->scene;
    for (const glyvamesh::Mesh &mesh : scene.meshes)
        meshes.append(py::cast(sceneMesh(mesh)));
    const py::ssize_t count = static_cast<py::ssize_t>(scene.instances.size());
    meshIndices = py::array_t<uint32_t>(count);
    translations = rows<float>(count, 3);
    auto index = meshIndices.mutable_unchecked<1>();
    auto moved = translations.mutable_unchecked<2>();
    for (py::ssize_t i = 0; i < count; ++i) {
        const glyvamesh::Instance &instance = scene.instances[static_cast<size_t>(i)];
        index(i) = instance.mesh;
        moved(i, 0) = instance.translation.x;
        moved(i, 1) = instance.translation.y;
        moved(i, 2) = instance.translation.z;
        texts.append(py::str(instance.text));
    }
    frozen(meshIndices);
    frozen(translations);
}

Mesh Scene::merged() const
{
    const glyvamesh::Scene &scene = data_->scene;
    uint64_t vertexCount = 0, indexCount = 0;
    for (const glyvamesh::Instance &instance : scene.instances) {
        vertexCount += scene.meshes[instance.mesh].positions.size();
        indexCount += scene.meshes[instance.mesh].triangles.size();
    }
    if (vertexCount > INT32_MAX)
        throw py::value_error("more vertices than int32 indices reach");
    std::vector<glyvamesh::Vec3> positions, normals;
    std::vector<glyvamesh::Vec2> uvs;
    std::vector<uint32_t> indices;
    positions.reserve(vertexCount);
    normals.reserve(vertexCount);
    uvs.reserve(vertexCount);
    indices.reserve(indexCount);
    for (const glyvamesh::Instance &instance : scene.instances) {
        const glyvamesh::Mesh &mesh = scene.meshes[instance.mesh];
        const uint32_t base = static_cast<uint32_t>(positions.size());
        const glyvamesh::Vec3 &t = instance.translation;
        for (const glyvamesh::Vec3 &p : mesh.positions)
            positions.push_back({p.x + t.x, p.y + t.y, p.z + t.z});
        normals.insert(normals.end(), mesh.normals.begin(), mesh.normals.end());
        for (size_t v = 0; v < mesh.uvs.size(); ++v)
            uvs.push_back(glyvamesh::textUv(mesh, v, t, scene.unitsPerEm));
        for (uint32_t k : mesh.triangles)
            indices.push_back(base + k);
    }
    return {vectors(positions), triangles(indices, 0), vectors(normals), vectors(uvs)};
}

Scene sceneOf(const Layout &layout, double size, const glyvamesh::SolidSettings &solid)
{
    checkSize(size);
    const std::string refusal = glyvamesh::solidSettingsRefusal(solid);
    if (!refusal.empty())
        throw py::value_error(refusal);
    auto data = std::make_shared<SceneData>();
    data->layout = layout.data();
    data->size = static_cast<float>(size);
    loadShapes(layout, data.get());
    auto shapeOf = [&data](const glyvaLayoutGlyph &g) {
        return &data->shapes.at({g.face, g.glyphIndex});
    };
    data->placed =
        glyvamesh::placeLayout(data->layout->utf8, data->layout->paragraphs, shapeOf, data->size);
    glyvamesh::MeshMaking how;
    how.solid = solid;
    data->grid = glyvamesh::outputGrid(data->placed, solid.depth);
    std::string error;
    if (!glyvamesh::buildScene(data->placed, how, &data->scene, &error))
        throw Error(ErrorKind::Glyph, error);
    return Scene(data);
}

void bindScene(py::module_ &m)
{
    py::class_<Scene>(m, "Scene", kSceneDoc)
        .def_readonly("meshes", &Scene::meshes,
                      "The distinct glyphs' meshes (Mesh with vertices (V, 3), normals and "
                      "triangles), each in its glyph's own coordinates.")
        .def_readonly("mesh_indices", &Scene::meshIndices,
                      "uint32 array (K,): the mesh each instance places, an index into meshes.")
        .def_readonly("translations", &Scene::translations,
                      "float32 array (K, 3): where each instance places its mesh's origin.")
        .def_readonly("texts", &Scene::texts,
                      "The characters each instance stands for (its glyph's cluster).")
        .def_property_readonly(
            "size", [](const Scene &scene) { return scene.data()->size; }, "Output units per em.")
        .def_property_readonly(
            "flat", [](const Scene &scene) { return scene.data()->scene.flat; },
            "True for flat glyphs at z = 0 facing +z (solids are closed).")
        .def_property_readonly(
            "grid", [](const Scene &scene) { return scene.data()->grid; },
            "The power of two every coordinate is a whole multiple of, in output units.")
        .def("merged", &Scene::merged,
             "Every instance's mesh moved by its translation, as one Mesh: vertices float32 "
             "(V, 3), normals, texture coordinates (the faces' and bevels' moved with their "
             "glyph, so that they run across the text), triangles int32 (M, 3), instance "
             "after instance.")
        .def("__len__", [](const Scene &scene) { return scene.data()->scene.instances.size(); })
        .def("__repr__", [](const Scene &scene) {
            return "Scene(" + std::to_string(scene.data()->scene.meshes.size()) + " meshes, " +
                   std::to_string(scene.data()->scene.instances.size()) + " instances)";
        });
    m.def("write", &write, py::arg("source"), py::arg("path"), py::kw_only(),
          py::arg("size") = py::none(), py::arg("merge") = false, py::arg("picture_width") = 1200,
          py::arg("picture_height") = 0, py::arg("edges") = false, py::arg("color") = py::none(),
          py::arg("view") = py::none(), kWriteDoc);
}

} // namespace glyvapy
