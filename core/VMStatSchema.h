#pragma once

#include <cstdint>

namespace headroom {

// One snapshot of the kernel's page counters. Counts are pages, never bytes:
// turning pages into bytes is the display's business.
class VMStatSchema {
public:
    std::uint64_t pagesFree() const { return pagesFree_; }
    std::uint64_t pagesActive() const { return pagesActive_; }
    std::uint64_t pagesInactive() const { return pagesInactive_; }
    std::uint64_t pagesSpeculative() const { return pagesSpeculative_; }
    std::uint64_t pagesWiredDown() const { return pagesWiredDown_; }
    std::uint64_t translationFaults() const { return translationFaults_; }
    std::uint64_t pagesCopyOnWrite() const { return pagesCopyOnWrite_; }
    std::uint64_t pagesZeroFilled() const { return pagesZeroFilled_; }
    std::uint64_t pagesReactivated() const { return pagesReactivated_; }
    std::uint64_t pageins() const { return pageins_; }
    std::uint64_t pageouts() const { return pageouts_; }

    void setPagesFree(std::uint64_t v) { pagesFree_ = v; }
    void setPagesActive(std::uint64_t v) { pagesActive_ = v; }
    void setPagesInactive(std::uint64_t v) { pagesInactive_ = v; }
    void setPagesSpeculative(std::uint64_t v) { pagesSpeculative_ = v; }
    void setPagesWiredDown(std::uint64_t v) { pagesWiredDown_ = v; }
    void setTranslationFaults(std::uint64_t v) { translationFaults_ = v; }
    void setPagesCopyOnWrite(std::uint64_t v) { pagesCopyOnWrite_ = v; }
    void setPagesZeroFilled(std::uint64_t v) { pagesZeroFilled_ = v; }
    void setPagesReactivated(std::uint64_t v) { pagesReactivated_ = v; }
    void setPageins(std::uint64_t v) { pageins_ = v; }
    void setPageouts(std::uint64_t v) { pageouts_ = v; }

    // Free + wired + active + inactive pages. Speculative pages and the
    // cumulative counters take no part: this is the sum of the four
    // categories the display shows, not the machine's physical memory.
    std::uint64_t getTotalMemory() const;

private:
    std::uint64_t pagesFree_ = 0;
    std::uint64_t pagesActive_ = 0;
    std::uint64_t pagesInactive_ = 0;
    std::uint64_t pagesSpeculative_ = 0;
    std::uint64_t pagesWiredDown_ = 0;
    std::uint64_t translationFaults_ = 0;
    std::uint64_t pagesCopyOnWrite_ = 0;
    std::uint64_t pagesZeroFilled_ = 0;
    std::uint64_t pagesReactivated_ = 0;
    std::uint64_t pageins_ = 0;
    std::uint64_t pageouts_ = 0;
};

} // namespace headroom
