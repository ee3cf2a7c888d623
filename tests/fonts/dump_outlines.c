/* Print what FreeType reports for every fixture font, so the expectations in
 * the tests can be checked against the library Glyva actually sits on rather
 * than against what the font generator intended.
 *
 * Build and run from the repository root:
 *
 *   cc -std=c99 -Wall -o /tmp/dump_outlines tests/fonts/dump_outlines.c \
 *      $(pkg-config --cflags --libs freetype2)
 *   /tmp/dump_outlines tests/fonts > tests/fonts/freetype_dump.txt
 *
 * Every face is opened with FT_New_Memory_Face and sized with
 * FT_Set_Char_Size(face, 0, 640, 72, 72) (640 26.6 units = 10 px per em),
 * and every glyph is loaded with FT_LOAD_NO_HINTING, the same way Glyva
 * does.  Coordinates are printed in 26.6 units.
 */

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

/* FreeType is usually built without FT_Error_String support, so build the
 * error-message table from fterrors.h ourselves. */
#undef FTERRORS_H_
#define FT_ERROR_START_LIST                                                                        \
    static const struct {                                                                          \
        int code;                                                                                  \
        const char *msg;                                                                           \
    } ft_errors[] = {
#define FT_ERRORDEF(e, v, s) {v, s},
#define FT_ERROR_END_LIST                                                                          \
    {                                                                                              \
        0, NULL                                                                                    \
    }                                                                                              \
    }                                                                                              \
    ;
#include FT_ERRORS_H

static const char *error_text(FT_Error err)
{
    for (int i = 0; ft_errors[i].msg; i++)
        if (ft_errors[i].code == err)
            return ft_errors[i].msg;
    return "unknown error";
}

static void print_error(const char *what, FT_Error err)
{
    if (err)
        printf("%s: error 0x%02X (%s)\n", what, err, error_text(err));
    else
        printf("%s: ok\n", what);
}

static const char *encoding_name(FT_Encoding e)
{
    switch (e) {
    case FT_ENCODING_NONE:
        return "NONE";
    case FT_ENCODING_UNICODE:
        return "UNICODE";
    case FT_ENCODING_MS_SYMBOL:
        return "MS_SYMBOL";
    case FT_ENCODING_APPLE_ROMAN:
        return "APPLE_ROMAN";
    case FT_ENCODING_ADOBE_STANDARD:
        return "ADOBE_STANDARD";
    case FT_ENCODING_ADOBE_EXPERT:
        return "ADOBE_EXPERT";
    case FT_ENCODING_ADOBE_CUSTOM:
        return "ADOBE_CUSTOM";
    case FT_ENCODING_ADOBE_LATIN_1:
        return "ADOBE_LATIN_1";
    default:
        return "other";
    }
}

/* ---- outline decomposition, to show the segments FreeType hands out ---- */

static int dec_move(const FT_Vector *to, void *user)
{
    (void)user;
    printf("      move  (%ld,%ld)\n", to->x, to->y);
    return 0;
}

static int dec_line(const FT_Vector *to, void *user)
{
    (void)user;
    printf("      line  (%ld,%ld)\n", to->x, to->y);
    return 0;
}

static int dec_conic(const FT_Vector *c, const FT_Vector *to, void *user)
{
    (void)user;
    printf("      conic (%ld,%ld) (%ld,%ld)\n", c->x, c->y, to->x, to->y);
    return 0;
}

static int dec_cubic(const FT_Vector *c1, const FT_Vector *c2, const FT_Vector *to, void *user)
{
    (void)user;
    printf("      cubic (%ld,%ld) (%ld,%ld) (%ld,%ld)\n", c1->x, c1->y, c2->x, c2->y, to->x, to->y);
    return 0;
}

static const char *tag_name(char tag)
{
    switch (FT_CURVE_TAG(tag)) {
    case FT_CURVE_TAG_ON:
        return "on";
    case FT_CURVE_TAG_CONIC:
        return "conic";
    case FT_CURVE_TAG_CUBIC:
        return "cubic";
    default:
        return "?";
    }
}

static void dump_glyph(FT_Face face, unsigned long code)
{
    FT_UInt gid = FT_Get_Char_Index(face, code);
    printf("  char U+%04lX: glyph index %u\n", code, gid);
    if (gid == 0)
        return;
    FT_Error err = FT_Load_Glyph(face, gid, FT_LOAD_NO_HINTING);
    if (err) {
        printf("    FT_Load_Glyph: error 0x%02X (%s)\n", err, error_text(err));
        return;
    }
    FT_GlyphSlot g = face->glyph;
    FT_Outline *o = &g->outline;
    printf("    FT_Load_Glyph: ok; format %s; advance.x %ld; "
           "linearHoriAdvance %ld (16.16)\n",
           g->format == FT_GLYPH_FORMAT_OUTLINE ? "OUTLINE" : "not outline", g->advance.x,
           (long)g->linearHoriAdvance);
    if (g->format != FT_GLYPH_FORMAT_OUTLINE)
        return;
    printf("    n_contours %d, n_points %d, flags 0x%X%s%s%s%s\n", o->n_contours, o->n_points,
           o->flags, (o->flags & FT_OUTLINE_EVEN_ODD_FILL) ? " EVEN_ODD_FILL" : "",
           (o->flags & FT_OUTLINE_REVERSE_FILL) ? " REVERSE_FILL" : "",
           (o->flags & FT_OUTLINE_OVERLAP) ? " OVERLAP" : "",
           (o->flags & FT_OUTLINE_HIGH_PRECISION) ? " HIGH_PRECISION" : "");
    printf("    contour ends:");
    for (int c = 0; c < o->n_contours; c++)
        printf(" %d", o->contours[c]);
    printf("\n");
    for (int i = 0; i < o->n_points; i++)
        printf("    pt %2d (%ld,%ld) %s\n", i, o->points[i].x, o->points[i].y,
               tag_name(o->tags[i]));
    static const FT_Outline_Funcs funcs = {dec_move, dec_line, dec_conic, dec_cubic, 0, 0};
    printf("    FT_Outline_Decompose:\n");
    err = FT_Outline_Decompose(o, &funcs, NULL);
    if (err)
        printf("      error 0x%02X (%s)\n", err, error_text(err));
    FT_Orientation orient = FT_Outline_Get_Orientation(o);
    printf("    FT_Outline_Get_Orientation: %s\n",
           orient == FT_ORIENTATION_TRUETYPE     ? "TRUETYPE (clockwise)"
           : orient == FT_ORIENTATION_POSTSCRIPT ? "POSTSCRIPT (counter-clockwise)"
                                                 : "NONE");
}

static void dump_kerning(FT_Face face, unsigned long left, unsigned long right)
{
    FT_UInt l = FT_Get_Char_Index(face, left), r = FT_Get_Char_Index(face, right);
    FT_Vector def, unfitted, unscaled;
    FT_Error e1 = FT_Get_Kerning(face, l, r, FT_KERNING_DEFAULT, &def);
    FT_Error e2 = FT_Get_Kerning(face, l, r, FT_KERNING_UNFITTED, &unfitted);
    FT_Error e3 = FT_Get_Kerning(face, l, r, FT_KERNING_UNSCALED, &unscaled);
    printf("  kern '%c' '%c' (glyphs %u,%u): DEFAULT %ld (err %d), "
           "UNFITTED %ld (err %d), UNSCALED %ld font units (err %d)\n",
           (int)left, (int)right, l, r, def.x, e1, unfitted.x, e2, unscaled.x, e3);
}

struct fixture {
    const char *file;
    const char *chars;      /* characters to dump, NUL-terminated */
    const char *kern;       /* kerning pairs, two characters each */
    unsigned long extra[4]; /* further (non-ASCII) character codes, 0-ended */
};

static const struct fixture fixtures[] = {
    {"fixtures.ttf", " ABCDEFGHIVWZ", "AVAWVAWABBAAVV", {0}},
    {"cubic.otf", " AOS", "AO", {0}},
    {"nokern.ttf", " A", "AA", {0}},
    {"symbol-only.ttf", " A", "", {0xF020, 0xF041, 0}},
    {"macroman-only.ttf", " A", "", {0}},
    {"malformed.ttf", " ABC", "", {0}},
    {"truncated.ttf", " ABCDEFGHIVW", "AV", {0}},
    {"truncated-header.ttf", " A", "", {0}},
    {"variable.ttf", " A", "", {0}},
    {"collection.ttc", " A", "", {0}},
};

static unsigned char *read_file(const char *path, long *size)
{
    FILE *f = fopen(path, "rb");
    if (!f)
        return NULL;
    fseek(f, 0, SEEK_END);
    *size = ftell(f);
    fseek(f, 0, SEEK_SET);
    unsigned char *buf = malloc(*size ? *size : 1);
    if (buf && fread(buf, 1, *size, f) != (size_t)*size) {
        free(buf);
        buf = NULL;
    }
    fclose(f);
    return buf;
}

static void dump_charmaps(FT_Face face)
{
    printf("num_charmaps %d\n", face->num_charmaps);
    for (int i = 0; i < face->num_charmaps; i++) {
        FT_CharMap cm = face->charmaps[i];
        printf("  charmap %d: platform %u encoding_id %u -> FT_ENCODING_%s\n", i, cm->platform_id,
               cm->encoding_id, encoding_name(cm->encoding));
    }
    if (face->charmap)
        printf("selected charmap after open: platform %u encoding_id %u "
               "(FT_ENCODING_%s)\n",
               face->charmap->platform_id, face->charmap->encoding_id,
               encoding_name(face->charmap->encoding));
    else
        printf("selected charmap after open: NULL\n");
}

static void dump_font(FT_Library lib, const char *dir, const struct fixture *fx)
{
    char path[4096];
    snprintf(path, sizeof path, "%s/%s", dir, fx->file);
    printf("==== %s\n", fx->file);
    long size = 0;
    unsigned char *data = read_file(path, &size);
    if (!data) {
        printf("cannot read file\n\n");
        return;
    }
    printf("file size %ld bytes\n", size);
    FT_Face face;
    FT_Error err = FT_New_Memory_Face(lib, data, size, 0, &face);
    print_error("FT_New_Memory_Face", err);
    if (err) {
        free(data);
        printf("\n");
        return;
    }
    printf("num_glyphs %ld, units_per_EM %u, face_flags 0x%lX\n", face->num_glyphs,
           face->units_per_EM, face->face_flags);
    printf("FT_FACE_FLAG_SCALABLE %d, FT_FACE_FLAG_SFNT %d, "
           "FT_FACE_FLAG_KERNING %d (FT_HAS_KERNING %d)\n",
           !!(face->face_flags & FT_FACE_FLAG_SCALABLE), !!(face->face_flags & FT_FACE_FLAG_SFNT),
           !!(face->face_flags & FT_FACE_FLAG_KERNING), !!FT_HAS_KERNING(face));
    dump_charmaps(face);

    err = FT_Set_Char_Size(face, 0, 640, 72, 72);
    print_error("FT_Set_Char_Size(0, 640, 72, 72)", err);
    if (!err)
        printf("size: x_ppem %u, y_ppem %u, x_scale 0x%lX, y_scale 0x%lX\n",
               face->size->metrics.x_ppem, face->size->metrics.y_ppem, face->size->metrics.x_scale,
               face->size->metrics.y_scale);

    for (const char *c = fx->chars; *c; c++)
        dump_glyph(face, (unsigned char)*c);
    for (int i = 0; fx->extra[i]; i++)
        dump_glyph(face, fx->extra[i]);
    for (const char *k = fx->kern; k[0] && k[1]; k += 2)
        dump_kerning(face, (unsigned char)k[0], (unsigned char)k[1]);

    /* Fonts without a Unicode cmap: show what explicit selection does. */
    if (!face->charmap || face->charmap->encoding != FT_ENCODING_UNICODE) {
        static const FT_Encoding tries[] = {FT_ENCODING_UNICODE, FT_ENCODING_MS_SYMBOL,
                                            FT_ENCODING_APPLE_ROMAN};
        for (size_t i = 0; i < sizeof tries / sizeof tries[0]; i++) {
            err = FT_Select_Charmap(face, tries[i]);
            printf("FT_Select_Charmap(FT_ENCODING_%s): ", encoding_name(tries[i]));
            if (err) {
                printf("error 0x%02X (%s)\n", err, error_text(err));
                continue;
            }
            printf("ok; index of 0x41 = %u, of 0xF041 = %u\n", FT_Get_Char_Index(face, 0x41),
                   FT_Get_Char_Index(face, 0xF041));
        }
    }

    FT_Done_Face(face);
    free(data);
    printf("\n");
}

int main(int argc, char **argv)
{
    const char *dir = argc > 1 ? argv[1] : ".";
    FT_Library lib;
    if (FT_Init_FreeType(&lib)) {
        fprintf(stderr, "FT_Init_FreeType failed\n");
        return 1;
    }
    FT_Int major, minor, patch;
    FT_Library_Version(lib, &major, &minor, &patch);
    printf("FreeType %d.%d.%d; loads use FT_LOAD_NO_HINTING at "
           "FT_Set_Char_Size(face, 0, 640, 72, 72); coordinates in 26.6\n\n",
           major, minor, patch);
    for (size_t i = 0; i < sizeof fixtures / sizeof fixtures[0]; i++)
        dump_font(lib, dir, &fixtures[i]);
    FT_Done_FreeType(lib);
    return 0;
}
