// Room for the calls' pictures, kept between calls: a video's frames then reuse the same pages
// instead of faulting in fresh ones for every frame, as large blocks go back to the system when
// freed. Calls on several threads each lease their own blocks; the pool holds at most kKeptBlocks
// blocks and kKeptBytes bytes between calls.
#pragma once

#include <cstddef>
#include <memory>
#include <mutex>
#include <vector>

template <class T>
class RoomPool {
public:
    static constexpr std::size_t kKeptBlocks = 16;
    static constexpr std::size_t kKeptBytes = std::size_t{256} << 20;

    // A block of at least `count` elements, uninitialised, back in the pool when the lease ends.
    class Lease {
    public:
        Lease(RoomPool& pool, std::size_t count) : pool_(&pool), block_(pool.take(count)) {}
        ~Lease() { pool_->give_back(std::move(block_)); }
        Lease(Lease&& other) noexcept = default;
        Lease(const Lease&) = delete;
        Lease& operator=(const Lease&) = delete;
        Lease& operator=(Lease&&) = delete;
        T* get() const { return block_.data.get(); }

    private:
        RoomPool* pool_;
        typename RoomPool::Block block_;
    };

    // Frees every block held between calls.
    void release()
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        free_.clear();
    }

private:
    struct Block {
        std::size_t count = 0;
        std::unique_ptr<T[]> data;
    };

    // The smallest free block that holds `count`, else a new one.
    Block take(std::size_t count)
    {
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            auto best = free_.end();
            for (auto it = free_.begin(); it != free_.end(); ++it)
                if (it->count >= count && (best == free_.end() || it->count < best->count)) best = it;
            if (best != free_.end()) {
                Block block = std::move(*best);
                free_.erase(best);
                return block;
            }
        }
        return Block{count, std::unique_ptr<T[]>(new T[count])};
    }

    // Keeps the block when there is room for it; frees it otherwise (or when keeping it fails).
    void give_back(Block block) noexcept
    {
        if (!block.data) return;
        try {
            const std::lock_guard<std::mutex> lock(mutex_);
            std::size_t bytes = block.count * sizeof(T);
            for (const Block& kept : free_) bytes += kept.count * sizeof(T);
            if (free_.size() < kKeptBlocks && bytes <= kKeptBytes) free_.push_back(std::move(block));
        } catch (...) {
        }
    }

    std::mutex mutex_;
    std::vector<Block> free_;
};
