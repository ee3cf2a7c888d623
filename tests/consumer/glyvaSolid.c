/* A C host of the installed solid library: the solid of 'A', closed by a count of its
 * edges, through the installed headers and the pkg-config or CMake package only. */
#include <stdio.h>

#include "solid/glyvaSolid.h"

int main(int argc, char **argv)
{
    glyvaShapeFont *font = NULL;
    char message[256];
    if (argc < 2 || glyvaShapeOpen(&font, argv[1], 0, NULL, message, sizeof message))
        return 2;
    const glyvaShapedGlyph *glyphs = NULL;
    glyvaSolid *solid = glyvaSolidCreate();
    const glyvaSolidOptions options = {0.2f, 0.02f, 0.0f, 2, 0, 0.0f, 0.0f};
    const glyvaSolidVertex *vertices = NULL;
    const uint32_t *indices = NULL;
    uint32_t vertexCount = 0, indexCount = 0;
    int status = 0;
    if (!solid || glyvaShapeText(font, "A", -1, NULL, &glyphs) != 1 ||
        !glyvaSolidBuild(solid, font, glyphs[0].glyphIndex, &options, &vertices, &vertexCount,
                         &indices, &indexCount) ||
        indexCount == 0 || indexCount % 3 != 0)
        status = 3;
    for (uint32_t i = 0; status == 0 && i < indexCount; ++i)
        status = indices[i] < vertexCount ? 0 : 4;
    if (status == 0)
        printf("solid consumer: %u vertices, %u triangles for A\n", vertexCount, indexCount / 3);
    glyvaSolidDestroy(solid);
    glyvaShapeClose(font);
    return status;
}
