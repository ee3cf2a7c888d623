#include "outputs.h"

#include <algorithm>
#include <cctype>

#include "layoutExport.h"

namespace glyvamesh
{

const char *const kThreeMfNeedsSolids = "a .3mf file holds solids for printing: give a depth";

namespace
{

std::string extensionOf(const std::string &path)
{
    const size_t slash = path.rfind('/');
    const size_t dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return {};
    std::string ext = path.substr(dot);
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return ext;
}

} // namespace

bool planOutput(const std::string &path, OutputPlan *plan, std::string *error)
{
    const std::string ext = extensionOf(path);
    plan->path = path;
    plan->mesh = meshFormatFor(ext, &plan->meshFormat);
    if (plan->mesh)
        return true;
    if (ext == ".png" || ext == ".svg") {
        plan->picture = ext == ".png" ? PictureFormat::Png : PictureFormat::Svg;
        return true;
    }
    if (ext == ".json") {
        plan->layout = true;
        return true;
    }
    *error = "unknown output type '" + ext + "' for " + path +
             " (use .obj, .stl, .glb, .gltf, .3mf, .svg, .png or .json)";
    return false;
}

std::string outputRefusal(const OutputPlan &plan, const OutputSource &source)
{
    if (plan.layout)
        return source.paragraphs ? "" : "a layout needs the shaped text";
    if (plan.mesh && plan.meshFormat == MeshFormat::ThreeMf && source.scene->flat)
        return kThreeMfNeedsSolids;
    const bool empty = plan.mesh ? source.scene->instances.empty() : source.placed->empty();
    return empty ? "nothing to draw: no glyph of the text has an outline" : "";
}

bool writeOutput(const OutputPlan &plan, const OutputSource &source, const OutputSettings &how,
                 const std::string &path, std::string *note, std::string *error)
{
    *error = outputRefusal(plan, source);
    if (!error->empty())
        return false;
    if (plan.mesh) {
        SceneWriting writing;
        writing.merge = how.merge || (source.scene->flat && plan.meshFormat == MeshFormat::Obj);
        writing.name = how.name;
        writing.generator = how.generator;
        writing.color = how.picture.color;
        writing.threads = how.threads;
        writing.progress = how.progress;
        return writeScene(*source.scene, plan.meshFormat, path, writing, error);
    }
    if (plan.layout)
        return writeLayout(path, *source.utf8, *source.paragraphs, source.fonts, source.size,
                           error);
    int w = 0, h = 0;
    if (!writePicture(*source.placed, *source.scene, how.picture, plan.picture, path, &w, &h,
                      error))
        return false;
    *note = " (" + std::to_string(w) + "x" + std::to_string(h) + ")";
    return true;
}

} // namespace glyvamesh
