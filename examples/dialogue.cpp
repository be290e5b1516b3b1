// A dialogue box in two scripts: English, then Arabic, each page a
// paragraph wrapped and aligned in the box (the Arabic one right-aligned,
// shaped and right to left), the speaker's name above it. Latin text comes
// from Noto Sans, Arabic from Noto Sans Arabic as its fallback. Space turns
// the page (pages also turn by themselves every three seconds); Escape or
// the window's close button leaves. `dialogue --screenshot FILE PAGE`
// saves page PAGE (0 or 1) as a PNG and leaves.
#include <korvagl/korvagl.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

using namespace korva;

namespace {

const char kLatin[] = "/usr/share/fonts/truetype/noto/NotoSans-Regular.ttf";
const char kArabic[] = "/usr/share/fonts/truetype/noto/NotoSansArabic-Regular.ttf";

struct Page {
    const char* speaker;
    const char* text;  // UTF-8
    int32_t align;
};

const Page kPages[] = {
    {"Mira", "Welcome, traveller! The road to Avalon is long and the WAVES are high today: take water, a lantern "
             "and this map.\nCome back before nightfall.", TEXT_LEFT},
    {"سلمى", "مرحبا بك أيها المسافر! الطريق إلى المدينة طويل والأمواج عالية اليوم: خذ الماء والمصباح وهذه "
             "الخريطة.\nعد قبل حلول الليل.", TEXT_RIGHT},
};

constexpr float kBoxX = 40, kBoxY = 280, kBoxWidth = 560, kPadding = 16;

void DrawPage(const Page& page, const Ref<TImageFont>& text, const Ref<TImageFont>& name) {
    SetClearColor(24, 30, 48);
    ClearScreen();
    SetBlendMode(BLEND_ALPHA);
    SetTextBlendMode(BLEND_ALPHA);
    const String body = String::FromUtf8(page.text);
    SetDrawFont(text);
    const float inner = kBoxWidth - 2 * kPadding;
    const float height = static_cast<float>(TextBoxHeight(body, inner)) + 2 * kPadding;
    SetDrawColor(10, 12, 20);
    DrawRect(kBoxX, kBoxY, kBoxWidth, height);
    SetDrawColor(200, 180, 120);
    DrawLine(kBoxX, kBoxY, kBoxX + kBoxWidth, kBoxY);
    SetDrawColor(240, 240, 230);
    DrawTextBox(body, kBoxX + kPadding, kBoxY + kPadding, inner, page.align);
    // The speaker's name on a tab above the box, at the side the text starts.
    SetDrawFont(name);
    const String speaker = String::FromUtf8(page.speaker);
    const float nameWidth = static_cast<float>(ShapedTextWidth(speaker));
    const float tabX = page.align == TEXT_RIGHT ? kBoxX + kBoxWidth - nameWidth - 2 * kPadding : kBoxX;
    SetDrawColor(200, 180, 120);
    DrawRect(tabX, kBoxY - 34, nameWidth + 2 * kPadding, 34);
    SetDrawColor(20, 20, 30);
    DrawTextShaped(speaker, tabX + kPadding, kBoxY - 32);
}

}  // namespace

int main(int argc, char** argv) {
    return RunApplication(argc, argv, [] {
        const std::vector<String>& args = ProgramArgs();
        OpenGraphics(640, 480, 0, 60);
        const Ref<TImageFont> text = OpenImageFont(kLatin, 22), name = OpenImageFont(kLatin, 20);
        const Ref<TImageFont> arabic = OpenImageFont(kArabic, 22), arabicName = OpenImageFont(kArabic, 20);
        if (!text || !name || !arabic || !arabicName) {
            std::printf("cannot open the fonts: %s\n", LastErrorText().ToUtf8().c_str());
            return 1;
        }
        SetFontFallback(text, arabic);
        SetFontFallback(name, arabicName);
        SetTextKerning(1);

        if (args.size() >= 4 && args[1] == String("--screenshot")) {
            const int page = StringToInt(args[3]) == 1 ? 1 : 0;
            DrawPage(kPages[page], text, name);
            const int32_t saved = SaveScreenshot(args[2]);
            FlipFrame();
            std::printf(saved ? "saved page %d\n" : "cannot save page %d\n", page);
            return saved ? 0 : 1;
        }

        int64_t frames = 0, turned = 0;
        size_t page = 0;
        int32_t shown = ElapsedMs();
        while (!KeyWasHit(KEY_ESCAPE) && !WindowCloseRequested()) {
            if (KeyWasHit(KEY_SPACE) || ElapsedMs() - shown > 3000) {
                page = (page + 1) % 2;
                shown = ElapsedMs();
                ++turned;
            }
            DrawPage(kPages[page], text, name);
            FlipFrame();
            ++frames;
        }
        std::printf("left after %lld frames, %lld pages turned, dialogue in 2 scripts\n",
                    static_cast<long long>(frames), static_cast<long long>(turned));
        return 0;
    });
}
