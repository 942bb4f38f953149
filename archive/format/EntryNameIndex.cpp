#include "archive/format/EntryNameIndex.h"

#include <algorithm>
#include <cstdlib>
#include <new>

#ifdef Q_OS_LINUX
#include <sys/mman.h>
#endif

namespace {

constexpr size_t kLargePage = 2 * 1024 * 1024;

} // namespace

void *EntryNameIndex::AllocateLarge(size_t bytes)
{
    if (bytes < kLargePage) {
        void *memory = std::malloc(bytes);
        if (!memory)
            throw std::bad_alloc();
        return memory;
    }
    const size_t rounded = (bytes + kLargePage - 1) / kLargePage * kLargePage;
    void *memory = std::aligned_alloc(kLargePage, rounded);
    if (!memory)
        throw std::bad_alloc();
#ifdef MADV_HUGEPAGE
    ::madvise(memory, rounded, MADV_HUGEPAGE); // only a hint
#endif
    return memory;
}

void EntryNameIndex::FreeLarge(void *memory, size_t)
{
    std::free(memory);
}

void EntryNameIndex::Reserve(size_t count)
{
    // At most half full: a probe then stops after about two table.
    size_t capacity = 16;
    while (capacity < 2 * count)
        capacity *= 2;
    if (capacity > table.size())
        Grow(capacity);
}

void EntryNameIndex::Clear()
{
    std::fill(table.begin(), table.end(), Slot());
    used = 0;
}

void EntryNameIndex::Grow(size_t capacity)
{
    std::vector<Slot, LargePageAllocator<Slot>> old(capacity);
    old.swap(table);
    mask = capacity - 1;
    used = 0;
    for (const Slot &slot : old)
        if (slot.positionPlusOne != 0)
            Insert(slot.hash, int(slot.positionPlusOne - 1));
}

void EntryNameIndex::Insert(quint32 hash, int position)
{
    if (2 * (used + 1) > table.size())
        Reserve(used + 1);
    size_t i = Home(hash);
    while (table[i].positionPlusOne != 0)
        i = (i + 1) & mask;
    table[i] = {hash, quint32(position) + 1};
    ++used;
}

void EntryNameIndex::Erase(quint32 hash, int position)
{
    if (table.empty())
        return;
    size_t i = Home(hash);
    for (;; i = (i + 1) & mask) {
        if (table[i].positionPlusOne == 0)
            return;
        if (table[i].hash == hash && table[i].positionPlusOne == quint32(position) + 1)
            break;
    }
    // Backward shift: move later table of the run into the hole when their home
    // lies at or before it, so no probe ever stops at a hole.
    size_t hole = i;
    for (size_t j = (hole + 1) & mask; table[j].positionPlusOne != 0; j = (j + 1) & mask) {
        const size_t home = Home(table[j].hash);
        // Whether `home` lies cyclically in (hole, j]: then the slot stays.
        const bool stays = hole <= j ? (home > hole && home <= j) : (home > hole || home <= j);
        if (!stays) {
            table[hole] = table[j];
            hole = j;
        }
    }
    table[hole] = Slot();
    --used;
}
