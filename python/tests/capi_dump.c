/* Prints what the shaping library's C interface answers for a font, options and text,
 * for the Python tests to compare the module's arrays with:
 *   capi_dump FONT FACE INSTANCE QUALITY DIRECTION SCRIPT LANGUAGE FEATURES TEXT
 *   capi_dump --layout QUALITY DIRECTION ALIGN WIDTH LINE_SPACING LETTER_SPACING SCRIPT
 *             LANGUAGE FEATURES TEXT FONT[#FACE]...
 *   capi_dump --solid FONT[#FACE] QUALITY DEPTH BEVEL BEVEL_DEPTH SEGMENTS FRONT_ONLY SCALE
 *             GRID GLYPH...
 * The first shapes one run and dumps its glyphs; the second lays the text out over the
 * fonts in order and dumps its glyph and line records, its notices and the mesh of each
 * distinct glyph; the third dumps the solid library's mesh of each glyph: its solid, or
 * its flat mesh for a DEPTH of 0. INSTANCE, SCRIPT, LANGUAGE and FEATURES are "-" for none.
 * Failures print the library's message on standard error and exit with 1. Floats are printed with
 * enough digits to read back exactly: %.9g for float, %.17g for double. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#define MAX_FACES 8

#include "shape/glyvaShape.h"
#include "solid/glyvaSolid.h"

static const char *optional(const char *arg)
{
    return strcmp(arg, "-") == 0 ? NULL : arg;
}

static int dumpMesh(glyvaShapeFont *font, uint32_t glyph)
{
    const float *vertices;
    const int32_t *indices;
    int32_t vertexCount, indexCount, i;
    if (!glyvaShapeGlyphMesh(font, glyph, &vertices, &vertexCount, &indices, &indexCount))
        return 0;
    printf("mesh %u %d %d\n", (unsigned)glyph, (int)vertexCount, (int)indexCount);
    for (i = 0; i < vertexCount; ++i)
        printf("v %.9g %.9g\n", vertices[2 * i], vertices[2 * i + 1]);
    for (i = 0; i < indexCount; ++i)
        printf("i %d\n", (int)indices[i]);
    return 1;
}

static int dumpGlyph(glyvaShapeFont *font, uint32_t glyph)
{
    glyphInfoRecord info;
    int32_t k, i;
    if (!glyvaShapeGlyphInfo(&info, font, glyph))
        return 0;
    printf("info %u %.9g %.9g %.9g %.9g %.9g %.9g %.9g %.9g %d\n", (unsigned)glyph, info.width,
           info.height, info.horiAdvance, info.vertAdvance, info.horiBearingX, info.horiBearingY,
           info.vertBearingX, info.vertBearingY, (int)info.contourCount);
    if (!dumpMesh(font, glyph))
        return 0;
    for (k = 0; k < info.contourCount; ++k) {
        const float *points;
        uint8_t evenOdd, postScript;
        int32_t count = glyvaShapeGlyphContour(&points, font, glyph, k, &evenOdd, &postScript);
        if (count <= 0)
            return 0;
        printf("contour %u %d %d %d %d\n", (unsigned)glyph, (int)k, (int)count, evenOdd,
               postScript);
        for (i = 0; i < count; ++i)
            printf("p %.9g %.9g\n", points[3 * i], points[3 * i + 1]);
    }
    return 1;
}

/* Opens PATH or PATH#FACE; 0 with the message on standard error. */
static int openFace(glyvaShapeFont **font, const char *arg)
{
    char path[4096], message[512];
    const char *mark = strrchr(arg, '#');
    const size_t length = mark ? (size_t)(mark - arg) : strlen(arg);
    if (length >= sizeof path)
        return 0;
    memcpy(path, arg, length);
    path[length] = '\0';
    if (glyvaShapeOpen(font, path, mark ? atoi(mark + 1) : 0, NULL, message, sizeof message) !=
        GLYVA_SHAPE_OK) {
        fprintf(stderr, "%s\n", message);
        return 0;
    }
    return 1;
}

static void printLayout(const glyvaShapeLayout *layout)
{
    const glyvaLayoutGlyph *glyphs;
    const glyvaLayoutLine *lines;
    const char *message;
    int32_t count = glyvaShapeLayoutGlyphs(layout, &glyphs), i;
    uint32_t notices;
    for (i = 0; i < count; ++i)
        printf("lglyph %u %u %u %u %.17g %.17g %.17g\n", (unsigned)glyphs[i].face,
               (unsigned)glyphs[i].glyphIndex, (unsigned)glyphs[i].cluster,
               (unsigned)glyphs[i].line, glyphs[i].x, glyphs[i].y, glyphs[i].advance);
    count = glyvaShapeLayoutLines(layout, &lines);
    for (i = 0; i < count; ++i)
        printf("lline %u %u %u %u %.17g %.17g %.17g %.17g %.17g %d %u\n",
               (unsigned)lines[i].firstGlyph, (unsigned)lines[i].glyphCount,
               (unsigned)lines[i].firstByte, (unsigned)lines[i].byteLength, lines[i].baseline,
               lines[i].left, lines[i].width, lines[i].ascender, lines[i].descender,
               (int)lines[i].paragraphLevel, (unsigned)lines[i].paragraph);
    notices = glyvaShapeLayoutNotices(layout, &message);
    printf("notices %u %s\n", (unsigned)notices, message);
}

/* The mesh of every distinct glyph the layout uses, each after "face F". */
static int printLayoutMeshes(const glyvaShapeLayout *layout, glyvaShapeFont **faces)
{
    const glyvaLayoutGlyph *glyphs;
    int32_t count = glyvaShapeLayoutGlyphs(layout, &glyphs), i, j;
    for (i = 0; i < count; ++i) {
        for (j = 0; j < i; ++j)
            if (glyphs[j].face == glyphs[i].face && glyphs[j].glyphIndex == glyphs[i].glyphIndex)
                break;
        if (j < i)
            continue;
        printf("face %u\n", (unsigned)glyphs[i].face);
        if (!dumpMesh(faces[glyphs[i].face], glyphs[i].glyphIndex)) {
            fprintf(stderr, "%s\n", glyvaShapeError(faces[glyphs[i].face]));
            return 0;
        }
    }
    return 1;
}

static int dumpLayout(int argc, char **argv)
{
    glyvaShapeFont *faces[MAX_FACES];
    glyvaLayoutOptions options;
    glyvaShapeLayout *layout = NULL;
    char message[512];
    int32_t faceCount = 0, i, status = 1;
    if (argc < 13 || argc - 12 > MAX_FACES)
        return 2;
    memset(&options, 0, sizeof options);
    options.direction = atoi(argv[3]);
    options.align = atoi(argv[4]);
    options.width = strtod(argv[5], NULL);
    options.lineSpacing = strtod(argv[6], NULL);
    options.letterSpacing = strtod(argv[7], NULL);
    options.script = optional(argv[8]);
    options.language = optional(argv[9]);
    options.features = optional(argv[10]);
    for (i = 12; i < argc; ++i) {
        if (!openFace(&faces[faceCount], argv[i]))
            goto done;
        glyvaShapeSetQuality(faces[faceCount++], (uint32_t)atoi(argv[2]));
    }
    if (glyvaShapeLayoutText(&layout, faces, (uint32_t)faceCount, argv[11], -1, &options, message,
                             sizeof message) != GLYVA_SHAPE_OK) {
        fprintf(stderr, "%s\n", message);
        goto done;
    }
    printLayout(layout);
    status = printLayoutMeshes(layout, faces) ? 0 : 1;
done:
    glyvaShapeLayoutDestroy(layout);
    for (i = 0; i < faceCount; ++i)
        glyvaShapeClose(faces[i]);
    return status;
}

static int dumpSolids(int argc, char **argv)
{
    glyvaShapeFont *font = NULL;
    glyvaSolid *solid = glyvaSolidCreate();
    glyvaSolidOptions options;
    int status = 0, i;
    uint32_t k;
    if (argc < 12 || !solid)
        return 2;
    options.depth = strtof(argv[4], NULL);
    options.bevelSize = strtof(argv[5], NULL);
    options.bevelDepth = strtof(argv[6], NULL);
    options.bevelSegments = atoi(argv[7]);
    options.frontOnly = atoi(argv[8]);
    options.scale = strtof(argv[9], NULL);
    options.grid = strtof(argv[10], NULL);
    if (!openFace(&font, argv[2])) {
        glyvaSolidDestroy(solid);
        return 1;
    }
    glyvaShapeSetQuality(font, (uint32_t)atoi(argv[3]));
    for (i = 11; i < argc && status == 0; ++i) {
        const uint32_t glyph = (uint32_t)strtoul(argv[i], NULL, 10);
        const glyvaSolidVertex *v;
        const uint32_t *ix;
        uint32_t vc, ic;
        const int32_t built = options.depth > 0.0f
                                  ? glyvaSolidBuild(solid, font, glyph, &options, &v, &vc, &ix, &ic)
                                  : glyvaSolidFlat(solid, font, glyph, options.scale, options.grid,
                                                   &v, &vc, &ix, &ic);
        if (!built) {
            fprintf(stderr, "%s\n", glyvaSolidError(solid));
            status = 1;
            break;
        }
        printf("solid %u %u %u\n", (unsigned)glyph, (unsigned)vc, (unsigned)ic);
        for (k = 0; k < vc; ++k)
            printf("sv %.9g %.9g %.9g %.9g %.9g %.9g %.9g %.9g %u\n", v[k].position[0],
                   v[k].position[1], v[k].position[2], v[k].normal[0], v[k].normal[1],
                   v[k].normal[2], v[k].texCoord[0], v[k].texCoord[1], (unsigned)v[k].mapping);
        for (k = 0; k < ic; ++k)
            printf("i %u\n", (unsigned)ix[k]);
    }
    glyvaSolidDestroy(solid);
    glyvaShapeClose(font);
    return status;
}

int main(int argc, char **argv)
{
    char message[256];
    glyvaShapeFont *font = NULL;
    glyvaShapeOptions options = {NULL, NULL, NULL, 0};
    const glyvaShapedGlyph *glyphs;
    float ascender, descender;
    int32_t count, i;

    if (argc > 1 && strcmp(argv[1], "--layout") == 0)
        return dumpLayout(argc, argv);
    if (argc > 1 && strcmp(argv[1], "--solid") == 0)
        return dumpSolids(argc, argv);
    if (argc != 10)
        return 2;
    if (glyvaShapeOpen(&font, argv[1], atoi(argv[2]), optional(argv[3]), message, sizeof message) !=
        GLYVA_SHAPE_OK) {
        fprintf(stderr, "%s\n", message);
        return 1;
    }
    glyvaShapeSetQuality(font, (uint32_t)atoi(argv[4]));
    options.direction = atoi(argv[5]);
    options.script = optional(argv[6]);
    options.language = optional(argv[7]);
    options.features = optional(argv[8]);
    glyvaShapeFontMetrics(font, &ascender, &descender);
    printf("font %d %d %.9g %.9g\n", (int)glyvaShapeUnitsPerEm(font),
           (int)glyvaShapeGlyphCount(font), ascender, descender);
    count = glyvaShapeText(font, argv[9], -1, &options, &glyphs);
    if (count < 0) {
        fprintf(stderr, "%s\n", glyvaShapeError(font));
        glyvaShapeClose(font);
        return 1;
    }
    for (i = 0; i < count; ++i)
        printf("glyph %u %u %.17g %.17g %.17g %.17g\n", (unsigned)glyphs[i].glyphIndex,
               (unsigned)glyphs[i].cluster, glyphs[i].xAdvance, glyphs[i].yAdvance,
               glyphs[i].xOffset, glyphs[i].yOffset);
    for (i = 0; i < count; ++i) {
        if (!dumpGlyph(font, glyphs[i].glyphIndex)) {
            fprintf(stderr, "%s\n", glyvaShapeError(font));
            glyvaShapeClose(font);
            return 1;
        }
    }
    glyvaShapeClose(font);
    return 0;
}
