// The thin layer every GL call of the graphics subsystem goes through.
//
// Each wrapper counts its call in callCounts before calling GL: one
// increment of a global, nothing else, so release builds pay nothing worth
// measuring, while tests can count exactly which calls the driver made (the
// state caches promise that redundant changes issue none). Only the native
// files of this folder include this header.
#pragma once

#include <GL/gl.h>

#include <cstdint>

namespace korva::detail::gl {

// X(name, GL entry point, parameters, arguments)
#define KORVAGL_GL_CALLS(X)                                                                                      \
    X(Begin, glBegin, (GLenum mode), (mode))                                                                     \
    X(End, glEnd, (), ())                                                                                        \
    X(Vertex2f, glVertex2f, (GLfloat x, GLfloat y), (x, y))                                                      \
    X(TexCoord2f, glTexCoord2f, (GLfloat s, GLfloat t), (s, t))                                                  \
    X(Color4ub, glColor4ub, (GLubyte r, GLubyte g, GLubyte b, GLubyte a), (r, g, b, a))                          \
    X(BindTexture, glBindTexture, (GLenum target, GLuint name), (target, name))                                  \
    X(Enable, glEnable, (GLenum cap), (cap))                                                                     \
    X(Disable, glDisable, (GLenum cap), (cap))                                                                   \
    X(BlendFunc, glBlendFunc, (GLenum s, GLenum d), (s, d))                                                      \
    X(AlphaFunc, glAlphaFunc, (GLenum f, GLclampf ref), (f, ref))                                                \
    X(ClearColor, glClearColor, (GLclampf r, GLclampf g, GLclampf b, GLclampf a), (r, g, b, a))                  \
    X(Clear, glClear, (GLbitfield mask), (mask))                                                                 \
    X(Scissor, glScissor, (GLint x, GLint y, GLsizei w, GLsizei h), (x, y, w, h))                                \
    X(LineWidth, glLineWidth, (GLfloat w), (w))                                                                  \
    X(GenTextures, glGenTextures, (GLsizei n, GLuint* names), (n, names))                                        \
    X(DeleteTextures, glDeleteTextures, (GLsizei n, const GLuint* names), (n, names))                            \
    X(TexParameteri, glTexParameteri, (GLenum t, GLenum p, GLint v), (t, p, v))                                  \
    X(TexImage2D, glTexImage2D,                                                                                  \
      (GLenum t, GLint l, GLint i, GLsizei w, GLsizei h, GLint b, GLenum f, GLenum ty, const void* p),           \
      (t, l, i, w, h, b, f, ty, p))                                                                              \
    X(TexSubImage2D, glTexSubImage2D,                                                                            \
      (GLenum t, GLint l, GLint x, GLint y, GLsizei w, GLsizei h, GLenum f, GLenum ty, const void* p),           \
      (t, l, x, y, w, h, f, ty, p))                                                                              \
    X(PixelStorei, glPixelStorei, (GLenum p, GLint v), (p, v))                                                   \
    X(GetIntegerv, glGetIntegerv, (GLenum p, GLint* v), (p, v))                                                  \
    X(GetTexLevelParameteriv, glGetTexLevelParameteriv, (GLenum t, GLint l, GLenum p, GLint* v), (t, l, p, v))   \
    X(MatrixMode, glMatrixMode, (GLenum m), (m))                                                                 \
    X(LoadIdentity, glLoadIdentity, (), ())                                                                      \
    X(Ortho, glOrtho, (GLdouble l, GLdouble r, GLdouble b, GLdouble t, GLdouble n, GLdouble f),                  \
      (l, r, b, t, n, f))                                                                                        \
    X(PushMatrix, glPushMatrix, (), ())                                                                          \
    X(PopMatrix, glPopMatrix, (), ())                                                                            \
    X(RasterPos2i, glRasterPos2i, (GLint x, GLint y), (x, y))                                                    \
    X(Bitmap, glBitmap,                                                                                          \
      (GLsizei w, GLsizei h, GLfloat xo, GLfloat yo, GLfloat xm, GLfloat ym, const GLubyte* b),                  \
      (w, h, xo, yo, xm, ym, b))                                                                                 \
    X(DrawPixels, glDrawPixels, (GLsizei w, GLsizei h, GLenum f, GLenum t, const void* p), (w, h, f, t, p))      \
    X(ReadPixels, glReadPixels, (GLint x, GLint y, GLsizei w, GLsizei h, GLenum f, GLenum t, void* p),           \
      (x, y, w, h, f, t, p))                                                                                     \
    X(GenLists, glGenLists, (GLsizei n), (n))                                                                    \
    X(NewList, glNewList, (GLuint l, GLenum m), (l, m))                                                          \
    X(EndList, glEndList, (), ())                                                                                \
    X(CallList, glCallList, (GLuint l), (l))                                                                     \
    X(DeleteLists, glDeleteLists, (GLuint l, GLsizei n), (l, n))                                                 \
    X(EnableClientState, glEnableClientState, (GLenum a), (a))                                                   \
    X(VertexPointer, glVertexPointer, (GLint n, GLenum t, GLsizei s, const void* p), (n, t, s, p))               \
    X(TexCoordPointer, glTexCoordPointer, (GLint n, GLenum t, GLsizei s, const void* p), (n, t, s, p))           \
    X(ColorPointer, glColorPointer, (GLint n, GLenum t, GLsizei s, const void* p), (n, t, s, p))                 \
    X(DrawArrays, glDrawArrays, (GLenum mode, GLint first, GLsizei count), (mode, first, count))

enum Fn {
#define KORVAGL_GL_ENUM(name, entry, params, args) k##name,
    KORVAGL_GL_CALLS(KORVAGL_GL_ENUM)
#undef KORVAGL_GL_ENUM
    kFnCount
};

// Calls made so far, per entry point. Tests reset and read it.
extern uint32_t callCounts[kFnCount];
// All calls made so far.
uint64_t TotalCalls();
void ResetCallCounts();

#define KORVAGL_GL_WRAP(name, entry, params, args) \
    inline auto name params {                      \
        ++callCounts[k##name];                     \
        return entry args;                         \
    }
KORVAGL_GL_CALLS(KORVAGL_GL_WRAP)
#undef KORVAGL_GL_WRAP

}  // namespace korva::detail::gl
