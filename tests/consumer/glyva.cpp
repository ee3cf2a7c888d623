// A host of libGlyva that knows only the installed headers and the pkg-config or CMake
// package.
#include <cstdio>

#include "Skrib/GlyvaInterface.h"
#include "glyph/Tesselator.h"
#include "util/plyxUtil.h"

int main(int argc, char **argv)
{
    if (argc < 2)
        return 2;
    tavixInternalFontData *font = OpenFont(argv[1]);
    glyphInfoRecord info;
    if (!font || !GetGlyphInfo(&info, font, 'A'))
        return 3;
    float *vertices = nullptr;
    int32_t *indices = nullptr;
    int32_t nv = GetGlyphVertices(&vertices, font, 'A');
    int32_t ni = GetGlyphTriangleIndices(&indices, font, 'A');
    ClearGlyphData(font, 'A');
    CloseFont(font);
    if (nv <= 0 || ni <= 0 || ni % 3 != 0 || GetMaxAdvanceX(nullptr) != 0.0f)
        return 4;

    Tesselator tess(100130.0f, 3);
    const float square[4][3] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
    tess.BeginContour();
    for (const float *v : square)
        tess.Vertex(v);
    tess.EndContour();
    tessInfo *result = tess.Finish();
    if (result->vertices.count != 4 || result->indices.count != 6 || result->error != 0)
        return 5;
    std::printf("consumer: %d vertices, %d indices for A; square in 2 triangles\n", nv, ni);
    return 0;
}
