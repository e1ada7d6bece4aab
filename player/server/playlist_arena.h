// Memory for one playlist's entries and paths. A large playlist is 100,000 list nodes and
// as many path strings; taking each from the process heap, and handing each back on the
// next Load, cost more than reading the file itself. Here blocks are carved from large
// chunks that the playlist keeps, freed blocks are recycled by size, and Reset() makes all
// of it available again at once when the list has been emptied.
#pragma once

#include <cstddef>
#include <memory_resource>
#include <vector>

class PlaylistArena final : public std::pmr::memory_resource {
public:
    PlaylistArena() = default;
    PlaylistArena(const PlaylistArena &) = delete;
    PlaylistArena &operator=(const PlaylistArena &) = delete;
    ~PlaylistArena() override;

    // Forgets every block handed out; only valid when none is in use any more. The
    // chunks stay for the next fill, so a reload touches memory that is already mapped.
    void Reset();

private:
    static constexpr size_t kGrain = 16; // every block is a multiple of this
    static constexpr size_t kLargest = 2048; // larger blocks come from the heap
    static constexpr size_t kChunkSize = 256 * 1024;

    struct FreeBlock {
        FreeBlock *next;
    };

    void *do_allocate(size_t bytes, size_t alignment) override;
    void do_deallocate(void *p, size_t bytes, size_t alignment) override;
    bool do_is_equal(const std::pmr::memory_resource &other) const noexcept override { return this == &other; }

    void *Carve(size_t size);

    std::vector<std::byte *> chunks_;
    size_t chunk_ = 0; // the chunk being carved
    size_t used_ = 0;  // bytes carved from it
    FreeBlock *free_[kLargest / kGrain + 1] = {};
};
