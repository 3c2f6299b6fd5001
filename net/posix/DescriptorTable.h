#pragma once
// A record for each descriptor that one of the socket adapters stands in for, found by the
// descriptor's number, so that sockets can be used from several threads at once. Every
// adapter call on every socket asks whether its descriptor is one of them, and most then
// read its record: both are plain loads, without a lock or any other atomic
// read-modify-write, each of which costs about as much as the rest of the lookup. A record
// is written under a lock of its own slot, held for no longer than a copy and never across a
// system call; a reader that meets a write in progress reads again (a sequence lock). A
// descriptor's number is reused after close(): its record must be erased before the
// descriptor is closed.
#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>
#include <type_traits>
#include <vector>

namespace IdPosix {

template <typename TState> class TDescriptorTable {
    // A record is kept as words that readers load one by one while a writer may store them.
    static_assert(std::is_trivially_copyable_v<TState>);

  public:
    // True while ADescriptor has a record.
    bool Contains(int ADescriptor) const {
        const TSlot* Slot = Find(ADescriptor);
        return Slot != nullptr && Slot->Present.load(std::memory_order_acquire);
    }

    // A copy of the record of ADescriptor; false, AState untouched, when there is none.
    bool Get(int ADescriptor, TState& AState) const {
        const TSlot* Slot = Find(ADescriptor);
        if (Slot == nullptr || !Slot->Present.load(std::memory_order_acquire)) {
            return false;
        }
        uint64_t Words[WordCount];
        for (;;) {
            const uint32_t Before = Slot->Version.load(std::memory_order_acquire);
            for (size_t I = 0; I < WordCount; ++I) {
                Words[I] = Slot->Words[I].load(std::memory_order_relaxed);
            }
            std::atomic_thread_fence(std::memory_order_acquire);
            if ((Before & 1) == 0 && Slot->Version.load(std::memory_order_relaxed) == Before) {
                break;
            }
            std::this_thread::yield();
        }
        std::memcpy(&AState, Words, sizeof AState);
        return true;
    }

    // AChange applied to the record of ADescriptor, under the slot's lock; false when there
    // is none.
    template <typename F> bool Change(int ADescriptor, F AChange) {
        return Locked(ADescriptor, [&](TSlot&, const TSlotGuard& AGuard) {
            TState State = AGuard.Read();
            AChange(State);
            AGuard.Write(State);
        });
    }

    // AState as the record of ADescriptor (0 or more), whether it had one or not.
    void Put(int ADescriptor, const TState& AState) { Insert(ADescriptor, AState, true); }

    // AState as the record of ADescriptor unless it has one; false, nothing changed, then.
    bool Add(int ADescriptor, const TState& AState) { return Insert(ADescriptor, AState, false); }

    // Removes the record of ADescriptor and gives it back in AState; false when there was
    // none.
    bool Take(int ADescriptor, TState& AState) {
        return Locked(ADescriptor, [&](TSlot& ASlot, const TSlotGuard& AGuard) {
            AState = AGuard.Read();
            ASlot.Present.store(false, std::memory_order_release);
        });
    }

    bool Erase(int ADescriptor) {
        TState Ignored;
        return Take(ADescriptor, Ignored);
    }

  private:
    static constexpr size_t WordCount = (sizeof(TState) + 7) / 8;

    struct TSlot {
        std::atomic<bool> Busy{false}; // held by the one writer
        std::atomic<bool> Present{false};
        std::atomic<uint32_t> Version{0}; // odd while the words are being written
        std::atomic<uint64_t> Words[WordCount] = {};
    };

    class TSlotGuard {
      public:
        explicit TSlotGuard(TSlot& ASlot) : FSlot(ASlot) {
            while (FSlot.Busy.exchange(true, std::memory_order_acquire)) {
                std::this_thread::yield();
            }
        }
        ~TSlotGuard() { FSlot.Busy.store(false, std::memory_order_release); }
        TSlotGuard(const TSlotGuard&) = delete;
        TSlotGuard& operator=(const TSlotGuard&) = delete;

        // Under the lock no other writer changes the words.
        TState Read() const {
            uint64_t Words[WordCount];
            for (size_t I = 0; I < WordCount; ++I) {
                Words[I] = FSlot.Words[I].load(std::memory_order_relaxed);
            }
            TState State;
            std::memcpy(&State, Words, sizeof State);
            return State;
        }

        void Write(const TState& AState) const {
            uint64_t Words[WordCount] = {};
            std::memcpy(Words, &AState, sizeof AState);
            const uint32_t Version = FSlot.Version.load(std::memory_order_relaxed);
            FSlot.Version.store(Version + 1, std::memory_order_relaxed);
            std::atomic_thread_fence(std::memory_order_release);
            for (size_t I = 0; I < WordCount; ++I) {
                FSlot.Words[I].store(Words[I], std::memory_order_relaxed);
            }
            FSlot.Version.store(Version + 2, std::memory_order_release);
        }

      private:
        TSlot& FSlot;
    };

    // Slots come in chunks that never move once made; the directory of chunks grows with
    // the highest descriptor recorded. A directory that a reader may still hold is kept
    // until the table goes.
    static constexpr int ChunkBits = 6;
    static constexpr size_t ChunkSlots = size_t{1} << ChunkBits;

    struct TChunk {
        TSlot Slots[ChunkSlots];
    };
    struct TDirectory {
        explicit TDirectory(size_t ACount)
            : Count(ACount), Chunks(std::make_unique<std::atomic<TChunk*>[]>(ACount)) {}
        size_t Count;
        std::unique_ptr<std::atomic<TChunk*>[]> Chunks;
    };

    // AAct(slot, guard) on the record of ADescriptor while its slot is locked; false when
    // there is none, before or once the lock is held.
    template <typename F> bool Locked(int ADescriptor, F AAct) {
        TSlot* Slot = Find(ADescriptor);
        if (Slot == nullptr || !Slot->Present.load(std::memory_order_acquire)) {
            return false;
        }
        const TSlotGuard Guard(*Slot);
        if (!Slot->Present.load(std::memory_order_relaxed)) {
            return false;
        }
        AAct(*Slot, Guard);
        return true;
    }

    TSlot* Find(int ADescriptor) const {
        if (ADescriptor < 0) {
            return nullptr;
        }
        const TDirectory* Directory = FDirectory.load(std::memory_order_acquire);
        const size_t Index = static_cast<size_t>(ADescriptor) >> ChunkBits;
        if (Directory == nullptr || Index >= Directory->Count) {
            return nullptr;
        }
        TChunk* Chunk = Directory->Chunks[Index].load(std::memory_order_acquire);
        return Chunk == nullptr
                   ? nullptr
                   : &Chunk->Slots[static_cast<size_t>(ADescriptor) & (ChunkSlots - 1)];
    }

    // The slot of ADescriptor, made when missing.
    TSlot& Reserve(int ADescriptor) {
        if (TSlot* Slot = Find(ADescriptor)) {
            return *Slot;
        }
        const std::lock_guard Guard(FGrowLock);
        const size_t Index = static_cast<size_t>(ADescriptor) >> ChunkBits;
        TDirectory* Directory = FDirectory.load(std::memory_order_relaxed);
        if (Directory == nullptr || Index >= Directory->Count) {
            const size_t Old = Directory == nullptr ? 0 : Directory->Count;
            auto Grown = std::make_unique<TDirectory>(std::max(Index + 1, 2 * Old));
            for (size_t I = 0; I < Old; ++I) {
                Grown->Chunks[I].store(Directory->Chunks[I].load(std::memory_order_relaxed),
                                       std::memory_order_relaxed);
            }
            Directory = Grown.get();
            FDirectories.push_back(std::move(Grown));
            FDirectory.store(Directory, std::memory_order_release);
        }
        TChunk* Chunk = Directory->Chunks[Index].load(std::memory_order_relaxed);
        if (Chunk == nullptr) {
            FChunks.push_back(std::make_unique<TChunk>());
            Chunk = FChunks.back().get();
            Directory->Chunks[Index].store(Chunk, std::memory_order_release);
        }
        return Chunk->Slots[static_cast<size_t>(ADescriptor) & (ChunkSlots - 1)];
    }

    bool Insert(int ADescriptor, const TState& AState, bool AReplace) {
        if (ADescriptor < 0) {
            return false;
        }
        TSlot& Slot = Reserve(ADescriptor);
        const TSlotGuard Guard(Slot);
        if (!AReplace && Slot.Present.load(std::memory_order_relaxed)) {
            return false;
        }
        Guard.Write(AState);
        Slot.Present.store(true, std::memory_order_release);
        return true;
    }

    std::atomic<TDirectory*> FDirectory{nullptr};
    std::mutex FGrowLock;
    std::vector<std::unique_ptr<TDirectory>> FDirectories;
    std::vector<std::unique_ptr<TChunk>> FChunks;
};

} // namespace IdPosix
