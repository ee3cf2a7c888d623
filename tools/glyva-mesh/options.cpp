#include "options.h"

#include <getopt.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace glyvamesh
{
namespace
{

enum LongOnly { kAllGlyphs = 256, kPngSize, kEdges, kVersion };

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
    {"quiet", no_argument, nullptr, 'Q'},
    {"help", no_argument, nullptr, 'h'},
    {"version", no_argument, nullptr, kVersion},
    {nullptr, 0, nullptr, 0},
};

bool parsePositive(const char *text, float *out)
{
    errno = 0;
    char *end = nullptr;
    const double value = std::strtod(text, &end);
    if (errno != 0 || end == text || *end != '\0' || !std::isfinite(value) || value <= 0.0 ||
        value > 1e30)
        return false;
    *out = static_cast<float>(value);
    return true;
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

/* W or WxH pixels, each 1 to 16384, well inside cairo's limit for image surfaces. */
bool parsePictureSize(const std::string &text, PictureOptions *picture)
{
    const size_t x = text.find_first_of("xX");
    long w = 0, h = 0;
    if (!parseInt(text.substr(0, x), 1, 16384, &w))
        return false;
    if (x != std::string::npos && !parseInt(text.substr(x + 1), 1, 16384, &h))
        return false;
    picture->width = static_cast<int>(w);
    picture->height = static_cast<int>(h);
    return true;
}

bool parseAlign(const std::string &text, Align *align)
{
    if (text == "left")
        *align = Align::Left;
    else if (text == "center" || text == "centre")
        *align = Align::Center;
    else if (text == "right")
        *align = Align::Right;
    else
        return false;
    return true;
}

bool applyOption(int c, const char *arg, Options *o, std::string *error)
{
    long quality = 0;
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
        *error = std::string("--align takes left, center or right, not '") + arg + "'";
        return false;
    case 's':
        if (parsePositive(arg, &o->size))
            return true;
        *error = std::string("--size takes a positive number, not '") + arg + "'";
        return false;
    case 'd':
        if (parsePositive(arg, &o->depth))
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
    case kEdges:
        o->picture.edges = true;
        return true;
    case 'Q':
        o->quiet = true;
        return true;
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
  .obj .stl .glb .gltf   a mesh (Wavefront OBJ, binary STL, glTF 2.0 binary or with a
                         .bin buffer beside it); without --depth one flat mesh of all
                         glyphs at z = 0 facing +z, with --depth one closed solid per
                         glyph (glTF files take more than 64 solids as one mesh)
  .png .svg              a picture of the glyphs seen from the front

Options:
  -o, --output FILE      write FILE; its extension picks the format
  -f, --font PATH|NAME   a font file, or a family for fontconfig such as
                         "DejaVu Serif" or "Liberation Sans:bold" (default:
                         DejaVu Sans)
  -t, --text-file FILE   read the text from FILE ('-' for standard input)
  -s, --size UNITS       output units per em (default 1); the first baseline is at
                         y = 0 and each further line one line height (ascender minus
                         descender) lower
  -a, --align WHERE      left, center or right: where x = 0 lies on each line
                         (default left)
  -q, --quality N        curve subdivision, 0 to 100 (default 50)
  -d, --depth D          extrude every glyph into a solid D output units deep, from
                         z = 0 (back) to z = D (front), watertight with outward normals
      --all-glyphs       a chart of every character the font maps, in a grid, with a
                         progress bar when standard error is a terminal
      --png-size W[xH]   picture size in pixels (points for .svg); default 1200 wide,
                         the height following the text
      --edges            draw the triangle edges in pictures
      --quiet            no summary and no progress bar (warnings and errors remain)
  -h, --help             this text
      --version          the tool's and the library's version

Text that starts with '-' goes after '--'. Characters the font lacks are drawn with
the font's missing glyph and reported once; invalid UTF-8 becomes U+FFFD with one
warning. A summary (glyphs, vertices, triangles, time) goes to standard error.
Outputs appear only when complete: nothing is left behind when a run fails.

Exit status:
  0  written
  1  bad usage: unknown option or value, no output, unknown output extension, no
     text, empty text, text with nothing to draw, unreadable --text-file
  2  the font is missing, unreadable, or the library cannot read its glyphs
  3  an output cannot be written (missing or read-only folder, ...)

Examples:
  glyva-mesh Glyva -o glyva.obj
  glyva-mesh --size 10 --depth 2 "Hello" -o hello.stl
  glyva-mesh --align center --edges --png-size 1600 $'Glyva\nAVATAR' -o glyva.png
  glyva-mesh --font "DejaVu Serif" --quality 80 Text -o text.glb -o text.svg
  echo "from a pipe" | glyva-mesh -o pipe.gltf
  glyva-mesh --font /usr/share/fonts/opentype/freefont/FreeSans.otf --all-glyphs \
      -o chart.png
)";
}

} // namespace glyvamesh
