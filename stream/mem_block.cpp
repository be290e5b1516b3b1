// Banks and bank streams.
#include "korvagl/stream/mem_block.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <new>

#include "korvagl/app/modules.h"

namespace korva {

// ---- TMemBlock ----

TMemBlock::~TMemBlock() {
    if (capacity >= 0) std::free(buf);
}

int32_t TMemBlock::Resize(int32_t newSize) {
    newSize = std::max(newSize, 0);
    if (newSize <= capacity) {
        size = newSize;
        return 0;
    }
    int64_t grown = static_cast<int64_t>(capacity) * 3 / 2;
    grown = std::clamp<int64_t>(grown, newSize, INT32_MAX);
    uint8_t* memory = nullptr;
    if (grown > 0) {
        memory = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(grown)));
        if (!memory) throw std::bad_alloc();
    }
    // A bank made over foreign memory may be shrinking into its first memory
    // of its own: copy only what fits.
    const int32_t keep = std::min<int64_t>(size, grown);
    if (keep > 0) std::memcpy(memory, buf, static_cast<size_t>(keep));
    if (capacity >= 0) std::free(buf);
    buf = memory;
    capacity = static_cast<int32_t>(grown);
    size = newSize;
    return 0;
}

void TMemBlock::Check(int32_t offset, int32_t width) const {
    if (offset < 0 || width < 0 || static_cast<int64_t>(offset) + width > size) RaiseArrayIndexFault();
}

namespace {

template <typename T>
T Peek(const uint8_t* at) {
    T value;
    std::memcpy(&value, at, sizeof(T));
    return value;
}

template <typename T>
void Poke(uint8_t* at, T value) {
    std::memcpy(at, &value, sizeof(T));
}

}  // namespace

int32_t TMemBlock::PeekByte(int32_t offset) const {
    Check(offset, 1);
    return buf[offset];
}
int32_t TMemBlock::PokeByte(int32_t offset, int32_t v) {
    Check(offset, 1);
    buf[offset] = static_cast<uint8_t>(v);
    return 0;
}
int32_t TMemBlock::PeekShort(int32_t offset) const {
    Check(offset, 2);
    return Peek<uint16_t>(buf + offset);
}
int32_t TMemBlock::PokeShort(int32_t offset, int32_t v) {
    Check(offset, 2);
    Poke(buf + offset, static_cast<uint16_t>(v));
    return 0;
}
int32_t TMemBlock::PeekInt(int32_t offset) const {
    Check(offset, 4);
    return Peek<int32_t>(buf + offset);
}
int32_t TMemBlock::PokeInt(int32_t offset, int32_t v) {
    Check(offset, 4);
    Poke(buf + offset, v);
    return 0;
}
int64_t TMemBlock::PeekLong(int32_t offset) const {
    Check(offset, 8);
    return Peek<int64_t>(buf + offset);
}
int32_t TMemBlock::PokeLong(int32_t offset, int64_t v) {
    Check(offset, 8);
    Poke(buf + offset, v);
    return 0;
}
float TMemBlock::PeekFloat(int32_t offset) const {
    Check(offset, 4);
    return Peek<float>(buf + offset);
}
int32_t TMemBlock::PokeFloat(int32_t offset, float v) {
    Check(offset, 4);
    Poke(buf + offset, v);
    return 0;
}
double TMemBlock::PeekDouble(int32_t offset) const {
    Check(offset, 8);
    return Peek<double>(buf + offset);
}
int32_t TMemBlock::PokeDouble(int32_t offset, double v) {
    Check(offset, 8);
    Poke(buf + offset, v);
    return 0;
}

namespace {

template <typename Url>
int32_t SaveBank(const TMemBlock& bank, const Url& url) {
    Ref<TByteStream> s = OpenWriteStream(url);
    if (!s) return 0;
    try {
        s->WriteFully(bank.Buf(), bank.Size());
        s->Flush();
    } catch (const TStreamWriteError&) {
        s->Close();
        return 0;
    }
    s->Close();
    return s->WriteFailed() ? 0 : 1;
}

template <typename Url>
Ref<TMemBlock> LoadBank(const Url& url) {
    Ref<TByteStream> s = OpenReadStream(url);
    if (!s) return nullptr;
    const ByteArray bytes = detail::ReadAllAndClose(s);
    Ref<TMemBlock> bank = TMemBlock::Create(static_cast<int32_t>(std::min<size_t>(bytes.size(), INT32_MAX)));
    if (bank->Size() > 0) std::memcpy(bank->Buf(), bytes.data(), static_cast<size_t>(bank->Size()));
    return bank;
}

}  // namespace

int32_t TMemBlock::Save(const String& url) { return SaveBank(*this, url); }
int32_t TMemBlock::Save(const Ref<Object>& url) { return SaveBank(*this, url); }
Ref<TMemBlock> TMemBlock::Load(const String& url) { return LoadBank(url); }
Ref<TMemBlock> TMemBlock::Load(const Ref<Object>& url) { return LoadBank(url); }

Ref<TMemBlock> TMemBlock::Create(int32_t size) {
    Ref<TMemBlock> bank = New<TMemBlock>();
    bank->Resize(size);
    return bank;
}

Ref<TMemBlock> TMemBlock::CreateOver(void* buf, int32_t size) {
    Ref<TMemBlock> bank = New<TMemBlock>();
    bank->buf = static_cast<uint8_t*>(buf);
    bank->size = buf ? std::max(size, 0) : 0;
    bank->capacity = -1;
    return bank;
}

int32_t TMemBlock::ReadFrom(const Ref<TByteStream>& stream, int32_t offset, int32_t count) {
    if (count > 0) Check(offset, count);
    return stream->ReadFully(count > 0 ? buf + offset : buf, count);
}

int32_t TMemBlock::WriteTo(const Ref<TByteStream>& stream, int32_t offset, int32_t count) {
    if (count > 0) Check(offset, count);
    return stream->WriteFully(count > 0 ? buf + offset : buf, count);
}

// ---- TMemBlockStream ----

int32_t TMemBlockStream::Seek(int32_t p) {
    pos = std::clamp(p, 0, std::max(bank->Size(), 0));
    return pos;
}

int32_t TMemBlockStream::Read(void* dst, int32_t count) {
    const int32_t size = bank->Size();
    if (count <= 0 || pos >= size) return 0;
    count = std::min(count, size - pos);
    std::memcpy(dst, bank->Buf() + pos, static_cast<size_t>(count));
    pos += count;
    return count;
}

int32_t TMemBlockStream::Write(const void* src, int32_t count) {
    if (count <= 0 || pos > bank->Size()) return 0;
    count = std::min(count, INT32_MAX - pos);  // a bank holds at most 2^31 - 1 bytes
    if (count == 0) return 0;
    if (pos + count > bank->Size()) bank->Resize(pos + count);
    std::memcpy(bank->Buf() + pos, src, static_cast<size_t>(count));
    pos += count;
    return count;
}

Ref<TMemBlockStream> TMemBlockStream::Create(const Ref<TMemBlock>& bank) {
    Ref<TMemBlockStream> stream = New<TMemBlockStream>();
    stream->bank = bank ? bank : TMemBlock::Create(0);
    return stream;
}

// ---- the procedural interface ----

Ref<TMemBlock> NewMemBlock(int32_t size) { return TMemBlock::Create(size); }
Ref<TMemBlock> NewMemBlockOver(void* buf, int32_t size) { return TMemBlock::CreateOver(buf, size); }
Ref<TMemBlock> ReadMemBlock(const String& url) { return TMemBlock::Load(url); }
Ref<TMemBlock> ReadMemBlock(const Ref<Object>& url) { return TMemBlock::Load(url); }
int32_t WriteMemBlock(const Ref<TMemBlock>& bank, const String& url) { return bank->Save(url); }
int32_t WriteMemBlock(const Ref<TMemBlock>& bank, const Ref<Object>& url) { return bank->Save(url); }
uint8_t* MemBlockData(const Ref<TMemBlock>& bank) { return bank->Buf(); }
int32_t MemBlockSize(const Ref<TMemBlock>& bank) { return bank->Size(); }
int32_t MemBlockCapacity(const Ref<TMemBlock>& bank) { return bank->Capacity(); }
int32_t ResizeMemBlock(const Ref<TMemBlock>& bank, int32_t size) { return bank->Resize(size); }

int32_t CopyMemBlockBytes(const Ref<TMemBlock>& src, int32_t srcOffset, const Ref<TMemBlock>& dst,
                          int32_t dstOffset, int32_t count) {
    const TMemBlock& from = *src;
    TMemBlock& to = *dst;
    if (count <= 0) return 0;
    if (srcOffset < 0 || static_cast<int64_t>(srcOffset) + count > from.Size() || dstOffset < 0 ||
        static_cast<int64_t>(dstOffset) + count > to.Size()) {
        RaiseArrayIndexFault();
    }
    const uint8_t* s = from.Buf() + srcOffset;
    uint8_t* d = to.Buf() + dstOffset;
    const auto target = reinterpret_cast<uintptr_t>(d);
    const auto source = reinterpret_cast<uintptr_t>(s);
    if (target > source && target < source + static_cast<uintptr_t>(count)) {
        // Ascending order over an overlap repeats the bytes ahead of the target.
        for (int32_t i = 0; i < count; ++i) d[i] = s[i];
    } else {
        std::memmove(d, s, static_cast<size_t>(count));
    }
    return 0;
}

int32_t PeekByte(const Ref<TMemBlock>& bank, int32_t offset) { return bank->PeekByte(offset); }
int32_t PokeByte(const Ref<TMemBlock>& bank, int32_t offset, int32_t v) { return bank->PokeByte(offset, v); }
int32_t PeekShort(const Ref<TMemBlock>& bank, int32_t offset) { return bank->PeekShort(offset); }
int32_t PokeShort(const Ref<TMemBlock>& bank, int32_t offset, int32_t v) { return bank->PokeShort(offset, v); }
int32_t PeekInt(const Ref<TMemBlock>& bank, int32_t offset) { return bank->PeekInt(offset); }
int32_t PokeInt(const Ref<TMemBlock>& bank, int32_t offset, int32_t v) { return bank->PokeInt(offset, v); }
int64_t PeekLong(const Ref<TMemBlock>& bank, int32_t offset) { return bank->PeekLong(offset); }
int32_t PokeLong(const Ref<TMemBlock>& bank, int32_t offset, int64_t v) { return bank->PokeLong(offset, v); }
float PeekFloat(const Ref<TMemBlock>& bank, int32_t offset) { return bank->PeekFloat(offset); }
int32_t PokeFloat(const Ref<TMemBlock>& bank, int32_t offset, float v) { return bank->PokeFloat(offset, v); }
double PeekDouble(const Ref<TMemBlock>& bank, int32_t offset) { return bank->PeekDouble(offset); }
int32_t PokeDouble(const Ref<TMemBlock>& bank, int32_t offset, double v) { return bank->PokeDouble(offset, v); }

int32_t FillMemBlock(const Ref<TMemBlock>& bank, const Ref<TByteStream>& stream, int32_t offset, int32_t count) {
    return bank->ReadFrom(stream, offset, count);
}

int32_t DrainMemBlock(const Ref<TMemBlock>& bank, const Ref<TByteStream>& stream, int32_t offset, int32_t count) {
    return bank->WriteTo(stream, offset, count);
}

Ref<TMemBlockStream> NewMemBlockStream(const Ref<TMemBlock>& bank) { return TMemBlockStream::Create(bank); }

// ---- initialisers ----

int InitMemBlocks() {
    static int initialised = 0;
    if (initialised) return 0;
    initialised = 1;
    InitRuntime();
    InitStreams();
    detail::NoteModuleStarted("banks");
    return 0;
}

int InitMemBlockStreams() {
    static int initialised = 0;
    if (initialised) return 0;
    initialised = 1;
    InitRuntime();
    InitStreams();
    InitMemBlocks();
    detail::NoteModuleStarted("bank streams");
    return 0;
}

}  // namespace korva
