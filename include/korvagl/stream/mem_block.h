// KorvaGL: banks (resizable memory blocks) and bank streams.
//
// A TMemBlock holds `Size()` bytes with typed peek and poke access in
// little-endian order at any alignment. It owns its memory (Capacity() >= 0)
// or was made over memory that belongs to someone else (Capacity() == -1),
// which it never frees; resizing such a bank first copies it into memory of
// its own. Growing multiplies the capacity by 1.5 at least; shrinking never
// gives memory back. Bytes of a new bank and bytes added by growing are not
// initialised.
//
// Peek, poke and the copy functions check their ranges against the bank's
// size and raise TArrayIndexFault outside it.
//
// A TMemBlockStream reads and writes a bank from position 0, growing it when
// writing past its end; closing it does nothing and keeps the bank.
#pragma once

#include <cstdint>

#include "korvagl/stream/stream.h"

namespace korva {

class TMemBlock : public Object {
public:
    TMemBlock() = default;
    ~TMemBlock() override;
    TMemBlock(const TMemBlock&) = delete;
    TMemBlock& operator=(const TMemBlock&) = delete;

    uint8_t* Buf() const { return buf; }
    int32_t Size() const { return size; }
    int32_t Capacity() const { return capacity; }
    // Changes the size (a negative size counts as 0), growing the memory when
    // needed. Returns 0.
    int32_t Resize(int32_t newSize);

    int32_t PeekByte(int32_t offset) const;
    int32_t PokeByte(int32_t offset, int32_t v);
    int32_t PeekShort(int32_t offset) const;
    int32_t PokeShort(int32_t offset, int32_t v);
    int32_t PeekInt(int32_t offset) const;
    int32_t PokeInt(int32_t offset, int32_t v);
    int64_t PeekLong(int32_t offset) const;
    int32_t PokeLong(int32_t offset, int64_t v);
    float PeekFloat(int32_t offset) const;
    int32_t PokeFloat(int32_t offset, float v);
    double PeekDouble(int32_t offset) const;
    int32_t PokeDouble(int32_t offset, double v);

    // Writes the whole bank to a URL (or a stream object, which stays open).
    // Returns 1 when every byte reached it, 0 when the URL cannot be opened
    // or writing, flushing or closing failed.
    int32_t Save(const String& url);
    int32_t Save(const Ref<Object>& url);
    // A bank holding the whole content of a URL (or of a stream object, read
    // to its end and left open), or the null object when it cannot be opened.
    static Ref<TMemBlock> Load(const String& url);
    static Ref<TMemBlock> Load(const Ref<Object>& url);
    // A new bank of `size` bytes (no memory when size < 1).
    static Ref<TMemBlock> Create(int32_t size);
    // A bank over `size` bytes at `buf` that stay someone else's.
    static Ref<TMemBlock> CreateOver(void* buf, int32_t size);

    // ReadFully / WriteFully of `count` bytes at `offset`; return their result.
    int32_t ReadFrom(const Ref<TByteStream>& stream, int32_t offset, int32_t count);
    int32_t WriteTo(const Ref<TByteStream>& stream, int32_t offset, int32_t count);

private:
    // Raises TArrayIndexFault unless offset .. offset + width lies in the bank.
    void Check(int32_t offset, int32_t width) const;

    uint8_t* buf = nullptr;
    int32_t size = 0;
    int32_t capacity = 0;
};

class TMemBlockStream : public TByteStream {
public:
    int32_t Pos() override { return pos; }
    int32_t Size() override { return bank->Size(); }
    // Clamped to 0 .. Size().
    int32_t Seek(int32_t p) override;
    int32_t Read(void* dst, int32_t count) override;
    int32_t Write(const void* src, int32_t count) override;

    // A stream at position 0 over `bank` (a new empty bank for the null object).
    static Ref<TMemBlockStream> Create(const Ref<TMemBlock>& bank);
    const Ref<TMemBlock>& Bank() const { return bank; }

private:
    int32_t pos = 0;
    Ref<TMemBlock> bank;
};

// The procedural interface. Functions without a result of their own return 0;
// the null object raises TNullObjectFault.
Ref<TMemBlock> NewMemBlock(int32_t size);
Ref<TMemBlock> NewMemBlockOver(void* buf, int32_t size);
Ref<TMemBlock> ReadMemBlock(const String& url);
Ref<TMemBlock> ReadMemBlock(const Ref<Object>& url);
int32_t WriteMemBlock(const Ref<TMemBlock>& bank, const String& url);
int32_t WriteMemBlock(const Ref<TMemBlock>& bank, const Ref<Object>& url);
uint8_t* MemBlockData(const Ref<TMemBlock>& bank);
int32_t MemBlockSize(const Ref<TMemBlock>& bank);
int32_t MemBlockCapacity(const Ref<TMemBlock>& bank);
int32_t ResizeMemBlock(const Ref<TMemBlock>& bank, int32_t size);
// Copies byte by byte in ascending address order, which defines the result
// for overlapping ranges in one bank.
int32_t CopyMemBlockBytes(const Ref<TMemBlock>& src, int32_t srcOffset, const Ref<TMemBlock>& dst,
                          int32_t dstOffset, int32_t count);
int32_t PeekByte(const Ref<TMemBlock>& bank, int32_t offset);
int32_t PokeByte(const Ref<TMemBlock>& bank, int32_t offset, int32_t v);
int32_t PeekShort(const Ref<TMemBlock>& bank, int32_t offset);
int32_t PokeShort(const Ref<TMemBlock>& bank, int32_t offset, int32_t v);
int32_t PeekInt(const Ref<TMemBlock>& bank, int32_t offset);
int32_t PokeInt(const Ref<TMemBlock>& bank, int32_t offset, int32_t v);
int64_t PeekLong(const Ref<TMemBlock>& bank, int32_t offset);
int32_t PokeLong(const Ref<TMemBlock>& bank, int32_t offset, int64_t v);
float PeekFloat(const Ref<TMemBlock>& bank, int32_t offset);
int32_t PokeFloat(const Ref<TMemBlock>& bank, int32_t offset, float v);
double PeekDouble(const Ref<TMemBlock>& bank, int32_t offset);
int32_t PokeDouble(const Ref<TMemBlock>& bank, int32_t offset, double v);
// ReadFrom and WriteTo.
int32_t FillMemBlock(const Ref<TMemBlock>& bank, const Ref<TByteStream>& stream, int32_t offset, int32_t count);
int32_t DrainMemBlock(const Ref<TMemBlock>& bank, const Ref<TByteStream>& stream, int32_t offset, int32_t count);
// A bank stream on `bank`, or on a new empty bank for the null object.
Ref<TMemBlockStream> NewMemBlockStream(const Ref<TMemBlock>& bank = nullptr);

// Module initialisers.
int InitMemBlocks();
int InitMemBlockStreams();

}  // namespace korva
