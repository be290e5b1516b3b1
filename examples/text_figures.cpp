// Draws the pictures of docs/text.md: `text_figures DIR` writes
// shaping.png, kerning.png, fallback.png and paragraphs.png into DIR, each
// the plain path above and the shaped path (or a variant) below.
#include <korvagl/korvagl.h>

#include <cstdio>
#include <string>

using namespace korva;

namespace {

const std::string kNoto = "/usr/share/fonts/truetype/noto/";
const std::string kDejaVu = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";

void Begin() {
    SetClearColor(250, 248, 240);
    ClearScreen();
    SetBlendMode(BLEND_ALPHA);
    SetTextBlendMode(BLEND_ALPHA);
}

void Caption(const Ref<TImageFont>& font, const char* text, float x, float y) {
    SetDrawFont(font);
    SetDrawColor(120, 110, 100);
    DrawText(text, x, y);
    SetDrawColor(20, 20, 30);
}

bool Save(const std::string& dir, const char* name) {
    const bool saved = SaveScreenshot(String(dir + "/" + name)) != 0;
    if (!saved) std::printf("%s: %s\n", name, LastErrorText().ToUtf8().c_str());
    FlipFrame();
    return saved;
}

}  // namespace

int main(int argc, char** argv) {
    return RunApplication(argc, argv, [] {
        const std::vector<String>& args = ProgramArgs();
        if (args.size() < 2) {
            std::printf("usage: text_figures DIR\n");
            return 1;
        }
        const std::string dir = args[1].ToUtf8();
        OpenGraphics(640, 240, 0, 0);
        const Ref<TImageFont> small = OpenImageFont(String(kDejaVu), 13);
        const Ref<TImageFont> latin = OpenImageFont(String(kNoto + "NotoSans-Regular.ttf"), 28);
        const Ref<TImageFont> arabic = OpenImageFont(String(kNoto + "NotoSansArabic-Regular.ttf"), 28);
        const Ref<TImageFont> hindi = OpenImageFont(String(kNoto + "NotoSansDevanagari-Regular.ttf"), 28);
        const Ref<TImageFont> serif = OpenImageFont(String(kNoto + "NotoSerif-Regular.ttf"), 28);
        const Ref<TImageFont> dejavu = OpenImageFont(String(kDejaVu), 40);
        if (!small || !latin || !arabic || !hindi || !serif || !dejavu) {
            std::printf("cannot open the fonts: %s\n", LastErrorText().ToUtf8().c_str());
            return 1;
        }
        bool saved = true;

        // Shaping: each character's own glyph (DrawText) above, shaped below.
        Begin();
        Caption(small, "DrawText", 10, 8);
        Caption(small, "DrawTextShaped", 10, 120);
        const String samples[] = {String::FromUtf8("مرحبا بالعالم"), String::FromUtf8("हिन्दी"), "office"};
        const Ref<TImageFont> fonts[] = {arabic, hindi, serif};
        float x = 20;
        for (int i = 0; i < 3; ++i) {
            SetDrawFont(fonts[i]);
            DrawText(samples[i], x, 40);
            DrawTextShaped(samples[i], x, 150);
            x += static_cast<float>(ShapedTextWidth(samples[i])) + 50;
        }
        saved = Save(dir, "shaping.png") && saved;

        // Kerning: DrawText without and with SetTextKerning(1).
        Begin();
        Caption(small, "DrawText", 10, 8);
        Caption(small, "DrawText, SetTextKerning(1)", 10, 120);
        SetDrawFont(dejavu);
        DrawText("AVATAR Today WAVE", 20, 40);
        SetTextKerning(1);
        DrawText("AVATAR Today WAVE", 20, 150);
        SetTextKerning(0);
        saved = Save(dir, "kerning.png") && saved;

        // Fallback: a Latin font alone, then with an Arabic fallback.
        Begin();
        Caption(small, "Noto Sans alone (DrawTextShaped)", 10, 8);
        Caption(small, "Noto Sans, SetFontFallback(Noto Sans Arabic)", 10, 120);
        const String mixed = String::FromUtf8("Salaam means سلام (peace)");
        SetDrawFont(latin);
        DrawTextShaped(mixed, 20, 40);
        SetFontFallback(latin, arabic);
        DrawTextShaped(mixed, 20, 150);
        SetFontFallback(latin, nullptr);
        saved = Save(dir, "fallback.png") && saved;

        // Paragraphs: one text in boxes of 140 pixels, four alignments.
        CloseGraphics();
        OpenGraphics(640, 130, 0, 0);
        Begin();
        const Ref<TImageFont> body = OpenImageFont(String(kNoto + "NotoSans-Regular.ttf"), 15);
        const String paragraph = "The road to the city is long; take water, a lantern and this map. Back by night!";
        const char* names[] = {"TEXT_LEFT", "TEXT_CENTRE", "TEXT_RIGHT", "TEXT_JUSTIFY"};
        for (int align = 0; align < 4; ++align) {
            const float bx = 15 + static_cast<float>(align) * 155;
            Caption(small, names[align], bx, 8);
            SetDrawFont(body);
            SetDrawColor(225, 220, 205);
            DrawRect(bx, 30, 140, static_cast<float>(TextBoxHeight(paragraph, 140)));
            SetDrawColor(20, 20, 30);
            DrawTextBox(paragraph, bx, 30, 140, align);
        }
        saved = Save(dir, "paragraphs.png") && saved;
        std::printf(saved ? "saved 4 pictures\n" : "cannot save the pictures\n");
        return saved ? 0 : 1;
    });
}
