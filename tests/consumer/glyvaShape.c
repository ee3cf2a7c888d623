/* A C host of libGlyvaShape that knows only the installed headers and the pkg-config
 * or CMake package. It calls nothing of libGlyva itself, so a linker that drops
 * unused libraries (--as-needed) leaves libGlyva out of the program: the shaping
 * library must bring it along. */
#include <stdio.h>

#include "shape/glyvaShape.h"

int main(int argc, char **argv)
{
    char message[200];
    glyvaShapeFont *font = NULL;
    const glyvaShapedGlyph *glyphs = NULL;
    int32_t count, i, triangles = 0;

    if (argc < 2)
        return 2;
    if (glyvaShapeOpen(&font, argv[1], 0, NULL, message, sizeof message) != GLYVA_SHAPE_OK) {
        fprintf(stderr, "%s\n", message);
        return 3;
    }
    count = glyvaShapeText(font, "AVA", -1, NULL, &glyphs);
    if (count != 3) {
        glyvaShapeClose(font);
        return 4;
    }
    for (i = 0; i < count; ++i) {
        const float *vertices;
        const int32_t *indices;
        int32_t nv, ni;
        if (!glyvaShapeGlyphMesh(font, glyphs[i].glyphIndex, &vertices, &nv, &indices, &ni) ||
            nv <= 0 || ni <= 0 || ni % 3 != 0) {
            glyvaShapeClose(font);
            return 5;
        }
        triangles += ni / 3;
    }
    glyvaShapeClose(font);
    printf("consumer: AVA shaped to %d glyphs, %d triangles\n", (int)count, (int)triangles);
    return 0;
}
