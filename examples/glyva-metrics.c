/* Opens a font as a host would and prints what the font API says about it. */
#include <stdio.h>

#include "Skrib/GlyvaInterface.h"

int main(int argc, char **argv)
{
    const char *path = argc > 1 ? argv[1] : "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
    struct tavixInternalFontData *font = OpenFont(path);
    if (!font) {
        fprintf(stderr, "glyva-metrics: cannot open %s\n", path);
        return 2;
    }
    glyphInfoRecord info;
    if (!GetGlyphInfo(&info, font, 'A')) {
        fprintf(stderr, "glyva-metrics: %s: no usable glyphs\n", path);
        CloseFont(font);
        return 2;
    }
    float bounds[4];
    GetFontBounds(bounds, font);
    printf("%s\n", GetDescription());
    printf("font        %s\n", path);
    printf("ascender    %g em\n", GetAscender(font));
    printf("descender   %g em\n", GetDescender(font));
    printf("max advance %g (font units / 640)\n", GetMaxAdvanceX(font));
    printf("bounds      x %g .. %g, y %g .. %g (font units / 640)\n", bounds[0], bounds[1],
           bounds[2], bounds[3]);
    printf("quality     %d\n", (int)GetQuality(font));
    printf("'A'         advance %g em, %d contours\n", info.horiAdvance, (int)info.contourCount);
    CloseFont(font);
    return 0;
}
