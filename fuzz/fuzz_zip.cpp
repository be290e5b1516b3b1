// Arbitrary bytes as a zip archive: embedded data opened through "zip::"
// URLs. The archive's folders are listed (a few levels deep), each entry
// found is asked for its kind and size and read whole and through a seek,
// and names that try to leave the archive are asked for too. Whatever is read
// must match the size the file-system calls give.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "korvagl/korvagl.h"

using namespace korva;

namespace {

// Inputs are copied into one buffer, registered once per length (the
// registry keeps every entry, so one name per input would grow it forever).
constexpr size_t kLongest = size_t{1} << 20;
// A low load limit: a few bytes can declare an entry of any size, and the
// reader inflates up to the limit before it finds out.
constexpr int32_t kLoadLimit = 4 << 20;
constexpr int kMostEntries = 64;

std::vector<uint8_t>& Buffer() {
    static std::vector<uint8_t> buffer(kLongest);
    return buffer;
}

int Start() {
    InitStreamUtilities();
    SetNetworkLimits(1 << 20, kLoadLimit);
    return 0;
}

String ArchiveUrl(size_t size) {
    static std::vector<bool> registered(kLongest + 1);
    const std::string name = "fuzz-" + std::to_string(size) + ".zip";
    if (!registered[size]) {
        RegisterEmbeddedData(String(name), Buffer().data(), static_cast<int32_t>(size));
        registered[size] = true;
    }
    return String("zip::incbin::" + name + "|");
}

void CheckEntry(const String& url) {
    const int32_t kind = FileKind(url);
    if (kind != FILE_KIND_FILE) return;
    const int32_t size = FileByteSize(url);
    const ByteArray bytes = LoadBytes(url);
    if (!bytes.empty() && static_cast<int64_t>(bytes.size()) != size) std::abort();
    Ref<TByteStream> s = OpenReadStream(url);
    if (!s) return;
    if (s->Pos() >= 0 && size > 1 && s->Seek(size / 2) == size / 2) {
        uint8_t byte = 0;
        if (s->Read(&byte, 1) == 1 && !bytes.empty() && byte != bytes[static_cast<size_t>(size / 2)]) std::abort();
    }
    s->Close();
}

void Walk(const String& top, const String& folder, int depth, int& budget) {
    const StringArray names = ListDirectory(top + folder, 1);
    for (const String& name : names) {
        if (--budget < 0) return;
        // A listed name is one component: never a way out of the archive.
        if (name.IsEmpty() || name == ".." || name.Find("/") >= 0) std::abort();
        const String path = folder.IsEmpty() ? name : folder + "/" + name;
        if (FileKind(top + path) == FILE_KIND_DIRECTORY) {
            if (depth < 4) Walk(top, path, depth + 1, budget);
        } else {
            CheckEntry(top + path);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const int started = Start();
    (void)started;
    if (size > kLongest) return 0;
    std::memcpy(Buffer().data(), data, size);
    const String top = ArchiveUrl(size);
    int budget = kMostEntries;
    Walk(top, String(), 0, budget);
    for (const char* name : {"a", "../a", "a/../../a", "\\a", "/a", "a\\b"}) CheckEntry(top + name);
    return 0;
}
