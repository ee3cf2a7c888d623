/* Definitions of every GL function libftgl imports (nm -D --undefined-only), exported
 * by the benchmark executable so that they are bound before libGL's: vertex calls are
 * recorded, everything else does nothing. FTGL then meshes without a GL context and
 * without driver time in the measurement. */
#include <GL/gl.h>
#include <string.h>

#include "glRecorder.hh"

namespace bench
{
GlRecorder &glRecorder()
{
    static GlRecorder recorder;
    return recorder;
}
} // namespace bench

namespace
{
bench::GlRecorder &rec = bench::glRecorder();

inline void vertex(GLfloat x, GLfloat y, GLfloat z)
{
    rec.vertices.push_back(x);
    rec.vertices.push_back(y);
    rec.vertices.push_back(z);
    ++rec.vertexCalls;
}
} // namespace

extern "C" {

void glBegin(GLenum mode)
{
    rec.mode = mode;
    rec.first = rec.vertices.size() / 3;
    rec.open = true;
    ++rec.beginCalls;
}

void glEnd(void)
{
    if (!rec.open)
        return;
    rec.open = false;
    size_t end = rec.vertices.size() / 3;
    if (rec.mode != GL_TRIANGLES && rec.mode != GL_TRIANGLE_STRIP && rec.mode != GL_TRIANGLE_FAN)
        ++rec.otherPrimitives;
    rec.primitives.push_back({rec.mode, rec.first, end - rec.first});
}

void glVertex2f(GLfloat x, GLfloat y)
{
    vertex(x, y, 0.0f);
}
void glVertex3f(GLfloat x, GLfloat y, GLfloat z)
{
    vertex(x, y, z);
}

void glTexCoord2f(GLfloat, GLfloat) {}
void glNormal3d(GLdouble, GLdouble, GLdouble) {}
void glNormal3dv(const GLdouble *) {}
void glNormal3f(GLfloat, GLfloat, GLfloat) {}
void glTranslatef(GLfloat, GLfloat, GLfloat) {}

void glBindTexture(GLenum, GLuint) {}
void glBitmap(GLsizei, GLsizei, GLfloat, GLfloat, GLfloat, GLfloat, const GLubyte *) {}
void glBlendFunc(GLenum, GLenum) {}
void glCallList(GLuint) {}
void glDeleteLists(GLuint, GLsizei) {}
void glDeleteTextures(GLsizei, const GLuint *) {}
void glDisable(GLenum) {}
void glDrawPixels(GLsizei, GLsizei, GLenum, GLenum, const GLvoid *) {}
void glEnable(GLenum) {}
void glEndList(void) {}
GLuint glGenLists(GLsizei)
{
    return 0;
} /* 0: no list, so nothing is deferred to one */
void glGenTextures(GLsizei n, GLuint *textures)
{
    for (GLsizei i = 0; i < n; ++i)
        textures[i] = static_cast<GLuint>(i + 1);
}

/* Queries answer zeros (identity for matrices); only the sizes GL defines for each
 * name are written. */
static int valuesOf(GLenum name)
{
    switch (name) {
    case GL_MODELVIEW_MATRIX:
    case GL_PROJECTION_MATRIX:
    case GL_TEXTURE_MATRIX:
        return 16;
    case GL_CURRENT_RASTER_POSITION:
    case GL_CURRENT_COLOR:
    case GL_VIEWPORT:
        return 4;
    default:
        return 1;
    }
}
void glGetFloatv(GLenum name, GLfloat *params)
{
    int n = valuesOf(name);
    memset(params, 0, sizeof(GLfloat) * n);
    if (n == 16)
        params[0] = params[5] = params[10] = params[15] = 1.0f;
}
void glGetIntegerv(GLenum name, GLint *params)
{
    int n = valuesOf(name);
    memset(params, 0, sizeof(GLint) * n);
    if (name == GL_MAX_TEXTURE_SIZE)
        params[0] = 4096;
}
void glGetTexLevelParameteriv(GLenum, GLint, GLenum, GLint *params)
{
    params[0] = 0;
}
void glHint(GLenum, GLenum) {}
void glNewList(GLuint, GLenum) {}
void glPixelStorei(GLenum, GLint) {}
void glPixelTransferf(GLenum, GLfloat) {}
void glPolygonMode(GLenum, GLenum) {}
void glPopAttrib(void) {}
void glPopClientAttrib(void) {}
void glPushAttrib(GLbitfield) {}
void glPushClientAttrib(GLbitfield) {}
void glTexEnvi(GLenum, GLenum, GLint) {}
void glTexImage2D(GLenum, GLint, GLint, GLsizei, GLsizei, GLint, GLenum, GLenum, const GLvoid *) {}
void glTexParameteri(GLenum, GLenum, GLint) {}
void glTexSubImage2D(GLenum, GLint, GLint, GLint, GLsizei, GLsizei, GLenum, GLenum, const GLvoid *)
{
}

} // extern "C"
