#pragma once
// Memory for the many small pieces of a registry hive (keys, their arrays, the
// text of names and values): handed out in order from large blocks and given
// back all together when the arena goes, so that neither reading nor freeing a
// hive costs an allocation per key or value. Pieces that changes give back
// are kept by size class and handed out again, so that repeated changes do
// not make the arena grow.

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstring>
#include <memory>
#include <vector>

namespace frambul::store {

class Arena {
 public:
  Arena() = default;
  Arena(const Arena&) = delete;
  Arena& operator=(const Arena&) = delete;

  // `bytes` aligned to `align` (a power of two, at most 16), kept until the arena goes.
  void* Allocate(size_t bytes, size_t align) {
    const size_t at = (used_ + align - 1) & ~(align - 1);
    if (at + bytes > size_) return AllocateElsewhere(bytes, align);
    used_ = at + bytes;
    return block_ + at;
  }

  // The size class that holds `bytes`: pieces of 2^class bytes, 8 at least.
  static unsigned ClassFor(size_t bytes) { return static_cast<unsigned>(std::bit_width(std::max<size_t>(bytes, 8) - 1)); }
  // A piece of 2^`sizeClass` bytes, aligned to 8; one given back before when there is one.
  void* AllocateClass(unsigned sizeClass) {
    if (void* piece = free_[sizeClass]) {
      std::memcpy(&free_[sizeClass], piece, sizeof(void*));
      return piece;
    }
    return Allocate(size_t{1} << sizeClass, 8);
  }
  // Takes back a piece of 2^`sizeClass` bytes or more, for AllocateClass to hand out again.
  void Release(void* piece, unsigned sizeClass) {
    std::memcpy(piece, &free_[sizeClass], sizeof(void*));
    free_[sizeClass] = piece;
  }
  // Takes back a piece of exactly `bytes` that Allocate gave: into the largest class it can serve.
  void ReleaseExact(void* piece, size_t bytes) {
    if (bytes >= 8) Release(piece, static_cast<unsigned>(std::bit_width(bytes) - 1));
  }

 private:
  static constexpr size_t kFirstBlock = 4096, kLastBlock = 256 * 1024, kOwnBlock = 4096;

  void* AllocateElsewhere(size_t bytes, size_t align) {
    // A big piece gets a block of its own, and the current block stays current.
    if (bytes > kOwnBlock) {
      blocks_.push_back(std::make_unique_for_overwrite<std::byte[]>(bytes));
      return blocks_.back().get();
    }
    size_ = std::min(kLastBlock, size_ ? size_ * 2 : kFirstBlock);
    blocks_.push_back(std::make_unique_for_overwrite<std::byte[]>(size_));
    block_ = blocks_.back().get();
    used_ = bytes;
    (void)align;  // a new block starts aligned for everything
    return block_;
  }

  std::vector<std::unique_ptr<std::byte[]>> blocks_;
  std::byte* block_ = nullptr;
  size_t size_ = 0;
  size_t used_ = 0;
  void* free_[64] = {};
};

}  // namespace frambul::store
