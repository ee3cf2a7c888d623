#ifndef TOOLS_GLYVA_MESH_OPTIONS_H
#define TOOLS_GLYVA_MESH_OPTIONS_H

#include <string>
#include <vector>

#include "layout.h"
#include "picture.h"
#include "solid.h"

namespace glyvamesh
{

/* Exit statuses, as --help documents them. */
enum ExitStatus {
    kExitOk = 0,
    kExitUsage = 1,  /* bad option, unknown output type, no or empty text */
    kExitFont = 2,   /* font missing, unreadable or unusable */
    kExitOutput = 3, /* an output could not be written */
};

/* Shaped: HarfBuzz places the glyphs (kerning, ligatures, marks, scripts); simple: one
 * glyph per character with the font API's own kerning. */
enum class LayoutMode { Shaped, Simple };

struct Options {
    std::vector<std::string> outputs;
    std::vector<std::string> text;
    std::string textFile;
    bool haveTextFile = false;
    std::string font;
    float size = 1.0f;
    int quality = 50;
    /* Flat glyphs without a depth, else solids with these bevels. */
    SolidSettings solid;
    /* Meshes with their own origin at their glyph's pen position (glTF, 3MF), or in the
     * text's coordinates. */
    bool glyphOrigin = true;
    Align align = Align::Start;
    /* Output units to wrap lines at; 0 for no wrapping. */
    float width = 0.0f;
    float lineSpacing = 1.0f;
    /* Output units added after every cluster. */
    float letterSpacing = 0.0f;
    bool noFallback = false;
    /* glTF and 3MF: one mesh of every glyph rather than one per placed glyph. */
    bool merge = false;
    bool allGlyphs = false;
    LayoutMode layout = LayoutMode::Shaped;
    std::string script;
    std::string language;
    std::string features;
    int direction = 0; /* GLYVA_LAYOUT_DIRECTION_*, 0 to detect */
    int face = 0;
    bool haveFace = false;
    std::string variation;
    bool haveVariation = false;
    PictureOptions picture;
    bool quiet = false;
    /* Threads making OBJ and STL files; 0 for one per processor. */
    unsigned threads = 0;
    bool help = false;
    bool version = false;
};

/* False with error set for a command line that cannot be run. */
bool parseOptions(int argc, char **argv, Options *options, std::string *error);

const char *helpText();

} // namespace glyvamesh

#endif
