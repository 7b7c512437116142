#include "MEM/MEM_PagerInfo.h"

#include <new>
#include <utility>

struct MEM_PagerInfo::Block {
    Block(std::shared_ptr<MEM_Pager::Record> record, std::size_t bytes)
        : m_pRecord(std::move(record)), m_pBytes(new unsigned char[bytes]()), m_nBytes(bytes) {}
    Block(const Block&) = delete;
    Block& operator=(const Block&) = delete;
    ~Block() {
        m_pRecord->blocks.fetch_sub(1);
        m_pRecord->bytes.fetch_sub(m_nBytes);
    }

    std::shared_ptr<MEM_Pager::Record> m_pRecord;
    std::unique_ptr<unsigned char[]> m_pBytes;
    std::size_t m_nBytes;
};

MEM_Pager::MEM_Pager(std::size_t limit_bytes) : m_pRecord(std::make_shared<Record>()) {
    m_pRecord->limit = limit_bytes;
}

MEM_Pager::~MEM_Pager() = default;

std::size_t MEM_Pager::GetLiveBlocks() const {
    return m_pRecord->blocks.load();
}

std::size_t MEM_Pager::GetLiveBytes() const {
    return m_pRecord->bytes.load();
}

MEM_PagerInfo::MEM_PagerInfo(MEM_Pager* pager)
    : m_pRecord(pager != nullptr ? pager->m_pRecord : nullptr) {}

bool MEM_PagerInfo::Allocate(std::size_t bytes) {
    m_pBlock.reset();
    if (m_pRecord == nullptr) {
        return false;
    }
    if (bytes == 0) {
        return true;
    }
    MEM_Pager::Record& record = *m_pRecord;
    // Reserve first so that two threads cannot both pass the limit.
    const std::size_t before = record.bytes.fetch_add(bytes);
    if (record.limit != 0 && (before + bytes < before || before + bytes > record.limit)) {
        record.bytes.fetch_sub(bytes);
        return false;
    }
    record.blocks.fetch_add(1);
    try {
        m_pBlock = std::make_shared<Block>(m_pRecord, bytes);
    } catch (const std::bad_alloc&) {
        record.blocks.fetch_sub(1);
        record.bytes.fetch_sub(bytes);
        return false;
    }
    return true;
}

void MEM_PagerInfo::Release() {
    m_pBlock.reset();
}

std::size_t MEM_PagerInfo::Size() const {
    return m_pBlock != nullptr ? m_pBlock->m_nBytes : 0;
}

unsigned char* MEM_PagerInfo::Data() const {
    return m_pBlock != nullptr ? m_pBlock->m_pBytes.get() : nullptr;
}

bool MEM_PagerInfo::SharesBlockWith(const MEM_PagerInfo& other) const {
    return m_pBlock != nullptr && m_pBlock == other.m_pBlock;
}
