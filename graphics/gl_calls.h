// The thin layer every GL call of the graphics subsystem goes through.
//
// Entry points come from libepoxy, which resolves each one for the current
// context on first use (GLX or EGL, compatibility or core profile), so the
// GL 1.1 calls and the GL 3.3 core ones share one table. Each wrapper counts its call in callCounts before calling GL: one
// increment of a global, nothing else, so release builds pay nothing worth
// measuring, while tests can count exactly which calls the driver made (the
// state caches promise that redundant changes issue none). Only the native
// files of this folder include this header.
#pragma once

#include <epoxy/gl.h>

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
    X(DrawArrays, glDrawArrays, (GLenum mode, GLint first, GLsizei count), (mode, first, count))                \
    X(Viewport, glViewport, (GLint x, GLint y, GLsizei w, GLsizei h), (x, y, w, h))                             \
    X(BlendFuncSeparate, glBlendFuncSeparate, (GLenum sc, GLenum dc, GLenum sa, GLenum da), (sc, dc, sa, da))    \
    X(ActiveTexture, glActiveTexture, (GLenum unit), (unit))                                                     \
    X(GenerateMipmap, glGenerateMipmap, (GLenum target), (target))                                               \
    X(GenBuffers, glGenBuffers, (GLsizei n, GLuint* names), (n, names))                                          \
    X(DeleteBuffers, glDeleteBuffers, (GLsizei n, const GLuint* names), (n, names))                              \
    X(BindBuffer, glBindBuffer, (GLenum target, GLuint name), (target, name))                                    \
    X(BufferData, glBufferData, (GLenum t, GLsizeiptr n, const void* p, GLenum u), (t, n, p, u))                 \
    X(BufferSubData, glBufferSubData, (GLenum t, GLintptr o, GLsizeiptr n, const void* p), (t, o, n, p))         \
    X(GenVertexArrays, glGenVertexArrays, (GLsizei n, GLuint* names), (n, names))                                \
    X(DeleteVertexArrays, glDeleteVertexArrays, (GLsizei n, const GLuint* names), (n, names))                    \
    X(BindVertexArray, glBindVertexArray, (GLuint name), (name))                                                 \
    X(EnableVertexAttribArray, glEnableVertexAttribArray, (GLuint i), (i))                                       \
    X(VertexAttribPointer, glVertexAttribPointer,                                                                \
      (GLuint i, GLint n, GLenum t, GLboolean norm, GLsizei s, const void* p), (i, n, t, norm, s, p))            \
    X(DrawElements, glDrawElements, (GLenum mode, GLsizei n, GLenum t, const void* p), (mode, n, t, p))          \
    X(CreateShader, glCreateShader, (GLenum kind), (kind))                                                       \
    X(DeleteShader, glDeleteShader, (GLuint s), (s))                                                             \
    X(ShaderSource, glShaderSource, (GLuint s, GLsizei n, const GLchar* const* t, const GLint* l), (s, n, t, l)) \
    X(CompileShader, glCompileShader, (GLuint s), (s))                                                           \
    X(GetShaderiv, glGetShaderiv, (GLuint s, GLenum p, GLint* v), (s, p, v))                                     \
    X(GetShaderInfoLog, glGetShaderInfoLog, (GLuint s, GLsizei n, GLsizei* l, GLchar* t), (s, n, l, t))          \
    X(CreateProgram, glCreateProgram, (), ())                                                                    \
    X(DeleteProgram, glDeleteProgram, (GLuint p), (p))                                                           \
    X(AttachShader, glAttachShader, (GLuint p, GLuint s), (p, s))                                                \
    X(BindAttribLocation, glBindAttribLocation, (GLuint p, GLuint i, const GLchar* n), (p, i, n))                \
    X(LinkProgram, glLinkProgram, (GLuint p), (p))                                                               \
    X(GetProgramiv, glGetProgramiv, (GLuint p, GLenum n, GLint* v), (p, n, v))                                   \
    X(GetProgramInfoLog, glGetProgramInfoLog, (GLuint p, GLsizei n, GLsizei* l, GLchar* t), (p, n, l, t))        \
    X(UseProgram, glUseProgram, (GLuint p), (p))                                                                 \
    X(GetUniformLocation, glGetUniformLocation, (GLuint p, const GLchar* n), (p, n))                             \
    X(Uniform1i, glUniform1i, (GLint l, GLint a), (l, a))                                                        \
    X(Uniform4i, glUniform4i, (GLint l, GLint a, GLint b, GLint c, GLint d), (l, a, b, c, d))                    \
    X(Uniform1f, glUniform1f, (GLint l, GLfloat a), (l, a))                                                      \
    X(Uniform2f, glUniform2f, (GLint l, GLfloat a, GLfloat b), (l, a, b))                                        \
    X(Uniform4f, glUniform4f, (GLint l, GLfloat a, GLfloat b, GLfloat c, GLfloat d), (l, a, b, c, d))            \
    X(Uniform1fv, glUniform1fv, (GLint l, GLsizei n, const GLfloat* v), (l, n, v))                               \
    X(Uniform2fv, glUniform2fv, (GLint l, GLsizei n, const GLfloat* v), (l, n, v))                               \
    X(Uniform3fv, glUniform3fv, (GLint l, GLsizei n, const GLfloat* v), (l, n, v))                               \
    X(Uniform4fv, glUniform4fv, (GLint l, GLsizei n, const GLfloat* v), (l, n, v))                               \
    X(UniformMatrix4fv, glUniformMatrix4fv, (GLint l, GLsizei n, GLboolean t, const GLfloat* v), (l, n, t, v))   \
    X(GenFramebuffers, glGenFramebuffers, (GLsizei n, GLuint* names), (n, names))                                \
    X(DeleteFramebuffers, glDeleteFramebuffers, (GLsizei n, const GLuint* names), (n, names))                    \
    X(BindFramebuffer, glBindFramebuffer, (GLenum target, GLuint name), (target, name))                          \
    X(FramebufferTexture2D, glFramebufferTexture2D, (GLenum t, GLenum a, GLenum tt, GLuint tex, GLint l),        \
      (t, a, tt, tex, l))                                                                                        \
    X(CheckFramebufferStatus, glCheckFramebufferStatus, (GLenum t), (t))                                         \
    X(GetTexImage, glGetTexImage, (GLenum t, GLint l, GLenum f, GLenum ty, void* p), (t, l, f, ty, p))           \
    X(UniformMatrix2fv, glUniformMatrix2fv, (GLint l, GLsizei n, GLboolean t, const GLfloat* v), (l, n, t, v))   \
    X(UniformMatrix3fv, glUniformMatrix3fv, (GLint l, GLsizei n, GLboolean t, const GLfloat* v), (l, n, t, v))

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
