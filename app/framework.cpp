// The framework's own initialisers: the application stub, the stream and
// utility umbrella, and InitKorvaGL, which imports every module in the order
// that makes their top-level work run in the documented sequence.
#include "korvagl/korvagl.h"

namespace korva {

int InitApplicationStub() {
    static int initialised = 0;
    if (initialised) return 0;
    initialised = 1;
    InitRuntime();
    detail::NoteModuleStarted("application stub");
    return 0;
}

int InitStreamUtilities() {
    static int initialised = 0;
    if (initialised) return 0;
    initialised = 1;
    InitRuntime();
    InitMemBlocks();
    InitMemBlockStreams();
    InitRandom();
    InitMemoryStreams();
    InitEndianStreams();
    InitTcpStreams();
    InitHttpStreams();
    InitStandardIO();
    InitLinkedList();
    InitFileSystem();
    InitZipStreams();
    detail::NoteModuleStarted("stream-and-utility umbrella");
    return 0;
}

// The imports of the demo module, in its listed order.
int InitKorvaGL() {
    static int initialised = 0;
    if (initialised) return 0;
    initialised = 1;
    InitRuntime();
    InitApplicationStub();
    InitAudioDriver();
    InitMemBlocks();
    InitMemBlockStreams();
    InitStreamUtilities();
    InitGLGraphics();
    InitBMPLoader();
    InitFonts();
    InitSDLAudioDriver();
    InitFreeTypeFonts();
    InitGLDrawDriver();
    InitJPEGLoader();
    InitOrderedMap();
    InitMP3Loader();
    InitFLACLoader();
    InitOggLoader();
    InitPNGLoader();
    InitStringHelpers();
    InitTGALoader();
    InitPixmapEncoders();
    InitWAVLoader();
    InitJoystick();
    InitGamepads();
    InitLuaBinding();
    InitScriptEngine();
    return 0;
}

}  // namespace korva
