#ifndef TOOLS_GLYVA_MESH_SCENEEXPORT_H
#define TOOLS_GLYVA_MESH_SCENEEXPORT_H

#include <functional>
#include <string>

#include "geometry.h"

namespace glyvamesh
{

enum class MeshFormat { Obj, Stl, Glb, Gltf, ThreeMf };

/* The mesh format for a file name extension (.obj, .stl, .glb, .gltf, .3mf); false for
 * another. */
bool meshFormatFor(const std::string &extension, MeshFormat *format);

struct SceneWriting {
    /* One mesh of every instance's triangles, instead of one per distinct mesh placed
     * by nodes (glTF) or one object per instance (OBJ, 3MF). */
    bool merge = false;
    /* The name of the merged mesh or object. */
    std::string name = "text";
    std::string generator;
    /* The material's colour. */
    Rgb color;
    /* Threads that make OBJ's and STL's placed glyphs; with one, the calling thread
     * makes them, with more it only writes them. The file is the same. */
    unsigned threads = 1;
    /* Called with the instances written so far, for a progress bar. */
    std::function<void(size_t)> progress;
};

/* Writes the scene as it goes, without assembling the output in memory first: binary
 * STL (each facet's normal its own), Wavefront OBJ with a .mtl material beside it,
 * glTF 2.0 binary or JSON with a .bin buffer beside it; 3MF through lib3mf, which holds
 * the model in memory. In glTF every distinct mesh is written once and each instance
 * is a node with its translation and its characters as name. False with error set. */
bool writeScene(const Scene &scene, MeshFormat format, const std::string &path,
                const SceneWriting &how, std::string *error);

/* threeMfExport: the scene as a 3MF package in millimetres (output units), one mesh
 * object per instance named by its characters, placed by a build item with the
 * instance's translation, or one object of everything when merging; every object in
 * one base material of the writing's colour. False with error set. */
bool writeThreeMf(const Scene &scene, const std::string &path, const SceneWriting &how,
                  std::string *error);

/* A companion file's path: path with its extension replaced by extension. */
std::string besidePath(const std::string &path, const std::string &extension);

/* The colour as glTF's linear base colour factor takes it. */
float linearFromSrgb(float channel);

} // namespace glyvamesh

#endif
