/* The one file that calls lib3mf, through its plain C interface: every handle it hands
 * out is released here, whatever fails. */
#include <Model/COM/NMR_DLLInterfaces.h>

#include <array>
#include <cmath>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "sceneExport.h"

namespace glyvamesh
{
namespace
{

using NMR::MODELMESHTRIANGLE;
using NMR::MODELMESHVERTEX;
using NMR::MODELTRANSFORM;

/* A lib3mf handle, released when it goes. */
class Handle
{
  public:
    Handle() = default;
    ~Handle()
    {
        if (p_)
            NMR::lib3mf_release(p_);
    }
    Handle(const Handle &) = delete;
    Handle &operator=(const Handle &) = delete;
    NMR::PLib3MFBase **out() { return &p_; }
    NMR::PLib3MFBase *get() const { return p_; }

  private:
    NMR::PLib3MFBase *p_ = nullptr;
};

/* A mesh as 3MF takes it: one vertex per position (a solid is closed by its edges
 * between vertex indices, so the vertices a mesh splits for normals and texture
 * coordinates are joined again), moved by a translation. */
struct Welded {
    std::vector<MODELMESHVERTEX> vertices;
    std::vector<MODELMESHTRIANGLE> triangles;
};

Welded weld(const Mesh &mesh, Vec3 t)
{
    Welded out;
    std::map<std::array<float, 3>, DWORD> index;
    std::vector<DWORD> remap(mesh.positions.size());
    for (size_t i = 0; i < mesh.positions.size(); ++i) {
        const Vec3 &p = mesh.positions[i];
        const std::array<float, 3> key{p.x + t.x + 0.0f, p.y + t.y + 0.0f, p.z + t.z + 0.0f};
        auto found = index.emplace(key, static_cast<DWORD>(out.vertices.size()));
        if (found.second)
            out.vertices.push_back(MODELMESHVERTEX{{key[0], key[1], key[2]}});
        remap[i] = found.first->second;
    }
    for (size_t k = 0; k + 2 < mesh.triangles.size(); k += 3)
        out.triangles.push_back(
            MODELMESHTRIANGLE{{remap[mesh.triangles[k]], remap[mesh.triangles[k + 1]],
                               remap[mesh.triangles[k + 2]]}});
    return out;
}

void append(Welded &all, const Welded &part)
{
    const auto base = static_cast<DWORD>(all.vertices.size());
    all.vertices.insert(all.vertices.end(), part.vertices.begin(), part.vertices.end());
    for (MODELMESHTRIANGLE t : part.triangles) {
        for (DWORD &i : t.m_nIndices)
            i += base;
        all.triangles.push_back(t);
    }
}

MODELTRANSFORM translation(Vec3 t)
{
    MODELTRANSFORM m;
    std::memset(&m, 0, sizeof m);
    for (int k = 0; k < 3; ++k)
        m.m_fFields[k][k] = 1.0f;
    m.m_fFields[0][3] = t.x;
    m.m_fFields[1][3] = t.y;
    m.m_fFields[2][3] = t.z;
    return m;
}

uint8_t byte(float channel)
{
    return static_cast<uint8_t>(std::lround(channel * 255.0f));
}

class Writer
{
  public:
    Writer(const Scene &scene, const SceneWriting &how) : scene_(scene), how_(how) {}

    bool run(const std::string &path, std::string *error)
    {
        if (!ok(NMR::lib3mf_createmodel(model_.out()), "create a model", model_) ||
            !ok(NMR::lib3mf_model_setunit(model_.get(), NMR::MODELUNIT_MILLIMETER), "set units",
                model_) ||
            !addMaterial())
            return fail(error);
        if (how_.merge ? !addMerged() : !addInstances())
            return fail(error);
        Handle writer;
        if (!ok(NMR::lib3mf_model_querywriter(model_.get(), "3mf", writer.out()), "get a writer",
                model_) ||
            !ok(NMR::lib3mf_writer_writetofileutf8(writer.get(), path.c_str()), "write the file",
                writer))
            return fail(error);
        return true;
    }

  private:
    /* lib3mf keeps the last error with the instance a call failed on. */
    bool ok(LIB3MFRESULT result, const char *what, const Handle &on)
    {
        if (result == LIB3MF_OK)
            return true;
        problem_ = std::string("lib3mf cannot ") + what;
        DWORD code = 0;
        LPCSTR message = nullptr;
        if (on.get() && NMR::lib3mf_getlasterror(on.get(), &code, &message) == LIB3MF_OK &&
            message && *message)
            problem_ += std::string(": ") + message;
        return false;
    }
    bool fail(std::string *error) const
    {
        *error = problem_;
        return false;
    }

    bool addMaterial()
    {
        Handle group;
        const Rgb &c = how_.color;
        return ok(NMR::lib3mf_model_addbasematerialgroup(model_.get(), group.out()),
                  "add a material", model_) &&
               ok(NMR::lib3mf_basematerial_addmaterialutf8(group.get(), "glyph", byte(c.r),
                                                           byte(c.g), byte(c.b), &materialIndex_),
                  "add a material", group) &&
               /* Added without an alpha, which readers take as transparent. */
               ok(NMR::lib3mf_basematerial_setdisplaycolorrgba(
                      group.get(), materialIndex_, byte(c.r), byte(c.g), byte(c.b), 255),
                  "colour a material", group) &&
               ok(NMR::lib3mf_basematerial_getresourceid(group.get(), &materialGroup_),
                  "add a material", group);
    }

    /* One object with its material, named, placed once by a build item. */
    bool addObject(const std::string &name, Welded &mesh, const MODELTRANSFORM *placement)
    {
        Handle object, properties, item;
        return ok(NMR::lib3mf_model_addmeshobject(model_.get(), object.out()), "add an object",
                  model_) &&
               ok(NMR::lib3mf_object_setnameutf8(object.get(), name.c_str()), "name an object",
                  object) &&
               ok(NMR::lib3mf_meshobject_setgeometry(
                      object.get(), mesh.vertices.data(), static_cast<DWORD>(mesh.vertices.size()),
                      mesh.triangles.data(), static_cast<DWORD>(mesh.triangles.size())),
                  "store a mesh", object) &&
               ok(NMR::lib3mf_object_createdefaultpropertyhandler(object.get(), properties.out()),
                  "colour an object", object) &&
               ok(NMR::lib3mf_defaultpropertyhandler_setbasematerial(
                      properties.get(), materialGroup_, materialIndex_),
                  "colour an object", properties) &&
               ok(NMR::lib3mf_model_addbuilditem(model_.get(), object.get(),
                                                 const_cast<MODELTRANSFORM *>(placement),
                                                 item.out()),
                  "place an object", model_);
    }

    /* Each placed glyph its own object in its mesh's coordinates, moved by its build
     * item; a distinct glyph's welded mesh is made once. */
    bool addInstances()
    {
        std::map<uint32_t, Welded> welded;
        for (size_t i = 0; i < scene_.instances.size(); ++i) {
            const Instance &instance = scene_.instances[i];
            auto found = welded.find(instance.mesh);
            if (found == welded.end())
                found = welded.emplace(instance.mesh, weld(scene_.meshes[instance.mesh], {})).first;
            const MODELTRANSFORM placement = translation(instance.translation);
            if (!addObject(instance.text, found->second, &placement))
                return false;
            if (how_.progress)
                how_.progress(i + 1);
        }
        return true;
    }

    bool addMerged()
    {
        Welded all;
        for (size_t i = 0; i < scene_.instances.size(); ++i) {
            const Instance &instance = scene_.instances[i];
            append(all, weld(scene_.meshes[instance.mesh], instance.translation));
            if (how_.progress)
                how_.progress(i + 1);
        }
        return addObject(how_.name, all, nullptr);
    }

    const Scene &scene_;
    const SceneWriting &how_;
    Handle model_;
    DWORD materialGroup_ = 0;
    DWORD materialIndex_ = 0;
    std::string problem_;
};

} // namespace

bool writeThreeMf(const Scene &scene, const std::string &path, const SceneWriting &how,
                  std::string *error)
{
    if (scene.meshes.empty() || scene.instances.size() > UINT32_MAX) {
        *error = "no solid to write";
        return false;
    }
    Writer writer(scene, how);
    return writer.run(path, error);
}

} // namespace glyvamesh
