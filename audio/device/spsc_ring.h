// A single-producer single-consumer ring of small values: the one way the
// program thread, the music workers and the mixer thread hand things to each
// other. Each index is written by one side only, so neither side ever waits.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>

namespace korva {

template <typename T, uint32_t N>
class spscring {
    static_assert((N & (N - 1)) == 0, "the ring size must be a power of two");

public:
    // Producer side. False when the ring is full.
    bool Push(const T& value) {
        const uint32_t w = write_.load(std::memory_order_relaxed);
        if (w - read_.load(std::memory_order_acquire) == N) return false;
        slots_[w % N] = value;
        write_.store(w + 1, std::memory_order_release);
        return true;
    }
    // Producer side: room for one more (stays true until the producer pushes).
    bool HasRoom() const {
        return write_.load(std::memory_order_relaxed) - read_.load(std::memory_order_acquire) < N;
    }
    // Entries waiting (exact only while the other side is held off).
    uint32_t Count() const {
        return write_.load(std::memory_order_acquire) - read_.load(std::memory_order_acquire);
    }
    // Consumer side: the oldest entry, left in the ring; null when empty.
    const T* Peek() const {
        const uint32_t r = read_.load(std::memory_order_relaxed);
        if (r == write_.load(std::memory_order_acquire)) return nullptr;
        return &slots_[r % N];
    }
    // Consumer side: drops the oldest entry (the ring must not be empty).
    void Drop() { read_.store(read_.load(std::memory_order_relaxed) + 1, std::memory_order_release); }
    // Consumer side: takes the oldest entry; false when the ring is empty.
    bool Pop(T& value) {
        const T* oldest = Peek();
        if (!oldest) return false;
        value = *oldest;
        Drop();
        return true;
    }

private:
    std::array<T, N> slots_{};
    alignas(64) std::atomic<uint32_t> write_{0};
    alignas(64) std::atomic<uint32_t> read_{0};
};

}  // namespace korva
