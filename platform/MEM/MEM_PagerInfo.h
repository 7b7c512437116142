#pragma once

#include <atomic>
#include <cstddef>
#include <memory>

// MEM_Pager and MEM_PagerInfo - the workstation's picture buffers.
//
// A pager hands out blocks of bytes (a rendered picture, a depth buffer) and
// keeps count of the blocks and bytes alive, up to an optional byte limit. A
// MEM_PagerInfo is a handle to one block:
//
//  * A handle made with no pager (the default) is empty: Size() 0, Data() null.
//    Allocate() on a handle with a pager gives it a new zero-filled block.
//  * Copying a handle shares its block: both handles see the same pixels. The
//    block is freed when the last handle that refers to it lets go, so a block
//    is never freed twice and never outlives its last handle.
//  * Release() lets go of this handle's block: the handle becomes empty (it
//    keeps its pager, so it can Allocate again). Assigning an empty handle over
//    a handle lets go of the block the same way.
//  * The counts of a pager stay valid after the pager itself is destroyed:
//    blocks still alive report to a shared record, not to the pager object.
//
// Handles are plain values; a handle and the handles sharing its block are not
// synchronised: threads that write into one block coordinate among themselves.
class MEM_Pager {
  public:
    // limit_bytes: the most bytes all blocks of this pager may hold together;
    // 0 means no limit.
    explicit MEM_Pager(std::size_t limit_bytes = 0);
    MEM_Pager(const MEM_Pager&) = delete;
    MEM_Pager& operator=(const MEM_Pager&) = delete;
    ~MEM_Pager();

    std::size_t GetLiveBlocks() const;
    std::size_t GetLiveBytes() const;

    struct Record {
        std::atomic<std::size_t> blocks{0};
        std::atomic<std::size_t> bytes{0};
        std::size_t limit = 0;
    };

  private:
    friend class MEM_PagerInfo;
    std::shared_ptr<Record> m_pRecord;
};

class MEM_PagerInfo {
  public:
    explicit MEM_PagerInfo(MEM_Pager* pager = nullptr);
    MEM_PagerInfo(const MEM_PagerInfo&) = default;
    MEM_PagerInfo& operator=(const MEM_PagerInfo&) = default;
    MEM_PagerInfo(MEM_PagerInfo&&) noexcept = default;
    MEM_PagerInfo& operator=(MEM_PagerInfo&&) noexcept = default;
    ~MEM_PagerInfo() = default;

    // Lets go of the current block and takes a new zero-filled one of bytes
    // bytes (0 gives an empty handle). False, the handle then empty, without a
    // pager, when the pager's limit would be passed or memory runs out.
    bool Allocate(std::size_t bytes);
    // Lets go of the block (see above).
    void Release();
    // Bytes of the block; 0 for an empty handle.
    std::size_t Size() const;
    unsigned char* Data() const;
    bool HasPager() const { return m_pRecord != nullptr; }
    // Whether both handles refer to the same block (two empty handles do not).
    bool SharesBlockWith(const MEM_PagerInfo& other) const;

  private:
    struct Block;
    std::shared_ptr<MEM_Pager::Record> m_pRecord;
    std::shared_ptr<Block> m_pBlock;
};
