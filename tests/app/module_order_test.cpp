// InitKorvaGL runs the top-level work of every module exactly once, in the
// documented order (which fixes the order of every registry).
#include <gtest/gtest.h>

#include "korvagl/korvagl.h"

namespace korva {
namespace {

const std::vector<std::string> kDocumentedOrder = {
    "runtime errors",
    "application stub",
    "system library glue",
    "stream core",
    "sample format conversion",
    "audio samples and sample loaders",
    "audio drivers, sounds, channels",
    "banks",
    "bank streams",
    "random numbers",
    "memory and embedded-data streams",
    "byte-order streams",
    "sockets and TCP streams",
    "HTTP streams",
    "standard I/O stream",
    "linked list",
    "file system",
    "zip archive streams",
    "stream-and-utility umbrella",
    "pixel format conversion",
    "pixmaps",
    "GL graphics",
    "BMP loader",
    "fonts",
    "SDL audio driver",
    "FreeType glyphs",
    "FreeType fonts",
    "platform driver base",
    "frame timer",
    "SDL platform driver",
    "system API",
    "draw driver interface and image frames",
    "images",
    "image font",
    "2D drawing API",
    "GL 2D helper",
    "GL 2D driver",
    "JPEG loader",
    "ordered map",
    "MP3 loader",
    "FLAC loader",
    "Ogg loader",
    "PNG loader",
    "string helpers",
    "TGA loader",
    "pixmap encoders",
    "WAV loader",
    "joystick",
    "gamepads",
    "Lua binding",
    "script engine",
};

TEST(ModuleOrderTest, EveryModuleStartsOnceInTheDocumentedOrder) {
    InitKorvaGL();
    std::vector<std::string> started;
    for (const String& name : StartedModules()) started.push_back(name.ToBytes());

    // Every documented module starts exactly once, in the documented order.
    EXPECT_EQ(started, kDocumentedOrder);

    const size_t before = started.size();
    EXPECT_EQ(InitKorvaGL(), 0);
    EXPECT_EQ(StartedModules().size(), before);
}

}  // namespace
}  // namespace korva
