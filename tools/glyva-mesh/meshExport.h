#ifndef TOOLS_GLYVA_MESH_MESHEXPORT_H
#define TOOLS_GLYVA_MESH_MESHEXPORT_H

#include <string>
#include <vector>

#include "geometry.h"

namespace glyvamesh
{

/* Assimp's exporter for a file name extension (.obj, .stl, .glb, .gltf), or null. */
const char *meshFormatFor(const std::string &extension);

/* Writes the meshes, one node each, through Assimp (glTF files take many meshes as
 * one); false with error set on failure. */
bool writeMeshes(const std::vector<Mesh> &meshes, const char *format, const std::string &path,
                 std::string *error);

} // namespace glyvamesh

#endif
