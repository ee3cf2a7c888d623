#ifndef TOOLS_GLYVA_MESH_SCENEEXPORT_H
#define TOOLS_GLYVA_MESH_SCENEEXPORT_H

#include <functional>
#include <string>

#include "geometry.h"

namespace glyvamesh
{

enum class MeshFormat { Obj, Stl, Glb, Gltf };

/* The mesh format for a file name extension (.obj, .stl, .glb, .gltf); false for
 * another. */
bool meshFormatFor(const std::string &extension, MeshFormat *format);

struct SceneWriting {
    /* One mesh of every instance's triangles, instead of one per distinct mesh placed
     * by nodes (glTF) or one object per instance (OBJ). */
    bool merge = false;
    /* The name of the merged mesh or object. */
    std::string name = "text";
    std::string generator;
    /* Called with the instances written so far, for a progress bar. */
    std::function<void(size_t)> progress;
};

/* Writes the scene as it goes, without assembling the output in memory first: binary
 * STL (each facet's normal its own), Wavefront OBJ, glTF 2.0 binary or JSON with a
 * .bin buffer beside it. In glTF every distinct mesh is written once and each instance
 * is a node with its translation and its characters as name. False with error set. */
bool writeScene(const Scene &scene, MeshFormat format, const std::string &path,
                const SceneWriting &how, std::string *error);

} // namespace glyvamesh

#endif
