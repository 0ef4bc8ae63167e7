#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

namespace headroom {

// One entry of a folder listing, as getdents64 gives it.
struct DirEntry {
    std::uint64_t ino = 0;
    std::int64_t next = 0;  // cookie (d_off) that resumes the listing right after this entry
    unsigned char type = 0; // DT_* (DT_UNKNOWN where the file system does not say)
    const char* name = "";  // NUL-terminated; valid until the next read()
    std::uint32_t at = 0;   // where the entry sits in the batch, for nameAt()
};

// Lists an open folder descriptor in batches with getdents64: one system
// call per batch of 64 KiB, no allocation per entry. Iterating a batch
// yields every entry but "." and "..", in listing order. To resume a listing
// in a descriptor opened again, lseek it to an entry's `next` cookie.
//
// One reader per thread; its buffer is allocated once, by the constructor
// (std::bad_alloc when it cannot be).
class DirEntries {
public:
    static constexpr std::size_t kBufferSize = std::size_t{64} * 1024;

    // `bufferSize`: the bytes of one batch; a small folder, such as the
    // list of a process's descriptors, needs far fewer.
    explicit DirEntries(std::size_t bufferSize = kBufferSize);
    DirEntries(const DirEntries&) = delete;
    DirEntries& operator=(const DirEntries&) = delete;
    DirEntries(DirEntries&&) noexcept = default;
    DirEntries& operator=(DirEntries&&) noexcept = default;

    // Reads the next batch from the descriptor's current position: true
    // with at least one record read, false at the end of the folder or on
    // an error (errno then set, 0 at the end).
    bool read(int fd);

    // The name of the entry whose record starts at `at` in the current batch.
    const char* nameAt(std::uint32_t at) const { return m_buffer.get() + at + kNameOffset; }

    class Iterator {
    public:
        Iterator(const DirEntries& owner, std::size_t pos) : m_owner(&owner), m_pos(pos) { skipDots(); }
        const DirEntry& operator*() const { return m_entry; }
        const DirEntry* operator->() const { return &m_entry; }
        Iterator& operator++()
        {
            m_pos += m_reclen;
            skipDots();
            return *this;
        }
        bool operator!=(const Iterator& other) const { return m_pos != other.m_pos; }

    private:
        void skipDots()
        {
            while (m_pos < m_owner->m_size) {
                Head head;
                std::memcpy(&head, m_owner->m_buffer.get() + m_pos, sizeof head);
                m_reclen = head.d_reclen;
                const char* name = m_owner->m_buffer.get() + m_pos + kNameOffset;
                if (!(name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0')))) {
                    m_entry = {head.d_ino, head.d_off, head.d_type, name, static_cast<std::uint32_t>(m_pos)};
                    return;
                }
                m_pos += m_reclen;
            }
        }

        const DirEntries* m_owner;
        std::size_t m_pos;
        std::size_t m_reclen = 0;
        DirEntry m_entry;
    };

    Iterator begin() const { return {*this, 0}; }
    Iterator end() const { return {*this, m_size}; }

private:
    // The fixed head of a linux_dirent64 record; the NUL-terminated name
    // follows d_type. The kernel's struct ends in a flexible array, which
    // ISO C++ lacks, so heads are copied out of the byte buffer.
    struct Head {
        std::uint64_t d_ino;
        std::int64_t d_off;
        unsigned short d_reclen;
        unsigned char d_type;
    };
    static constexpr std::size_t kNameOffset = offsetof(Head, d_type) + 1;
    static_assert(kNameOffset == 19, "linux_dirent64 puts the name at byte 19");

    std::unique_ptr<char[]> m_buffer;
    std::size_t m_capacity = 0;
    std::size_t m_size = 0; // bytes of records in the current batch
};

} // namespace headroom
