#ifndef TOOLS_GLYVA_MESH_OUTPUTS_H
#define TOOLS_GLYVA_MESH_OUTPUTS_H

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "geometry.h"
#include "picture.h"
#include "sceneExport.h"
#include "shapedFace.h"

namespace glyvamesh
{

/* What an output file holds, by its extension: a mesh, a picture or the layout. */
struct OutputPlan {
    std::string path;
    bool mesh = false;
    MeshFormat meshFormat = MeshFormat::Obj;
    PictureFormat picture = PictureFormat::Png;
    bool layout = false;
};

/* False with error set for an extension other than .obj, .stl, .glb, .gltf, .3mf, .svg,
 * .png and .json (in any case). */
bool planOutput(const std::string &path, OutputPlan *plan, std::string *error);

/* What outputs are made of: the scene for meshes, the placed glyphs for pictures and,
 * for the layout, the text, its paragraph layout (null when it was not shaped), the
 * faces' files and the output units per em. */
struct OutputSource {
    const Scene *scene = nullptr;
    const std::vector<PlacedGlyph> *placed = nullptr;
    const std::string *utf8 = nullptr;
    const Paragraphs *paragraphs = nullptr;
    std::vector<std::string> fonts;
    float size = 1.0f;
};

struct OutputSettings {
    /* Meshes: one mesh of every glyph (flat OBJ always is one). The pictures' colour is
     * the meshes' material too. */
    bool merge = false;
    /* The name of the merged mesh or object. */
    std::string name = "text";
    std::string generator;
    PictureOptions picture;
    /* Threads that make OBJ and STL files; the file is the same with any number. */
    unsigned threads = 1;
    /* Called with the instances written so far, for a progress bar. */
    std::function<void(size_t)> progress;
};

/* Why a .3mf output of flat glyphs is refused. */
extern const char *const kThreeMfNeedsSolids;

/* Why the source cannot make the output the plan names (a picture or mesh without a
 * glyph to draw, a layout of text that was not shaped, a .3mf of flat glyphs), or
 * empty. */
std::string outputRefusal(const OutputPlan &plan, const OutputSource &source);

/* Writes the output the plan names at path (where it is staged); note gets what a
 * summary adds after its name (a picture's size). False with error set. */
bool writeOutput(const OutputPlan &plan, const OutputSource &source, const OutputSettings &how,
                 const std::string &path, std::string *note, std::string *error);

} // namespace glyvamesh

#endif
