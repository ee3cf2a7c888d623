#include "options.h"

#include <getopt.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>

#include "solid/glyvaSolid.h"

namespace glyvamesh
{
namespace
{

enum LongOnly {
    kAllGlyphs = 256,
    kPngSize,
    kEdges,
    kVersion,
    kLayout,
    kScript,
    kLanguage,
    kDirection,
    kFeatures,
    kFace,
    kVariation,
    kWidth,
    kLineSpacing,
    kLetterSpacing,
    kNoFallback,
    kMerge,
    kBevel,
    kBevelDepth,
    kBevelSegments,
    kBevelFrontOnly,
    kColor,
    kView,
    kOrigin,
    kThreads,
};

const option kLongOptions[] = {
    {"output", required_argument, nullptr, 'o'},
    {"font", required_argument, nullptr, 'f'},
    {"text-file", required_argument, nullptr, 't'},
    {"size", required_argument, nullptr, 's'},
    {"quality", required_argument, nullptr, 'q'},
    {"depth", required_argument, nullptr, 'd'},
    {"align", required_argument, nullptr, 'a'},
    {"all-glyphs", no_argument, nullptr, kAllGlyphs},
    {"png-size", required_argument, nullptr, kPngSize},
    {"edges", no_argument, nullptr, kEdges},
    {"layout", required_argument, nullptr, kLayout},
    {"script", required_argument, nullptr, kScript},
    {"language", required_argument, nullptr, kLanguage},
    {"direction", required_argument, nullptr, kDirection},
    {"features", required_argument, nullptr, kFeatures},
    {"face", required_argument, nullptr, kFace},
    {"variation", required_argument, nullptr, kVariation},
    {"width", required_argument, nullptr, kWidth},
    {"line-spacing", required_argument, nullptr, kLineSpacing},
    {"letter-spacing", required_argument, nullptr, kLetterSpacing},
    {"no-fallback", no_argument, nullptr, kNoFallback},
    {"merge", no_argument, nullptr, kMerge},
    {"bevel", required_argument, nullptr, kBevel},
    {"bevel-depth", required_argument, nullptr, kBevelDepth},
    {"bevel-segments", required_argument, nullptr, kBevelSegments},
    {"bevel-front-only", no_argument, nullptr, kBevelFrontOnly},
    {"color", required_argument, nullptr, kColor},
    {"colour", required_argument, nullptr, kColor},
    {"view", required_argument, nullptr, kView},
    {"origin", required_argument, nullptr, kOrigin},
    {"quiet", no_argument, nullptr, 'Q'},
    {"threads", required_argument, nullptr, kThreads},
    {"help", no_argument, nullptr, 'h'},
    {"version", no_argument, nullptr, kVersion},
    {nullptr, 0, nullptr, 0},
};

/* A finite number within [lo, hi]; lo itself only when allowLo. */
bool parseNumber(const char *text, double lo, double hi, bool allowLo, float *out)
{
    errno = 0;
    char *end = nullptr;
    const double value = std::strtod(text, &end);
    if (errno != 0 || end == text || *end != '\0' || !std::isfinite(value) || value < lo ||
        (value == lo && !allowLo) || value > hi)
        return false;
    *out = static_cast<float>(value);
    return true;
}

bool parsePositive(const char *text, float *out)
{
    return parseNumber(text, 0.0, 1e30, false, out);
}

bool parseInt(const std::string &text, long lo, long hi, long *out)
{
    errno = 0;
    char *end = nullptr;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || text.empty() || *end != '\0' || value < lo || value > hi)
        return false;
    *out = value;
    return true;
}

/* W or WxH pixels, each 1 to kMaxPictureSide. */
bool parsePictureSize(const std::string &text, PictureOptions *picture)
{
    const size_t x = text.find_first_of("xX");
    long w = 0, h = 0;
    if (!parseInt(text.substr(0, x), 1, kMaxPictureSide, &w))
        return false;
    if (x != std::string::npos && !parseInt(text.substr(x + 1), 1, kMaxPictureSide, &h))
        return false;
    picture->width = static_cast<int>(w);
    picture->height = static_cast<int>(h);
    return true;
}

bool parseAlign(const std::string &text, Align *align)
{
    if (text == "start")
        *align = Align::Start;
    else if (text == "end")
        *align = Align::End;
    else if (text == "left")
        *align = Align::Left;
    else if (text == "center" || text == "centre")
        *align = Align::Center;
    else if (text == "right")
        *align = Align::Right;
    else
        return false;
    return true;
}

/* The values of GLYVA_LAYOUT_DIRECTION_*, in order. */
bool parseDirection(const std::string &text, int *direction)
{
    static const char *const kNames[] = {"auto", "ltr", "rtl"};
    for (int d = 0; d < 3; ++d) {
        if (text == kNames[d]) {
            *direction = d;
            return true;
        }
    }
    return false;
}

bool applySolidOption(int c, const char *arg, Options *o, std::string *error)
{
    const std::string text = arg ? arg : "";
    long segments = 0;
    switch (c) {
    case kBevel:
        if (parsePositive(arg, &o->solid.bevel))
            return true;
        *error = "--bevel takes a positive number of output units, not '" + text + "'";
        return false;
    case kBevelDepth:
        if (parsePositive(arg, &o->solid.bevelDepth))
            return true;
        *error = "--bevel-depth takes a positive number of output units, not '" + text + "'";
        return false;
    case kBevelSegments:
        if (parseInt(text, 1, GLYVA_SOLID_MAX_SEGMENTS, &segments)) {
            o->solid.bevelSegments = static_cast<int>(segments);
            return true;
        }
        *error = "--bevel-segments takes a whole number from 1 to " +
                 std::to_string(GLYVA_SOLID_MAX_SEGMENTS) + ", not '" + text + "'";
        return false;
    case kBevelFrontOnly:
        o->solid.frontOnly = true;
        return true;
    case kColor:
        if (parseColor(text, &o->picture.color))
            return true;
        *error = "--color takes #RRGGBB, not '" + text + "'";
        return false;
    case kView:
        if (text == "front" || text == "perspective") {
            o->picture.view = text == "front" ? View::Front : View::Perspective;
            return true;
        }
        *error = "--view takes front or perspective, not '" + text + "'";
        return false;
    case kOrigin:
        if (text == "glyph" || text == "text") {
            o->glyphOrigin = text == "glyph";
            return true;
        }
        *error = "--origin takes glyph or text, not '" + text + "'";
        return false;
    default:
        *error = "see glyva-mesh --help";
        return false;
    }
}

bool applyShapingOption(int c, const char *arg, Options *o, std::string *error)
{
    long face = 0;
    switch (c) {
    case kLayout:
        if (std::string(arg) == "shaped" || std::string(arg) == "simple") {
            o->layout = std::string(arg) == "shaped" ? LayoutMode::Shaped : LayoutMode::Simple;
            return true;
        }
        *error = std::string("--layout takes shaped or simple, not '") + arg + "'";
        return false;
    case kScript:
        o->script = arg;
        return true;
    case kLanguage:
        o->language = arg;
        return true;
    case kFeatures:
        o->features = arg;
        return true;
    case kDirection:
        if (parseDirection(arg, &o->direction))
            return true;
        *error = std::string("--direction takes auto, ltr or rtl, not '") + arg + "'";
        return false;
    case kFace:
        if (parseInt(arg, 0, 65535, &face)) {
            o->face = static_cast<int>(face);
            o->haveFace = true;
            return true;
        }
        *error = std::string("--face takes a face index from 0 to 65535, not '") + arg + "'";
        return false;
    case kVariation:
        if (*arg) {
            o->variation = arg;
            o->haveVariation = true;
            return true;
        }
        *error = "--variation takes AXIS=VALUE,... or an instance name, not ''";
        return false;
    case kWidth:
        if (parsePositive(arg, &o->width))
            return true;
        *error = std::string("--width takes a positive number of output units, not '") + arg + "'";
        return false;
    case kLineSpacing:
        if (parseNumber(arg, 0.0, 1e6, false, &o->lineSpacing))
            return true;
        *error = std::string("--line-spacing takes a positive factor, not '") + arg + "'";
        return false;
    case kLetterSpacing:
        if (parseNumber(arg, -1e6, 1e6, true, &o->letterSpacing))
            return true;
        *error = std::string("--letter-spacing takes a number of output units, not '") + arg + "'";
        return false;
    case kNoFallback:
        o->noFallback = true;
        return true;
    default:
        *error = "see glyva-mesh --help";
        return false;
    }
}

bool applyOption(int c, const char *arg, Options *o, std::string *error)
{
    if (c >= kLayout && c <= kNoFallback)
        return applyShapingOption(c, arg, o, error);
    if (c >= kBevel && c <= kOrigin)
        return applySolidOption(c, arg, o, error);
    long quality = 0, threads = 0;
    switch (c) {
    case 'o':
        o->outputs.push_back(arg);
        return true;
    case 'f':
        o->font = arg;
        return true;
    case 't':
        o->textFile = arg;
        o->haveTextFile = true;
        return true;
    case 'a':
        if (parseAlign(arg, &o->align))
            return true;
        *error = std::string("--align takes start, left, center, right or end, not '") + arg + "'";
        return false;
    case 's':
        if (parsePositive(arg, &o->size))
            return true;
        *error = std::string("--size takes a positive number, not '") + arg + "'";
        return false;
    case 'd':
        if (parsePositive(arg, &o->solid.depth))
            return true;
        *error = std::string("--depth takes a positive number, not '") + arg + "'";
        return false;
    case 'q':
        if (parseInt(arg, 0, 100, &quality)) {
            o->quality = static_cast<int>(quality);
            return true;
        }
        *error = std::string("--quality takes a whole number from 0 to 100, not '") + arg + "'";
        return false;
    case kPngSize:
        if (parsePictureSize(arg, &o->picture))
            return true;
        *error = std::string("--png-size takes W or WxH pixels (1 to 16384), not '") + arg + "'";
        return false;
    case kAllGlyphs:
        o->allGlyphs = true;
        return true;
    case kMerge:
        o->merge = true;
        return true;
    case kEdges:
        o->picture.edges = true;
        return true;
    case 'Q':
        o->quiet = true;
        return true;
    case kThreads:
        if (parseInt(arg, 1, 64, &threads)) {
            o->threads = static_cast<unsigned>(threads);
            return true;
        }
        *error = std::string("--threads takes a whole number from 1 to 64, not '") + arg + "'";
        return false;
    case 'h':
        o->help = true;
        return true;
    case kVersion:
        o->version = true;
        return true;
    default:
        *error = "see glyva-mesh --help";
        return false;
    }
}

} // namespace

bool parseOptions(int argc, char **argv, Options *options, std::string *error)
{
    optind = 1;
    opterr = 1; /* getopt names the bad option on standard error itself */
    int c;
    while ((c = getopt_long(argc, argv, "o:f:t:s:q:d:a:h", kLongOptions, nullptr)) != -1) {
        if (!applyOption(c, optarg, options, error))
            return false;
    }
    for (int i = optind; i < argc; ++i)
        options->text.push_back(argv[i]);
    if (options->help || options->version)
        return true;
    if (options->outputs.empty()) {
        *error = "no output given: -o FILE (see glyva-mesh --help)";
        return false;
    }
    if (options->allGlyphs && (!options->text.empty() || options->haveTextFile)) {
        *error = "--all-glyphs takes no text";
        return false;
    }
    const bool shaping = options->layout == LayoutMode::Shaped && !options->allGlyphs;
    if (!shaping && (options->haveFace || options->haveVariation || options->width > 0.0f ||
                     options->lineSpacing != 1.0f || options->letterSpacing != 0.0f)) {
        *error = "--face, --variation, --width, --line-spacing and --letter-spacing need the "
                 "shaped layout (not --layout simple or --all-glyphs)";
        return false;
    }
    const std::string solid = solidSettingsRefusal(options->solid);
    if (!solid.empty()) {
        *error = solid;
        return false;
    }
    if (!options->text.empty() && options->haveTextFile) {
        *error = "give the text either as arguments or with --text-file, not both";
        return false;
    }
    return true;
}

const char *helpText()
{
    return R"(Usage: glyva-mesh [options] TEXT... -o OUTPUT [-o OUTPUT...]
       glyva-mesh [options] --text-file FILE -o OUTPUT
       ... | glyva-mesh [options] -o OUTPUT
       glyva-mesh [options] --all-glyphs -o OUTPUT

Turns text into triangle meshes and pictures with the Glyva library. The text comes
from the arguments (joined by spaces), from --text-file, or from standard input; it
is UTF-8, and every line break starts a new line.

Output, chosen by each file's extension (-o may be repeated):
  .obj .stl .glb .gltf   a mesh (Wavefront OBJ with its material in a .mtl file
                         beside it, binary STL, glTF 2.0 binary or with a .bin buffer
                         beside it); without --depth flat glyphs at z = 0 facing +z,
                         with --depth one closed solid per glyph. glTF holds each
                         distinct glyph's mesh once and one node per placed glyph,
                         named by its characters, with its translation (--merge: one
                         mesh of everything); OBJ holds one object of all flat
                         glyphs, or one object per solid
  .3mf                   solids for printing (needs --depth), in millimetres: --size
                         is millimetres per em; one object per placed glyph, named by
                         its characters (--merge: one object), in the --color; the
                         file keeps six decimals (a nanometre), so give letters a
                         printable size
  .png .svg              a picture: flat text seen from the front, solids in
                         perspective (see --view)
  .json                  the layout: {"lines": N, "glyphs": [...]} with one object
                         per glyph placed (spaces too), in visual order, line by
                         line, left to right: "line", "cluster" (byte offset of its
                         first character in the text), "text" (its characters),
                         "font", "glyph" (index), "x", "y" and "advance" in output
                         units; shaped layout only

Options:
  -o, --output FILE      write FILE; its extension picks the format
  -f, --font PATH|NAME   a font file, or a family for fontconfig such as
                         "DejaVu Serif" or "Liberation Sans:bold" (default:
                         DejaVu Sans)
  -t, --text-file FILE   read the text from FILE ('-' for standard input)
  -s, --size UNITS       output units per em (default 1); the first baseline is at
                         y = 0 and each further line one line pitch lower
  -a, --align WHERE      start, left, center, right or end: where each line goes;
                         start (the default) is left for left-to-right paragraphs
                         and right for right-to-left ones, end the opposite. Without
                         --width, x = 0 is each line's left end, middle or right end;
                         with it, lines are set within 0 to the width
      --width W          wrap lines at W output units, at the line-break
                         opportunities of Unicode (UAX #14); a word wider than W
                         gets a line of its own and a warning
      --line-spacing F   line pitch times F (default 1): the pitch is the font's
                         ascender - descender + line gap at full precision
      --letter-spacing L output units added after every character (may be negative)
  -q, --quality N        curve subdivision, 0 to 100 (default 50)
      --layout MODE      shaped (default): the shaping library lays each paragraph
                         out as a typesetter would: the Unicode Bidirectional
                         Algorithm for mixed directions, runs split by script and
                         font, each shaped by HarfBuzz with the font's kerning (GPOS
                         or kern) at full precision, ligatures and marks; simple: one
                         glyph per character, kerned by the font API (kern table, 0.1
                         em steps), lines one font API line height apart, as hosts of
                         the library get it
      --no-fallback      draw only with the chosen font; by default characters it
                         lacks come from the fonts fontconfig proposes, as in a
                         desktop text view, and the summary names the fonts used
      --script TAG       ISO 15924 script such as Latn, Arab, Deva for every run
                         (default: each run's own)
      --language TAG     BCP 47 language such as en, ar, hi (default: none)
      --direction DIR    paragraph direction: auto (default: from each paragraph's
                         first strong character), ltr or rtl
      --features LIST    OpenType features as HarfBuzz writes them, comma-separated,
                         e.g. "liga=0,+smcp,kern"
      --face N           face N of a font collection (.ttc/.otc); default 0
      --variation VALUES an instance of a variable font: AXIS=VALUE,... such as
                         "wght=700,wdth=80" (axes not named keep their defaults), or
                         the name of a named instance such as "Bold"
  -d, --depth D          extrude every glyph into a solid D output units deep, from
                         z = 0 (back) to z = D (front): closed, without
                         self-intersections or zero-area triangles, outward normals
      --bevel SIZE       bevel the edges of the front and back faces, reaching SIZE
                         output units into the glyph (needs --depth); where a stroke
                         or a counter is narrower than the bevel, the bevel ends in a
                         flat top at the height it reached
      --bevel-depth D    how far the bevel reaches along z (default: SIZE)
      --bevel-segments N 1 (default) for a straight chamfer, 2 to 32 for a rounded
                         profile (a quarter ellipse)
      --bevel-front-only bevel the front face only, keep the back flat for printing
      --origin WHERE     glyph (default): in glTF and 3MF each glyph's mesh has its
                         origin at the glyph's pen position on the baseline and its
                         node or build item moves it into place, so that an engine can
                         turn a letter about its own origin; text: every glyph's mesh
                         in the text's coordinates, its node or build item not moved.
                         OBJ, STL and --merge always write text coordinates
      --color #RRGGBB    the glyphs' colour (sRGB; default #2B5797): glTF's base
                         colour, the OBJ material, 3MF's colour and the pictures'
      --merge            glTF and 3MF: one mesh of all glyphs instead of one per
                         placed glyph
      --all-glyphs       a chart of every character the font maps, in a grid
      --png-size W[xH]   picture size in pixels (points for .svg); default 1200 wide,
                         the height following the text
      --edges            draw the triangle edges in pictures: the meshes' own (in the
                         front view, a solid's front face)
      --view VIEW        front: the glyphs' outlines seen straight on; perspective:
                         the meshes seen from slightly above and to the right, lit
                         from the upper left, hidden surfaces removed. Default:
                         perspective with --depth, front without
      --quiet            no summary and no progress bar (warnings and errors remain);
                         the bar shows on a terminal once a run takes over a second
      --threads N        threads that make OBJ and STL files (default: one per
                         processor); the file is the same with any number
  -h, --help             this text
      --version          the tool's and the library's version

Texture coordinates (glTF TEXCOORD_0, OBJ vt), in ems: the front and back faces and
the bevels by position, (u, v) = (x, y); the side walls by (distance along the
outline, height z). In a glyph's own mesh (instanced glTF) they are relative to the
glyph's pen position; where meshes are in the text's coordinates (OBJ, --merge,
--origin text) the faces' and bevels' are relative to the text's origin, so that one
texture runs across the whole text. glTF stores v as 1 - v: its images start at the
top.

Line feeds, carriage returns and U+2029 end paragraphs; U+2028, VT and FF end
lines; a tab advances four spaces. --face, --variation, --width and the spacings
need the shaped layout; --all-glyphs charts characters through the font API. Text
that starts with '-' goes after '--'. Characters no font has are drawn with the
font's missing glyph and reported once; invalid UTF-8 becomes U+FFFD with one
warning. A summary (glyphs, vertices, triangles, time) goes to standard error.
Outputs appear only when complete: nothing is left behind when a run fails.

Exit status:
  0  written
  1  bad usage: unknown option or value, no output, unknown output extension, no
     text, empty text, text with nothing to draw, unreadable --text-file, a bevel
     without --depth or too deep for it, a .3mf without --depth
  2  the font is missing, unreadable, or the library cannot read its glyphs or build
     their solids; a face index past the collection's faces, an unknown axis or
     instance
  3  an output cannot be written (missing or read-only folder, ...)

Examples:
  glyva-mesh Glyva -o glyva.obj
  glyva-mesh --size 10 --depth 2 "Hello" -o hello.stl
  glyva-mesh --size 20 --depth 4 --bevel 0.6 --bevel-segments 4 --bevel-front-only \
      --color "#c0392b" Glyva -o glyva.3mf -o glyva.png
  glyva-mesh --align center --edges --png-size 1600 $'Glyva\nAVATAR' -o glyva.png
  glyva-mesh --font "DejaVu Serif" --quality 80 Text -o text.glb -o text.svg
  glyva-mesh --font "Noto Sans Arabic" $'\u0645\u0631\u062d\u0628\u0627' -o arabic.png
  glyva-mesh $'\u05e9\u05dc\u05d5\u05dd 2024 abc' -o mixed.png -o mixed.json
  glyva-mesh --width 30 --align center --text-file story.txt -o story.svg
  glyva-mesh --font font.ttc --face 1 --variation wght=700 Office -o bold.glb
  glyva-mesh --layout simple AVATAR -o font-api-kerning.obj
  echo "from a pipe" | glyva-mesh -o pipe.gltf
  glyva-mesh --font /usr/share/fonts/opentype/freefont/FreeSans.otf --all-glyphs \
      -o chart.png
)";
}

} // namespace glyvamesh
