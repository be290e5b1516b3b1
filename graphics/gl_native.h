// The display's native layer over SDL2: the one display window and its GL
// context (sharing its objects with a hidden root context kept for the
// process), display modes, buffer swaps, the cursor and the debug-text lists.
// Only gl_native.cpp includes SDL.
#pragma once

#include <cstdint>
#include <string>

namespace korva::detail {

// Open flags (bit values).
inline constexpr int32_t kOpenFullScreen = 1;
inline constexpr int32_t kOpenBackBuffer = 2;
inline constexpr int32_t kOpenAlphaBuffer = 4;
inline constexpr int32_t kOpenDepthBuffer = 8;
inline constexpr int32_t kOpenStencilBuffer = 16;
inline constexpr int32_t kOpenAccumBuffer = 32;
// Asks for an OpenGL 3.3 core profile context; when the GL offers none the
// display gets a compatibility context instead (glCore tells which).
inline constexpr int32_t kOpenCoreProfile = 64;

// Closes whatever is open, then opens a window of width x height with a GL
// context current on it: full screen ("KorvaGL Application", the display
// switched to the listed width x height mode, retried without the refresh
// rate) with flag 1, otherwise a captioned window ("KorvaGL Window") whose
// client area is exactly width x height; SetGLWindowTitle replaces both
// titles. 1 on success, 0 when SDL's video (no display named in the
// environment included), the window or the context cannot be made (nothing
// is then open; LastErrorText says why, in SDL's words where SDL gave some).
int32_t OpenGLGraphics(int32_t width, int32_t height, int32_t depth, int32_t hertz, int32_t flags);
// The title (UTF-8) of the window now open and of every later one.
void SetGLWindowTitle(const std::string& utf8);
// Destroys the display's context and window; the display mode goes back to
// the desktop's. The objects it shared (textures, display lists) live on in
// the root context. Nothing happens when nothing is open. Also runs at
// process exit, which then also ends the root context.
void CloseGLGraphics();
// Writes width, height, bits per pixel and refresh rate of each display mode
// of the primary display with more than 15 bits per pixel (16 bytes a mode)
// while `bytes` allows; returns the number of modes written. Starts SDL's
// video when a display is configured; 0 modes without one.
int32_t EnumGLModes(int32_t* buffer, int32_t bytes);
// 1 when the GL accepted the swap interval, else 0 (also when nothing is open).
int32_t SetSwapInterval(int32_t interval);
void SwapGLBuffers();
void ShowGLCursor(int32_t show);
// First of 512 display lists drawing the 8x16 font with glBitmap (8 pixels
// advance each), the second 256 for surfaces whose top row is GL's row 0;
// built once per set of GL objects (see glGeneration); 0 when nothing is open.
uint32_t GetTextLists();

// True while a window and context exist. Every GL call of the subsystem
// happens only then.
extern bool glOpen;
// True while the open display's context is a 3.3 core profile one.
extern bool glCore;
// Moves on with every display context made: objects that contexts do not
// share (framebuffers, vertex arrays) belong to one serial.
extern uint32_t glContextSerial;
// Names the set of GL objects (textures, display lists) the current display
// reaches. Every display shares the objects of one root context kept for the
// whole process, so this stays the same across display changes; it moves on
// only when a display's context could not share them (objects of the earlier
// set are then out of reach and must not be used or deleted).
extern uint32_t glGeneration;

}  // namespace korva::detail
