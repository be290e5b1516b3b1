// Render targets and shaders on a real Mesa context: target pixels top row
// first, the alpha rule, refusals, collisions with drawn pixels, shader
// builds, uniforms in order, and both across a display change.
#include <gtest/gtest.h>

#include "tests/graphics/gl_test_support.h"

namespace korva {
namespace {

using test::Near;
using test::PixelAt;

class TargetTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::UseOffscreenVideo();
        OpenGraphics(320, 240, 0, 0);
        SetClearColor(40, 80, 120);
        ClearScreen();
    }
    void TearDown() override { CloseGraphics(); }

    // Overlapping alpha rectangles, a light one and text: drawn at (x, y).
    static void Content(float x, float y) {
        SetBlendMode(BLEND_ALPHA);
        SetDrawColor(255, 0, 0);
        SetDrawAlpha(0.6f);
        DrawRect(x + 4, y + 4, 30, 20);
        SetDrawColor(0, 255, 64);
        SetDrawAlpha(0.3f);
        DrawRect(x + 20, y + 10, 30, 20);
        SetBlendMode(BLEND_LIGHT);
        SetDrawColor(0, 0, 200);
        SetDrawAlpha(0.5f);
        DrawRect(x + 10, y + 30, 20, 8);
        SetDrawAlpha(1);
        SetDrawColor(255, 255, 255);
        SetBlendMode(BLEND_ALPHA);
        DrawText("Ab", x + 30, y + 28);
    }
};

TEST_F(TargetTest, TargetsReadTopRowFirstAndComposeLikeDirectDrawing) {
    Ref<TImage> target = NewImage(64, 48, 1, 0);
    ASSERT_EQ(SetDrawTarget(target), 1);
    EXPECT_EQ(GetDrawTarget(), target);
    int32_t x, y, w, h;
    GetViewport(x, y, w, h);
    EXPECT_EQ(w * 1000 + h, 64048);  // the viewport is the whole image
    ClearScreen();  // to transparent (the clear colour's alpha is the target's)
    SetBlendMode(BLEND_SOLID);
    SetDrawColor(255, 0, 0);
    DrawRect(0, 0, 64, 1);  // the top row
    Ref<TPixmap> read = ReadScreenPixmap(0, 0, 64, 48);
    EXPECT_EQ(read->ReadPixel(10, 0), 0xFFFF0000u);
    EXPECT_EQ(read->ReadPixel(10, 1) & 0xFFFFFFu, 0x285078u);
    ClearScreen();
    Ref<TPixmap> clear = NewPixmap(64, 48, PIX_RGBA32);
    for (int i = 0; i < 64 * 48; ++i) clear->WritePixel(i % 64, i / 64, 0);
    BlitPixmap(clear, 0, 0);  // transparent black: the target holds nothing
    SetBlendMode(BLEND_ALPHA);
    Content(0, 0);
    // LockImagePixels reads what was drawn, top row first.
    Ref<TPixmap> pixels = LockImagePixels(target, 0, 1, 0);
    EXPECT_EQ(pixels->ReadPixel(40, 15), ReadScreenPixmap(40, 15, 1, 1)->ReadPixel(0, 0));
    EXPECT_EQ(pixels->ReadPixel(2, 2), 0u);
    UnlockImagePixels(target, 0);
    ASSERT_EQ(SetDrawTarget(nullptr), 1);
    GetViewport(x, y, w, h);
    EXPECT_EQ(w * 1000 + h, 320240);

    // The target drawn with BLEND_ALPHA gives what drawing directly gives.
    Content(10, 10);
    SetBlendMode(BLEND_ALPHA);
    SetDrawColor(255, 255, 255);
    DrawImageAt(target, 100, 10);
    Ref<TPixmap> direct = ReadScreenPixmap(10, 10, 64, 48);
    Ref<TPixmap> composed = ReadScreenPixmap(100, 10, 64, 48);
    for (int py = 0; py < 48; ++py) {
        for (int px = 0; px < 64; ++px) {
            const ARGB a = direct->ReadPixel(px, py), b = composed->ReadPixel(px, py);
            for (int shift = 0; shift < 24; shift += 8) {
                ASSERT_NEAR(static_cast<int>(a >> shift & 255), static_cast<int>(b >> shift & 255), 2)
                    << px << "," << py;
            }
        }
    }
    // Premultiplied blending of an image of its own: source plus what shows through.
    SetBlendMode(BLEND_PREMULTIPLIED);
    SetDrawColor(100, 0, 0);
    SetDrawAlpha(0.5f);
    DrawRect(200, 100, 10, 10);
    EXPECT_TRUE(Near(PixelAt(205, 105), 100 + 40 / 2, 80 / 2, 120 / 2));
}

TEST_F(TargetTest, RefusedTargetsSayWhy) {
    Ref<TImage> target = NewImage(16, 16, 2, 0);
    EXPECT_EQ(SetDrawTarget(LoadImageFile(NewPixmap(8, 8, PIX_RGBA32), 0)), 0);
    EXPECT_NE(LastErrorText().ToUtf8().find("NewImage"), std::string::npos);
    EXPECT_THROW(SetDrawTarget(target, 2), TArrayIndexFault);
    ASSERT_EQ(SetDrawTarget(target, 1), 1);
    SetBlendMode(BLEND_SOLID);
    SetDrawColor(0, 255, 0);
    DrawRect(0, 0, 16, 16);
    DrawImageAt(target, 0, 0, 1);  // into itself: refused, nothing drawn
    EXPECT_NE(LastErrorText().ToUtf8().find("into itself"), std::string::npos);
    DrawImageAt(target, 0, 0, 0);  // the other frame is fine
    EXPECT_EQ(ReadScreenPixmap(4, 4, 1, 1)->ReadPixel(0, 0), 0u);  // frame 0 is blank
    SetDrawTarget(nullptr);
    CloseGraphics();
    EXPECT_EQ(SetDrawTarget(target), 0);  // no display
    OpenGraphics(320, 240, 0, 0);
}

TEST_F(TargetTest, CollisionsTestTheDrawnPixels) {
    Ref<TImage> target = NewImage(32, 32, 1, 0);
    Ref<TImage> dot = NewImage(4, 4, 1, 0);  // solid everywhere
    ASSERT_EQ(SetDrawTarget(target), 1);
    SetBlendMode(BLEND_SOLID);
    SetDrawColor(255, 255, 255);
    DrawRect(0, 0, 16, 32);  // the left half solid, the right half transparent
    SetDrawTarget(nullptr);
    EXPECT_EQ(ImagesOverlap(target, 100, 100, 0, dot, 104, 110, 0), 1);
    EXPECT_EQ(ImagesOverlap(target, 100, 100, 0, dot, 120, 110, 0), 0);
    // Drawn again: the next test sees the new pixels.
    SetDrawTarget(target);
    DrawRect(16, 0, 16, 32);
    SetDrawTarget(nullptr);
    EXPECT_EQ(ImagesOverlap(target, 100, 100, 0, dot, 120, 110, 0), 1);
}

const char kTint[] = R"(
in vec2 vTexCoord;
in vec4 vColor;
uniform vec4 tint;
uniform sampler2D extra;
uniform vec2 korvaScreenSize;
out vec4 fragColor;
void main() {
    // The extra image is blank; korvaScreenSize is the display's 320.
    fragColor = tint + min(texture(extra, vec2(0.5)), vec4(0.0)) + vec4(0.0, 0.0, vColor.b, 0.0)
              + vec4(step(321.0, korvaScreenSize.x));
}
)";

TEST_F(TargetTest, ShadersBuildTakeUniformsInOrderAndSurviveDisplayChanges) {
    if (CurrentGLDriver() == GL_DRIVER_11) {
        EXPECT_FALSE(NewShader("", ""));
        EXPECT_NE(LastErrorText().ToUtf8().find("GL 3.3"), std::string::npos);
        EXPECT_EQ(SetDrawShader(nullptr), 1);
        return;
    }
    EXPECT_FALSE(NewShader("", "void main() { nonsense; }"));
    EXPECT_NE(LastErrorText().ToUtf8().find("fragment shader"), std::string::npos);
    EXPECT_FALSE(LoadShader("no/such.vert", ""));
    Ref<TShader> shader = NewShader("", kTint);
    ASSERT_TRUE(shader) << LastErrorText();
    EXPECT_EQ(SetShaderFloat(shader, "nowhere", 1), 0);
    ASSERT_EQ(SetDrawShader(shader), 1);
    SetBlendMode(BLEND_SOLID);
    SetDrawColor(0, 0, 0);
    SetShaderFloat(shader, "tint", 1, 0, 0, 1);
    DrawRect(0, 0, 10, 10);
    SetShaderFloat(shader, "tint", 0, 1, 0, 1);  // the draw before keeps red
    DrawRect(10, 0, 10, 10);
    SetDrawColor(0, 0, 255);  // the colour reaches the shader too
    DrawRect(20, 0, 10, 10);
    EXPECT_TRUE(Near(PixelAt(5, 5), 255, 0, 0, 0));
    EXPECT_TRUE(Near(PixelAt(15, 5), 0, 255, 0, 0));
    EXPECT_TRUE(Near(PixelAt(25, 5), 0, 255, 255, 0));
    Ref<TImage> target = NewImage(8, 8, 1, 0);
    EXPECT_EQ(SetShaderImage(shader, "extra", target, 0), 1);
    ASSERT_EQ(SetDrawTarget(target), 0);  // an image of the shader cannot be drawn into
    SetDrawShader(nullptr);
    DrawRect(30, 0, 10, 10);
    EXPECT_TRUE(Near(PixelAt(35, 5), 0, 0, 255, 0));

    CloseGraphics();
    OpenGraphics(200, 100, 0, 0);
    EXPECT_FALSE(GetDrawShader());  // a new display draws with the built-in program
    ASSERT_EQ(SetDrawShader(shader), 1);
    SetBlendMode(BLEND_SOLID);
    SetDrawColor(0, 0, 0);
    DrawRect(0, 0, 10, 10);
    EXPECT_TRUE(Near(PixelAt(5, 5), 0, 255, 0, 0));  // the uniform kept its value
}

}  // namespace
}  // namespace korva
