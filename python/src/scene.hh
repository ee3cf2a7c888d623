#ifndef PYTHON_SRC_SCENE_HH
#define PYTHON_SRC_SCENE_HH

#include <cstdint>
#include <map>
#include <memory>
#include <utility>
#include <vector>

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include "geometry.h"
#include "layout.hh"
#include "results.hh"
#include "solid.h"

namespace glyvapy
{

/* Everything a scene is written from, as the tool holds it: the layout it places, the
 * distinct glyphs' shapes (which the placed glyphs point into), the placed glyphs for
 * pictures and the scene of meshes and instances. */
struct SceneData {
    std::shared_ptr<const LaidOut> layout;
    float size = 1.0f;
    std::map<std::pair<uint32_t, uint32_t>, glyvamesh::GlyphShape> shapes;
    std::vector<glyvamesh::PlacedGlyph> placed;
    glyvamesh::Scene scene;
    /* The power of two every coordinate is a whole multiple of. */
    float grid = 0.0f;
};

/* A layout's glyphs in output units: each distinct glyph's mesh once and one instance
 * per placed glyph, with arrays copied out once. */
class Scene
{
  public:
    explicit Scene(std::shared_ptr<const SceneData> data);

    const std::shared_ptr<const SceneData> &data() const { return data_; }
    /* Every instance's mesh moved by its translation, as one mesh. */
    Mesh merged() const;

    pybind11::list meshes;
    pybind11::array_t<uint32_t> meshIndices;
    pybind11::array_t<float> translations;
    pybind11::list texts;

  private:
    std::shared_ptr<const SceneData> data_;
};

/* The layout's glyphs placed at size output units per em, each distinct glyph meshed
 * once by the solid library: flat at z = 0, or solids as the settings ask. GlyphError
 * when the library refuses a glyph, ValueError for a size outside (0, 1e9], settings
 * that make no solid or a closed font. */
Scene sceneOf(const Layout &layout, double size, const glyvamesh::SolidSettings &solid);

/* Adds Scene and write() to the module; before Layout, whose methods return a Scene. */
void bindScene(pybind11::module_ &m);

} // namespace glyvapy

#endif
