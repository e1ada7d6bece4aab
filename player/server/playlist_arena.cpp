#include "playlist_arena.h"

#include <new>

namespace {
// A freed block must hold the free-list link, so even an empty request takes one grain.
size_t SlotOf(size_t bytes) { return bytes == 0 ? 1 : (bytes + 15) / 16; }
}

PlaylistArena::~PlaylistArena()
{
    for (std::byte *chunk : chunks_)
        ::operator delete(chunk, std::align_val_t(kGrain));
}

void PlaylistArena::Reset()
{
    for (FreeBlock *&list : free_)
        list = nullptr;
    chunk_ = 0;
    used_ = 0;
}

void *PlaylistArena::Carve(size_t size)
{
    while (chunk_ < chunks_.size()) {
        if (kChunkSize - used_ >= size) {
            void *p = chunks_[chunk_] + used_;
            used_ += size;
            return p;
        }
        ++chunk_;
        used_ = 0;
    }
    chunks_.reserve(chunks_.size() + 1); // may throw before the chunk is taken
    chunks_.push_back(static_cast<std::byte *>(::operator new(kChunkSize, std::align_val_t(kGrain))));
    chunk_ = chunks_.size() - 1;
    used_ = size;
    return chunks_.back();
}

void *PlaylistArena::do_allocate(size_t bytes, size_t alignment)
{
    if (bytes > kLargest || alignment > kGrain)
        return ::operator new(bytes, std::align_val_t(alignment));
    const size_t slot = SlotOf(bytes);
    if (FreeBlock *block = free_[slot]) {
        free_[slot] = block->next;
        return block;
    }
    return Carve(slot * kGrain);
}

void PlaylistArena::do_deallocate(void *p, size_t bytes, size_t alignment)
{
    if (bytes > kLargest || alignment > kGrain) {
        ::operator delete(p, std::align_val_t(alignment));
        return;
    }
    const size_t slot = SlotOf(bytes);
    auto *block = static_cast<FreeBlock *>(p);
    block->next = free_[slot];
    free_[slot] = block;
}
