// The GL 3.3 core driver and the choice between it and the GL 1.1 driver.
// Everything but opening the display and pixmap blits is shared with the
// GL 1.1 driver; the core pipeline (gl33_pipeline.cpp) does the rest.
#include "korvagl/graphics/gl33_draw_driver.h"

#include <cstdlib>
#include <cstring>

#include "graphics/gl33_pipeline.h"
#include "graphics/gl_native.h"
#include "graphics/gl_state.h"
#include "korvagl/app/last_error.h"

namespace korva {
namespace {

// Both drivers live for the whole process; CurrentDrawDriver() is one of them.
Ref<TGLDrawDriver> gl11Driver;
Ref<TGL33DrawDriver> gl33Driver;
int32_t chosen = GL_DRIVER_AUTO;

void MakeChosenCurrent() {
    if (chosen == GL_DRIVER_11) {
        CurrentDrawDriver() = gl11Driver;
    } else {
        CurrentDrawDriver() = gl33Driver;
    }
}

}  // namespace

namespace detail {

void UseDriverOfContext() {
    if (!gl11Driver) return;  // a driver made by hand: it stays
    TDrawDriver* current = CurrentDrawDriver().Get();
    if (current != gl11Driver.Get() && current != gl33Driver.Get()) return;
    if (glCore) {
        CurrentDrawDriver() = gl33Driver;
    } else {
        CurrentDrawDriver() = gl11Driver;
    }
}

void InstallGLDrivers() {
    gl11Driver = New<TGLDrawDriver>();
    gl33Driver = New<TGL33DrawDriver>();
    // KORVAGL_GL=1.1 asks for the GL 1.1 driver (a later ChooseGLDriver wins).
    const char* wanted = std::getenv("KORVAGL_GL");
    if (wanted && std::strcmp(wanted, "1.1") == 0) chosen = GL_DRIVER_11;
    MakeChosenCurrent();
}

}  // namespace detail

void TGL33DrawDriver::Graphics(int32_t width, int32_t height, int32_t depth, int32_t hertz) {
    OpenDisplay(width, height, depth, hertz, true);
}

void TGL33DrawDriver::BlitPixmap(const Ref<TPixmap>& pixmap, int32_t x, int32_t y) {
    if (!detail::glOpen) return;
    if (!detail::glCore) {
        TGLDrawDriver::BlitPixmap(pixmap, x, y);
        return;
    }
    const Ref<TPixmap> rows = detail::RGBARows(pixmap);
    if (rows->width <= 0 || rows->height <= 0) return;
    detail::BlitCorePixmap(rows, x, y);
}

int32_t ChooseGLDriver(int32_t driver) {
    if (driver != GL_DRIVER_AUTO && driver != GL_DRIVER_11 && driver != GL_DRIVER_33) {
        detail::SetLastErrorText("no GL driver " + IntToString(driver) + " (0, 11 or 33)");
        return 0;
    }
    if (detail::glOpen) {
        detail::SetLastErrorText("the GL driver cannot change while a display is open");
        return 0;
    }
    chosen = driver;
    if (gl11Driver) MakeChosenCurrent();
    return 1;
}

int32_t CurrentGLDriver() {
    if (!detail::glOpen) return 0;
    return detail::glCore ? GL_DRIVER_33 : GL_DRIVER_11;
}

}  // namespace korva
