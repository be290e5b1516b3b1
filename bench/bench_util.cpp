// Speed of the utilities: object references, list and map operations, random
// draws, text helpers.
#include <benchmark/benchmark.h>

#include <atomic>

#include "korvagl/korvagl.h"

namespace korva {
namespace {

// The reference-counting path side by side with a bare intrusive count of the
// same layout whose last release deletes inline: Object also keeps whether
// New made it, and checks that out of line after the last release.
class Bare {
public:
    virtual ~Bare() = default;
    void Retain() const noexcept { refs_.fetch_add(1, std::memory_order_relaxed); }
    void Release() const noexcept {
        if (refs_.fetch_sub(1, std::memory_order_acq_rel) == 1) delete this;
    }

private:
    mutable std::atomic<int32_t> refs_{0};
};

// A counted pointer to a Bare, written as Ref is.
class BareRef {
public:
    explicit BareRef(Bare* p) noexcept : p_(p) { p_->Retain(); }
    BareRef(const BareRef& other) noexcept : p_(other.p_) { p_->Retain(); }
    ~BareRef() { p_->Release(); }
    Bare* Get() const noexcept { return p_; }

private:
    Bare* p_;
};

// Copying and dropping a reference to a living object (no deletion).
void BM_RefCopy(benchmark::State& state) {
    const Ref<Object> held = New<Object>();
    for (auto _ : state) {
        Ref<Object> copy = held;
        benchmark::DoNotOptimize(copy.Get());
    }
}
BENCHMARK(BM_RefCopy);

void BM_BareRefCopy(benchmark::State& state) {
    const BareRef held(new Bare);
    for (auto _ : state) {
        BareRef copy = held;
        benchmark::DoNotOptimize(copy.Get());
    }
}
BENCHMARK(BM_BareRefCopy);

// Making an object and dropping its only reference (the last release deletes).
void BM_RefNewAndDrop(benchmark::State& state) {
    for (auto _ : state) {
        Ref<Object> made = New<Object>();
        benchmark::DoNotOptimize(made.Get());
    }
}
BENCHMARK(BM_RefNewAndDrop);

void BM_BareRefNewAndDrop(benchmark::State& state) {
    for (auto _ : state) {
        BareRef made(new Bare);
        benchmark::DoNotOptimize(made.Get());
    }
}
BENCHMARK(BM_BareRefNewAndDrop);

ObjectArray Boxes(int count) {
    ObjectArray boxes;
    for (int i = 0; i < count; ++i) boxes.push_back(BoxString(IntToString(i)));
    return boxes;
}

// Appending n values to a fresh list (and releasing it).
void BM_ListAddLast(benchmark::State& state) {
    const ObjectArray values = Boxes(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        Ref<TLinkedList> list = NewList();
        for (const Ref<Object>& value : values) list->AddLast(value);
        benchmark::DoNotOptimize(list.Get());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_ListAddLast)->Arg(1000)->Arg(100000);

// Walking a list with a cursor.
void BM_ListEnumerate(benchmark::State& state) {
    Ref<TLinkedList> list = TLinkedList::FromArray(Boxes(static_cast<int>(state.range(0))));
    for (auto _ : state) {
        for (auto cursor = list->Enumerate(); cursor->HasMore();) benchmark::DoNotOptimize(cursor->NextValue());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_ListEnumerate)->Arg(1000)->Arg(100000);

// Removing every entry through the link an insertion returned, in constant time each.
void BM_ListLinkRemove(benchmark::State& state) {
    const ObjectArray values = Boxes(static_cast<int>(state.range(0)));
    std::vector<Ref<TListNode>> links;
    for (auto _ : state) {
        state.PauseTiming();
        Ref<TLinkedList> list = NewList();
        links.clear();
        for (const Ref<Object>& value : values) links.push_back(list->AddLast(value));
        state.ResumeTiming();
        for (const Ref<TListNode>& link : links) link->Remove();
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_ListLinkRemove)->Arg(1000);

// Removing by value from the front of a list (a search of one step each).
void BM_ListRemoveFirstValue(benchmark::State& state) {
    const ObjectArray values = Boxes(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        state.PauseTiming();
        Ref<TLinkedList> list = TLinkedList::FromArray(values);
        state.ResumeTiming();
        for (const Ref<Object>& value : values) list->Remove(value);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_ListRemoveFirstValue)->Arg(1000);

// Keys in a shuffled order give a tree of logarithmic depth.
ObjectArray ShuffledKeys(int count) {
    ObjectArray keys = Boxes(count);
    SetRandomSeed(1);
    for (int i = count - 1; i > 0; --i) std::swap(keys[static_cast<size_t>(i)], keys[static_cast<size_t>(RandomInt(0, i))]);
    return keys;
}

void BM_MapInsertShuffled(benchmark::State& state) {
    const ObjectArray keys = ShuffledKeys(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        Ref<TTreeMap> map = New<TTreeMap>();
        for (const Ref<Object>& key : keys) map->Insert(key, key);
        benchmark::DoNotOptimize(map.Get());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_MapInsertShuffled)->Arg(1000)->Arg(100000);

void BM_MapFindShuffled(benchmark::State& state) {
    const ObjectArray keys = ShuffledKeys(static_cast<int>(state.range(0)));
    Ref<TTreeMap> map = New<TTreeMap>();
    for (const Ref<Object>& key : keys) map->Insert(key, key);
    for (auto _ : state) {
        for (const Ref<Object>& key : keys) benchmark::DoNotOptimize(map->ValueForKey(key));
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_MapFindShuffled)->Arg(1000)->Arg(100000);

// Ascending keys degenerate the tree into a chain: every insertion walks it all.
void BM_MapInsertAscending(benchmark::State& state) {
    ObjectArray keys;
    for (int i = 0; i < state.range(0); ++i) keys.push_back(BoxString(LongHexText(i)));
    for (auto _ : state) {
        Ref<TTreeMap> map = New<TTreeMap>();
        for (const Ref<Object>& key : keys) map->Insert(key, key);
        benchmark::DoNotOptimize(map.Get());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_MapInsertAscending)->Arg(1000)->Unit(benchmark::kMicrosecond);

void BM_MapFindAscending(benchmark::State& state) {
    ObjectArray keys;
    for (int i = 0; i < state.range(0); ++i) keys.push_back(BoxString(LongHexText(i)));
    Ref<TTreeMap> map = New<TTreeMap>();
    for (const Ref<Object>& key : keys) map->Insert(key, key);
    for (auto _ : state) {
        for (const Ref<Object>& key : keys) benchmark::DoNotOptimize(map->ValueForKey(key));
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_MapFindAscending)->Arg(1000)->Unit(benchmark::kMicrosecond);

void BM_RandomDouble(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(RandomDouble());
}
BENCHMARK(BM_RandomDouble);

void BM_RandomInt(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(RandomInt(1, 6));
}
BENCHMARK(BM_RandomInt);

void BM_MidText(benchmark::State& state) {
    const String text("The quick brown fox jumps over the lazy dog");
    for (auto _ : state) benchmark::DoNotOptimize(MidText(text, 11, 9));
}
BENCHMARK(BM_MidText);

// A 4 KB text with one replacement every 16 units.
void BM_ReplaceText(benchmark::State& state) {
    String text;
    for (int i = 0; i < 256; ++i) text += String("abcdefghijk, lm ");
    for (auto _ : state) benchmark::DoNotOptimize(ReplaceText(text, ", ", "; "));
    state.SetBytesProcessed(state.iterations() * text.Length() * 2);
}
BENCHMARK(BM_ReplaceText);

}  // namespace
}  // namespace korva

BENCHMARK_MAIN();
