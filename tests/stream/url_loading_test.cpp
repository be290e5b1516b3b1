// The loaders over URLs without a position (HTTP on 127.0.0.1) and over zip
// archive entries: a PNG (ReadPixmap), a WAV (ReadPcmSample), a TrueType
// font (the FreeType loader) and a Lua script (RunFile) each load as they do
// from a file.
#include <gtest/gtest.h>

#include <map>
#include <mutex>

#include "korvagl/korvagl.h"
#include "support/audio_fixtures.h"
#include "support/font_fixtures.h"
#include "support/image_fixtures.h"
#include "support/temp_dir.h"
#include "support/zip_fixtures.h"
#include "tests/stream/test_server.h"

namespace korva {
namespace {

class UrlLoadingTest : public testing::Test {
protected:
    void SetUp() override {
        InitStreamUtilities();
        InitPNGLoader();
        InitWAVLoader();
        InitFreeTypeFonts();
        InitScriptEngine();
        rgb = test::TestPattern(5, 3, 3);
        files = {{"ship.png", test::EncodePNG(5, 3, rgb)},
                 {"hit.wav", test::WavFile(1, 8000, 16, test::PcmBytes(16, {1, -2, 3}))},
                 {"font.ttf", test::EveryCharacterFont()},
                 {"level.lua", "function answer() return 42 end\n"}};
    }

    // Loads each file through its loader from `prefix` + name.
    void ExpectEachLoads(const std::string& prefix) {
        SCOPED_TRACE(prefix);
        const Ref<TPixmap> pixmap = ReadPixmap(String(prefix + "ship.png"));
        ASSERT_TRUE(pixmap) << LastErrorText().ToUtf8();
        ASSERT_EQ(pixmap->width, 5);
        ASSERT_EQ(pixmap->height, 3);
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 5; ++x) {
                const uint8_t* p = &rgb[static_cast<size_t>((y * 5 + x) * 3)];
                EXPECT_EQ(pixmap->ReadPixel(x, y) & 0xFFFFFF, uint32_t(p[0]) << 16 | p[1] << 8 | p[2]);
            }
        const Ref<TPcmSample> sample = ReadPcmSample(String(prefix + "hit.wav"));
        ASSERT_TRUE(sample) << LastErrorText().ToUtf8();
        EXPECT_EQ(sample->length, 3);
        EXPECT_EQ(reinterpret_cast<const int16_t*>(sample->samples)[1], -2);
        // OpenFont: the FreeType loader OpenImageFont uses, without the GL images.
        const Ref<TFontFace> font = OpenFont(String(prefix + "font.ttf"), 20);
        ASSERT_TRUE(font) << LastErrorText().ToUtf8();
        EXPECT_EQ(font->Height(), 20);
        EXPECT_TRUE(font->LoadCharGlyph('A')->Pixels());
        Ref<ScriptEngine> engine = New<ScriptEngine>();
        ASSERT_EQ(engine->RunFile(String(prefix + "level.lua")), 1) << engine->ErrorText().ToUtf8();
        ASSERT_EQ(engine->CallFunction("answer", 1), 1);
        EXPECT_EQ(engine->NumberResult(), 42);
    }

    // Serves `bodies` by request path; records the paths asked for.
    std::unique_ptr<test::TestServer> Serve(const std::map<std::string, std::string>& bodies, int connections) {
        return test::ServeHttp([this, bodies](const std::string& request) {
            const std::string path = test::RequestPath(request);
            std::lock_guard<std::mutex> lock(mutex);
            asked.push_back(path);
            const auto it = bodies.find(path);
            return it == bodies.end() ? std::string("HTTP/1.0 404 Not Found\r\n\r\n")
                                      : "HTTP/1.0 200 OK\r\n\r\n" + it->second;
        }, connections);
    }

    std::vector<uint8_t> rgb;
    std::vector<std::pair<std::string, std::string>> files;
    std::mutex mutex;
    std::vector<std::string> asked;
    test::TempDir dir;
};

TEST_F(UrlLoadingTest, EveryLoaderReadsAnHttpUrlOnceIntoMemory) {
    std::map<std::string, std::string> bodies;
    for (const auto& [name, bytes] : files) bodies["/assets/" + name] = bytes;
    auto server = Serve(bodies, static_cast<int>(files.size()));
    ExpectEachLoads("http::127.0.0.1:" + std::to_string(server->Port()) + "/assets/");
    server->Join();
    // One download each: the loaders read the body once and decode from memory.
    EXPECT_EQ(asked, (std::vector<std::string>{"/assets/ship.png", "/assets/hit.wav", "/assets/font.ttf",
                                               "/assets/level.lua"}));
}

TEST_F(UrlLoadingTest, EveryLoaderReadsZipEntriesStoredOrDeflatedFromAFileOrOverHttp) {
    for (const bool deflate : {false, true}) {
        std::vector<test::ZipEntry> entries;
        for (const auto& [name, bytes] : files) entries.push_back({"pack/" + name, bytes, deflate});
        const std::string archive = test::ZipArchive(entries);
        ExpectEachLoads("zip::" + dir.Write("pack.zip", archive) + "|pack/");
        // The archive downloaded: once for each entry opened.
        asked.clear();
        auto server = Serve({{"/pack.zip", archive}}, static_cast<int>(files.size()));
        ExpectEachLoads("zip::http::127.0.0.1:" + std::to_string(server->Port()) + "/pack.zip|pack/");
        server->Join();
        EXPECT_EQ(asked.size(), files.size());
    }
}

}  // namespace
}  // namespace korva
