#include "meshExport.h"

#include <assimp/Exporter.hpp>
#include <assimp/material.h>
#include <assimp/scene.h>

#include <cstring>

namespace glyvamesh
{
namespace
{

aiMesh *toAssimp(const Mesh &mesh)
{
    auto *out = new aiMesh;
    out->mName = aiString(mesh.name);
    out->mPrimitiveTypes = aiPrimitiveType_TRIANGLE;
    out->mMaterialIndex = 0;
    out->mNumVertices = static_cast<unsigned>(mesh.positions.size());
    out->mVertices = new aiVector3D[out->mNumVertices];
    out->mNormals = new aiVector3D[out->mNumVertices];
    for (unsigned i = 0; i < out->mNumVertices; ++i) {
        const Vec3 &p = mesh.positions[i];
        const Vec3 &n = mesh.normals[i];
        out->mVertices[i] = aiVector3D(p.x, p.y, p.z);
        out->mNormals[i] = aiVector3D(n.x, n.y, n.z);
    }
    out->mNumFaces = static_cast<unsigned>(mesh.triangles.size() / 3);
    out->mFaces = new aiFace[out->mNumFaces];
    for (unsigned f = 0; f < out->mNumFaces; ++f) {
        out->mFaces[f].mNumIndices = 3;
        out->mFaces[f].mIndices = new unsigned[3];
        for (unsigned k = 0; k < 3; ++k)
            out->mFaces[f].mIndices[k] = mesh.triangles[3 * f + k];
    }
    return out;
}

aiMaterial *glyphMaterial()
{
    auto *material = new aiMaterial;
    const aiString name("glyph");
    material->AddProperty(&name, AI_MATKEY_NAME);
    const aiColor4D colour(0.17f, 0.34f, 0.59f, 1.0f);
    material->AddProperty(&colour, 1, AI_MATKEY_COLOR_DIFFUSE);
    material->AddProperty(&colour, 1, AI_MATKEY_BASE_COLOR);
    return material;
}

/* The scene owns and frees everything attached to it. */
void fillScene(aiScene &scene, const std::vector<Mesh> &meshes)
{
    scene.mNumMaterials = 1;
    scene.mMaterials = new aiMaterial *[1] { glyphMaterial() };
    scene.mNumMeshes = static_cast<unsigned>(meshes.size());
    scene.mMeshes = new aiMesh *[meshes.size()];
    scene.mRootNode = new aiNode("glyva-mesh");
    scene.mRootNode->mNumChildren = scene.mNumMeshes;
    scene.mRootNode->mChildren = new aiNode *[meshes.size()];
    for (unsigned i = 0; i < scene.mNumMeshes; ++i) {
        scene.mMeshes[i] = toAssimp(meshes[i]);
        auto *node = new aiNode(meshes[i].name);
        node->mParent = scene.mRootNode;
        node->mNumMeshes = 1;
        node->mMeshes = new unsigned[1]{i};
        scene.mRootNode->mChildren[i] = node;
    }
}

/* Assimp's glTF writer grows its buffer for every mesh it adds, so that its time rises
 * with the square of the mesh count; past this many, the solids go into one mesh. */
constexpr size_t kMaxGltfMeshes = 64;

Mesh merged(const std::vector<Mesh> &meshes, const std::string &name)
{
    Mesh all;
    all.name = name;
    for (const Mesh &m : meshes) {
        const auto base = static_cast<uint32_t>(all.positions.size());
        all.positions.insert(all.positions.end(), m.positions.begin(), m.positions.end());
        all.normals.insert(all.normals.end(), m.normals.begin(), m.normals.end());
        for (uint32_t i : m.triangles)
            all.triangles.push_back(base + i);
    }
    return all;
}

bool isGltf(const char *format)
{
    return std::strcmp(format, "gltf2") == 0 || std::strcmp(format, "glb2") == 0;
}

} // namespace

const char *meshFormatFor(const std::string &extension)
{
    if (extension == ".obj")
        return "objnomtl"; /* a material library would be a second file for one colour */
    if (extension == ".stl")
        return "stlb";
    if (extension == ".glb")
        return "glb2";
    if (extension == ".gltf")
        return "gltf2";
    return nullptr;
}

bool writeMeshes(const std::vector<Mesh> &meshes, const char *format, const std::string &path,
                 std::string *error)
{
    aiScene scene;
    if (isGltf(format) && meshes.size() > kMaxGltfMeshes)
        fillScene(scene, {merged(meshes, "text")});
    else
        fillScene(scene, meshes);
    Assimp::Exporter exporter;
    if (exporter.Export(&scene, format, path) != aiReturn_SUCCESS) {
        *error = exporter.GetErrorString();
        return false;
    }
    return true;
}

} // namespace glyvamesh
