// The abstract draw driver and image frame (every operation is abstract), and
// the current driver with the display modes it listed.
#include "korvagl/graphics/draw_driver.h"

#include "korvagl/app/last_error.h"
#include "korvagl/app/modules.h"
#include "korvagl/util/linked_list.h"

namespace korva {

void TImageFrame::Draw(float, float, float, float, float, float) { RaiseAbstractMethodFault(); }
Ref<TPixmap> TImageFrame::Lock(int32_t, int32_t) { RaiseAbstractMethodFault(); }
void TImageFrame::Unlock() { RaiseAbstractMethodFault(); }
void TImageFrame::SyncPixels() {}

void TDrawDriver::Graphics(int32_t, int32_t, int32_t, int32_t) { RaiseAbstractMethodFault(); }
void TDrawDriver::CloseGraphics() { RaiseAbstractMethodFault(); }
void TDrawDriver::Flip() { RaiseAbstractMethodFault(); }
void TDrawDriver::SetMouseVisible(int32_t) { RaiseAbstractMethodFault(); }
Ref<TImageFrame> TDrawDriver::CreateFrame(int32_t, int32_t, int32_t) { RaiseAbstractMethodFault(); }
Ref<TImageFrame> TDrawDriver::CreateFrameFromPixmap(const Ref<TPixmap>&, int32_t) { RaiseAbstractMethodFault(); }
void TDrawDriver::SetBlend(int32_t) { RaiseAbstractMethodFault(); }
void TDrawDriver::SetAlpha(float) { RaiseAbstractMethodFault(); }
void TDrawDriver::SetColor(int32_t, int32_t, int32_t) { RaiseAbstractMethodFault(); }
void TDrawDriver::SetClearRGB(int32_t, int32_t, int32_t) { RaiseAbstractMethodFault(); }
void TDrawDriver::SetViewport(int32_t, int32_t, int32_t, int32_t) { RaiseAbstractMethodFault(); }
void TDrawDriver::SetTransform(float, float, float, float) { RaiseAbstractMethodFault(); }
void TDrawDriver::SetLineWidth(float) { RaiseAbstractMethodFault(); }
void TDrawDriver::ClearBuffer() { RaiseAbstractMethodFault(); }
void TDrawDriver::PlotPixel(float, float) { RaiseAbstractMethodFault(); }
void TDrawDriver::DrawLine(float, float, float, float, float, float) { RaiseAbstractMethodFault(); }
void TDrawDriver::DrawRect(float, float, float, float, float, float) { RaiseAbstractMethodFault(); }
void TDrawDriver::DrawOval(float, float, float, float, float, float) { RaiseAbstractMethodFault(); }
void TDrawDriver::DrawPoly(const FloatArray&, float, float, float, float) { RaiseAbstractMethodFault(); }
void TDrawDriver::BlitPixmap(const Ref<TPixmap>&, int32_t, int32_t) { RaiseAbstractMethodFault(); }
Ref<TPixmap> TDrawDriver::ReadScreenPixmap(int32_t, int32_t, int32_t, int32_t) { RaiseAbstractMethodFault(); }

int32_t TDrawDriver::SetTarget(TImageFrame* frame) {
    if (!frame) return 1;
    detail::SetLastErrorText("this draw driver cannot draw into images");
    return 0;
}

void TDrawDriver::GetStats(int32_t& drawCalls, int32_t& textureSwitches, int32_t& shaderSwitches, int32_t& flushes) {
    drawCalls = textureSwitches = shaderSwitches = flushes = 0;
}

namespace {
Ref<TDrawDriver> currentDriver;
std::vector<Ref<TGraphicsMode>> modes;
}  // namespace

Ref<TDrawDriver>& CurrentDrawDriver() { return currentDriver; }
std::vector<Ref<TGraphicsMode>>& GraphicsModes() { return modes; }

int InitDrawDriver() {
    static int initialised = 0;
    if (initialised) return 0;
    initialised = 1;
    InitRuntime();
    InitPixmaps();
    InitLinkedList();
    detail::NoteModuleStarted("draw driver interface and image frames");
    return 0;
}

}  // namespace korva
