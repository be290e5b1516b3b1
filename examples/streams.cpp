// Streams by URL: write a small file with typed values, read it back through
// a big-endian view, list the lines of a text, and open embedded data.
#include <korvagl/korvagl.h>

using namespace korva;

namespace {

const char kGreeting[] = "hello from the program image\n";

int Run() {
    RegisterEmbeddedData("greeting.txt", kGreeting, sizeof kGreeting - 1);
    const String dir = CurrentDirectory();  // the program's own directory
    const String path = StartDir() + "/streams-example.bin";

    // Typed values are little-endian unless a big-endian view is asked for.
    Ref<TByteStream> out = OpenWriteStream(String("bigendian::") + path);
    if (!out) {
        PrintLine(String("cannot write ") + path);
        return 1;
    }
    out->WriteInt(2024);
    out->WriteDouble(3.5);
    out->WriteLine("a line of text");
    out->Close();

    Ref<TByteStream> in = OpenReadStream(String("bigendian::") + path);
    const int32_t year = in->ReadInt();
    const double value = in->ReadDouble();
    const String line = in->ReadLine();
    in->Close();
    PrintLine(String("read back: ") + IntToString(year) + ", " + IntToString(static_cast<int64_t>(value * 10)) +
              " tenths, \"" + line + "\"");

    // A whole file in one call, then its size on disk.
    const ByteArray bytes = LoadBytes(path);
    PrintLine(String("the file holds ") + IntToString(static_cast<int64_t>(bytes.size())) + " bytes; on disk " +
              IntToString(FileByteSize(path)));
    RemoveFile(path);

    // Embedded data reads like any other URL.
    Ref<TByteStream> embedded = OpenReadStream("incbin::greeting.txt");
    PrintLine(embedded->ReadLine());
    embedded->Close();
    PrintLine(String("program directory: ") + dir);
    return 0;
}

}  // namespace

int main(int argc, char** argv) { return RunApplication(argc, argv, Run); }
