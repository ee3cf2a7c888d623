/* glyva-mesh: text to meshes and pictures through the Glyva font API. */
#include <fontconfig/fontconfig.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "Skrib/GlyvaInterface.h"
#include "fontFace.h"
#include "fontLookup.h"
#include "layout.h"
#include "options.h"
#include "outputs.h"
#include "placement.h"
#include "progress.h"
#include "shapedFace.h"
#include "stagedOutput.h"
#include "utf8.h"

namespace glyvamesh
{
namespace
{

constexpr uint32_t kTab = 0x09;

void message(const char *kind, const std::string &text)
{
    std::fprintf(stderr, "glyva-mesh: %s%s\n", kind, text.c_str());
}

int fail(int status, const std::string &text)
{
    message("", text);
    return status;
}

void warn(const std::string &text)
{
    message("warning: ", text);
}

/* "1 glyph", "2 glyphs". */
std::string counted(size_t n, const char *one, const char *many = nullptr)
{
    return std::to_string(n) + " " + (n == 1 ? one : many ? many : std::string(one) + "s");
}

bool readStream(FILE *in, std::string *bytes)
{
    char buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, in)) > 0)
        bytes->append(buf, n);
    return !std::ferror(in);
}

bool readText(const Options &o, std::string *bytes, std::string *error)
{
    if (!o.text.empty()) {
        for (size_t i = 0; i < o.text.size(); ++i)
            *bytes += (i ? " " : "") + o.text[i];
        return true;
    }
    if (!o.haveTextFile && isatty(STDIN_FILENO)) {
        *error = "no text given: pass TEXT, --text-file FILE or pipe it in (see --help)";
        return false;
    }
    const bool fromStdin = !o.haveTextFile || o.textFile == "-";
    FILE *in = fromStdin ? stdin : std::fopen(o.textFile.c_str(), "rb");
    const std::string name = fromStdin ? "standard input" : o.textFile;
    const bool ok = in && readStream(in, bytes);
    const int err = errno;
    if (in && !fromStdin)
        std::fclose(in);
    if (!ok)
        *error = "cannot read the text from " + name + ": " + std::strerror(err);
    return ok;
}

/* Everything one run works on. */
struct Run {
    Options options;
    std::vector<OutputPlan> outputs;
    std::vector<Line> lines;
    std::vector<uint32_t> codes;
    /* The text as the layout reads it: well-formed UTF-8. */
    std::string utf8;
    std::unique_ptr<FontFace> face;
    /* The shaped layout's faces, the chosen one first, then fontconfig's fallbacks. */
    std::vector<std::unique_ptr<ShapedFace>> faces;
    /* The simple layout's font once more, through the shaping library, for the solid
     * library to mesh its glyphs by index. */
    std::unique_ptr<ShapedFace> meshFace;
    Paragraphs paragraphs;
    std::string fontPath;
    std::vector<PlacedGlyph> placed;
    Scene scene;
    std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
};

/* Pictures seen from the front without triangle edges fill the outline. */
bool wantsContours(const Run &run)
{
    const PictureOptions &picture = run.options.picture;
    const bool front = picture.view == View::Front ||
                       (picture.view == View::Automatic && run.options.solid.depth <= 0.0f);
    return front && !picture.edges &&
           std::any_of(run.outputs.begin(), run.outputs.end(),
                       [](const OutputPlan &plan) { return !plan.mesh && !plan.layout; });
}

bool usesShaping(const Run &run)
{
    return run.options.layout == LayoutMode::Shaped && !run.options.allGlyphs;
}

int prepareOutputs(Run &run)
{
    std::string error;
    for (const std::string &path : run.options.outputs) {
        OutputPlan plan;
        if (!planOutput(path, &plan, &error))
            return fail(kExitUsage, error);
        run.outputs.push_back(plan);
    }
    for (const OutputPlan &plan : run.outputs) {
        if (plan.layout && !usesShaping(run))
            return fail(kExitUsage, "a .json layout (" + plan.path +
                                        ") needs the shaped layout (not --layout simple or "
                                        "--all-glyphs)");
        if (plan.mesh && plan.meshFormat == MeshFormat::ThreeMf && run.options.solid.depth <= 0.0f)
            return fail(kExitUsage, plan.path + ": " + kThreeMfNeedsSolids + " (--depth)");
        const std::string reason = unwritableReason(plan.path);
        if (!reason.empty())
            return fail(kExitOutput, "cannot write " + plan.path + ": " + reason);
    }
    return kExitOk;
}

int prepareText(Run &run)
{
    if (run.options.allGlyphs)
        return kExitOk;
    std::string bytes, error;
    if (!readText(run.options, &bytes, &error))
        return fail(kExitUsage, error);
    const DecodedText text = decodeUtf8(bytes);
    if (text.invalidSequences)
        warn("the text is not valid UTF-8: " + counted(text.invalidSequences, "invalid sequence") +
             " replaced by U+FFFD");
    run.lines = splitLines(text.codes);
    run.codes = text.codes;
    for (uint32_t c : text.codes)
        run.utf8 += encodeUtf8(c);
    const bool empty =
        std::all_of(run.lines.begin(), run.lines.end(), [](const Line &l) { return l.empty(); });
    if (empty)
        return fail(kExitUsage, "the text is empty");
    return kExitOk;
}

/* fontconfig's proposals for what the chosen font lacks; one that cannot be used is
 * passed over with a warning. */
void openFallbacks(Run &run)
{
    for (const FallbackFont &f : proposeFallbacks(run.fontPath, run.options.face, run.codes)) {
        std::string error;
        std::unique_ptr<ShapedFace> face =
            ShapedFace::open(f.path, f.face, "", run.options.quality, &error);
        if (face)
            run.faces.push_back(std::move(face));
        else
            warn("fallback font passed over: " + error);
    }
}

int openFont(Run &run)
{
    std::string error;
    std::string path = run.options.font;
    if (path.empty() || !looksLikeFontPath(path)) {
        FontChoice choice;
        if (!resolveFont(run.options.font, &choice, &error))
            return fail(kExitFont, error);
        if (!choice.substitutedFamily.empty())
            warn("no font named '" + run.options.font + "'; fontconfig chose " +
                 choice.substitutedFamily + " (" + choice.path + ")");
        path = choice.path;
    }
    run.fontPath = path;
    if (usesShaping(run)) {
        const std::string reason = unreadableFontReason(path);
        if (!reason.empty())
            return fail(kExitFont, "cannot read font " + path + ": " + reason);
        const std::string instance = run.options.haveVariation ? run.options.variation : "";
        std::unique_ptr<ShapedFace> chosen =
            ShapedFace::open(path, run.options.face, instance, run.options.quality, &error);
        if (!chosen)
            return fail(kExitFont, error);
        run.faces.push_back(std::move(chosen));
        if (!run.options.noFallback)
            openFallbacks(run);
        return kExitOk;
    }
    run.face = FontFace::open(path, run.options.quality, &error);
    if (!run.face)
        return fail(kExitFont, error);
    run.meshFace = ShapedFace::open(path, 0, "", run.options.quality, &error);
    if (!run.meshFace)
        return fail(kExitFont, error);
    run.face->meshFrom(run.meshFace->handle());
    return kExitOk;
}

std::vector<uint32_t> charactersToLoad(const Run &run)
{
    if (run.options.allGlyphs)
        return run.face->characters();
    std::vector<uint32_t> codes;
    for (const Line &line : run.lines) {
        for (uint32_t c : line)
            codes.push_back(c == kTab ? ' ' : c);
    }
    std::sort(codes.begin(), codes.end());
    codes.erase(std::unique(codes.begin(), codes.end()), codes.end());
    return codes;
}

std::string missingList(const std::vector<uint32_t> &missing)
{
    std::string list;
    const size_t shown = std::min<size_t>(missing.size(), 8);
    for (size_t i = 0; i < shown; ++i)
        list += (i ? ", " : "") + describeCharacter(missing[i]);
    if (missing.size() > shown)
        list += " and " + std::to_string(missing.size() - shown) + " more";
    return list;
}

void warnMissing(const std::string &path, const std::vector<uint32_t> &missing)
{
    if (!missing.empty())
        warn("font " + path + " lacks " + counted(missing.size(), "character") +
             ", drawn with its missing glyph: " + missingList(missing));
}

ParagraphSettings paragraphSettings(const Options &o)
{
    static const int kAlign[] = {GLYVA_LAYOUT_ALIGN_START, GLYVA_LAYOUT_ALIGN_LEFT,
                                 GLYVA_LAYOUT_ALIGN_CENTER, GLYVA_LAYOUT_ALIGN_RIGHT,
                                 GLYVA_LAYOUT_ALIGN_END};
    ParagraphSettings settings;
    settings.script = o.script;
    settings.language = o.language;
    settings.features = o.features;
    settings.direction = o.direction;
    settings.align = kAlign[static_cast<int>(o.align)];
    settings.width = static_cast<double>(o.width) / o.size;
    settings.lineSpacing = o.lineSpacing;
    settings.letterSpacing = static_cast<double>(o.letterSpacing) / o.size;
    return settings;
}

void warnUncovered(const Run &run, std::vector<uint32_t> missing)
{
    std::sort(missing.begin(), missing.end());
    missing.erase(std::unique(missing.begin(), missing.end()), missing.end());
    if (missing.empty())
        return;
    if (run.options.noFallback || run.faces.size() == 1)
        warnMissing(run.fontPath, missing);
    else
        warn("neither " + run.fontPath + " nor its fallback fonts have " +
             counted(missing.size(), "character") +
             ", drawn with the missing glyph: " + missingList(missing));
}

/* The text laid out over the faces, and every glyph it uses loaded once. */
int loadShapedGlyphs(Run &run)
{
    std::vector<glyvaShapeFont *> faces;
    for (const auto &face : run.faces)
        faces.push_back(face->handle());
    std::string error;
    if (layOutParagraphs(faces, run.utf8, paragraphSettings(run.options), &run.paragraphs,
                         &error) != GLYVA_SHAPE_OK)
        return fail(kExitUsage, "cannot lay the text out: " + error);
    const std::vector<uint32_t> codes = clusterCodes(run.utf8, run.paragraphs);
    std::vector<uint32_t> missing;
    Progress progress("meshing glyphs", run.paragraphs.glyphs.size(), !run.options.quiet,
                      run.start);
    for (size_t i = 0; i < run.paragraphs.glyphs.size(); ++i) {
        const glyvaLayoutGlyph &g = run.paragraphs.glyphs[i];
        if (!run.faces[g.face]->glyph(g.glyphIndex, wantsContours(run), &error))
            return fail(kExitFont, error);
        if (g.glyphIndex == 0 && codes[i] >= 0x20)
            missing.push_back(codes[i]);
        progress.step(i + 1);
    }
    warnUncovered(run, missing);
    if (run.paragraphs.notices & GLYVA_LAYOUT_OVERFLOW)
        warn(run.paragraphs.noticeText.substr(run.paragraphs.noticeText.find("line ")));
    return kExitOk;
}

int loadGlyphs(Run &run)
{
    if (usesShaping(run))
        return loadShapedGlyphs(run);
    const std::vector<uint32_t> codes = charactersToLoad(run);
    if (codes.empty())
        return fail(kExitFont, "font " + run.face->path() + ": fontconfig lists no characters");
    Progress progress("meshing glyphs", codes.size(), !run.options.quiet, run.start);
    std::string error;
    for (size_t i = 0; i < codes.size(); ++i) {
        if (!run.face->glyph(codes[i], wantsContours(run), &error))
            return fail(kExitFont, error);
        progress.step(i + 1);
    }
    warnMissing(run.face->path(), run.face->missing());
    return kExitOk;
}

void placeShaped(Run &run)
{
    const bool contours = wantsContours(run);
    auto shapeOf = [&run, contours](const glyvaLayoutGlyph &g) {
        std::string ignored; /* every glyph was loaded before */
        return run.faces[g.face]->glyph(g.glyphIndex, contours, &ignored);
    };
    run.placed = placeLayout(run.utf8, run.paragraphs, shapeOf, run.options.size);
}

void layOut(Run &run)
{
    if (usesShaping(run)) {
        placeShaped(run);
        return;
    }
    FontFace &face = *run.face;
    const bool contours = wantsContours(run);
    LayoutFont font;
    font.glyph = [&face, contours](uint32_t code) {
        std::string ignored; /* every glyph was loaded before */
        return face.glyph(code, contours, &ignored);
    };
    font.kerning = [&face](uint32_t l, uint32_t r) { return face.kerning(l, r); };
    font.lineHeight = face.ascender() - face.descender();
    if (run.options.allGlyphs)
        run.placed = layoutGrid(face.characters(), font, run.options.size);
    else
        run.placed = layoutLines(run.lines, font, run.options.align, run.options.size);
    for (PlacedGlyph &g : run.placed)
        g.text = encodeUtf8(g.code);
    dropEmpty(run.placed);
}

/* Each distinct glyph meshed, or made a solid, once in its own coordinates; every
 * placed glyph an instance of it. */
int makeScene(Run &run)
{
    const bool solid = run.options.solid.depth > 0.0f;
    MeshMaking how;
    how.solid = run.options.solid;
    how.glyphOrigin = run.options.glyphOrigin;
    Progress progress(solid ? "building solids" : "placing glyphs", run.placed.size(),
                      !run.options.quiet, run.start);
    how.progress = [&progress](size_t done) { progress.step(done); };
    std::string error;
    if (!buildScene(run.placed, how, &run.scene, &error))
        return fail(kExitFont, error);
    return kExitOk;
}

bool writeOne(const Run &run, const OutputPlan &plan, const std::string &path, std::string *note,
              std::string *error)
{
    OutputSource source;
    source.scene = &run.scene;
    source.placed = &run.placed;
    source.utf8 = &run.utf8;
    source.paragraphs = usesShaping(run) ? &run.paragraphs : nullptr;
    for (const auto &face : run.faces)
        source.fonts.push_back(face->path());
    source.size = run.options.size;
    OutputSettings how;
    how.merge = run.options.merge;
    how.name = run.options.allGlyphs ? "glyphs" : "text";
    how.generator = std::string("glyva-mesh ") + GLYVA_MESH_VERSION;
    how.picture = run.options.picture;
    how.threads = run.options.threads ? run.options.threads
                                      : std::max(1u, std::thread::hardware_concurrency());
    std::unique_ptr<Progress> progress;
    if (plan.mesh) {
        progress = std::make_unique<Progress>("writing " + plan.path, run.scene.instances.size(),
                                              !run.options.quiet, run.start);
        how.progress = [&progress](size_t done) { progress->step(done); };
    }
    return writeOutput(plan, source, how, path, note, error);
}

/* All outputs are staged first and moved into place only when every one is complete. */
int writeOutputs(const Run &run, std::string *written)
{
    std::vector<std::unique_ptr<StagedOutput>> staged;
    std::string error;
    for (const OutputPlan &plan : run.outputs) {
        staged.push_back(std::make_unique<StagedOutput>(plan.path));
        std::string note;
        if (!staged.back()->open(&error))
            return fail(kExitOutput, error);
        if (!writeOne(run, plan, staged.back()->stagingPath(), &note, &error))
            return fail(kExitOutput, "cannot write " + plan.path + ": " + error);
        *written += (written->empty() ? "" : ", ") + plan.path + note;
    }
    for (auto &output : staged) {
        if (!output->commit(&error))
            return fail(kExitOutput, error);
    }
    return kExitOk;
}

/* Which fonts drew the text, when fallback fonts took part. */
void summariseFonts(const Run &run)
{
    std::vector<size_t> uses(run.faces.size(), 0);
    for (const glyvaLayoutGlyph &g : run.paragraphs.glyphs)
        ++uses[g.face];
    if (std::count_if(uses.begin(), uses.end(), [](size_t n) { return n > 0; }) < 2)
        return;
    std::string list;
    for (size_t f = 0; f < uses.size(); ++f) {
        if (uses[f] > 0)
            list += (list.empty() ? "" : ", ") + run.faces[f]->path() + " (" +
                    counted(uses[f], "glyph") + (f == 0 ? ")" : ", fallback)");
    }
    std::fprintf(stderr, "glyva-mesh: fonts: %s\n", list.c_str());
}

void summarise(const Run &run, const std::string &written, double seconds)
{
    summariseFonts(run);
    size_t vertices = 0, triangles = 0;
    for (const Instance &instance : run.scene.instances) {
        vertices += run.scene.meshes[instance.mesh].positions.size();
        triangles += run.scene.meshes[instance.mesh].triangles.size() / 3;
    }
    std::fprintf(stderr, "glyva-mesh: %s, %s, %s, %.3f s -> %s\n",
                 counted(run.placed.size(), "glyph").c_str(),
                 counted(vertices, "vertex", "vertices").c_str(),
                 counted(triangles, "triangle").c_str(), seconds, written.c_str());
}

int run(int argc, char **argv)
{
    const auto start = std::chrono::steady_clock::now();
    removeStagedOnSignals();
    Run run;
    std::string error;
    if (!parseOptions(argc, argv, &run.options, &error))
        return fail(kExitUsage, error);
    if (run.options.help) {
        std::fputs(helpText(), stdout);
        return kExitOk;
    }
    if (run.options.version) {
        std::printf("glyva-mesh %s\n%s\n", GLYVA_MESH_VERSION, GetDescription());
        return kExitOk;
    }
    int status = prepareOutputs(run);
    if (status == kExitOk)
        status = prepareText(run);
    if (status == kExitOk)
        status = openFont(run);
    if (status == kExitOk)
        status = loadGlyphs(run);
    if (status != kExitOk)
        return status;
    layOut(run);
    if (run.placed.empty())
        return fail(kExitUsage,
                    "nothing to draw: no character of the text has an outline in " + run.fontPath);
    status = makeScene(run);
    if (status != kExitOk)
        return status;
    std::string written;
    status = writeOutputs(run, &written);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    if (status == kExitOk && !run.options.quiet)
        summarise(run, written, took.count());
    return status;
}

} // namespace
} // namespace glyvamesh

int main(int argc, char **argv)
{
    const int status = glyvamesh::run(argc, argv);
    FcFini();
    return status;
}
