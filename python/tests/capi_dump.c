/* Prints what the shaping library's C interface answers for a font, options and text,
 * for the Python tests to compare the module's arrays with:
 *   capi_dump FONT FACE INSTANCE QUALITY DIRECTION SCRIPT LANGUAGE FEATURES TEXT
 * INSTANCE, SCRIPT, LANGUAGE and FEATURES are "-" for none. Failures print the
 * library's message on standard error and exit with 1. Floats are printed with enough digits to
 * read back exactly: %.9g for float, %.17g for double. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "shape/glyvaShape.h"

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

int main(int argc, char **argv)
{
    char message[256];
    glyvaShapeFont *font = NULL;
    glyvaShapeOptions options = {NULL, NULL, NULL, 0};
    const glyvaShapedGlyph *glyphs;
    float ascender, descender;
    int32_t count, i;

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
