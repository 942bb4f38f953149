#pragma once

#include <QtGlobal>

#include <cstddef>
#include <vector>

// The archive's name index: from a name's hash to the directory positions of
// the entries with that hash. One flat table (open addressing, linear probing)
// that is allocated once for the directory's size, so building it for 100,000
// entries makes no allocation per entry, and a rebuild of a directory that did
// not grow makes none at all.
class EntryNameIndex
{
public:
    // Makes the index hold `count` positions without growing (it may hold more).
    void Reserve(size_t count);
    void Clear();
    void Insert(quint32 hash, int position);
    // Removes the pair; nothing when it is not there.
    void Erase(quint32 hash, int position);

    // Calls `visit(position)` for every position stored under `hash`, in no
    // particular order; `visit` returns false to stop early.
    template <class Visit> void ForEach(quint32 hash, Visit visit) const
    {
        if (table.empty())
            return;
        for (size_t i = Home(hash);; i = (i + 1) & mask) {
            const Slot &slot = table[i];
            if (slot.positionPlusOne == 0)
                return;
            if (slot.hash == hash && !visit(int(slot.positionPlusOne - 1)))
                return;
        }
    }

    size_t size() const { return used; }

private:
    struct Slot
    {
        quint32 hash = 0;
        quint32 positionPlusOne = 0; // 0: an empty slot
    };

    // Tables of 2 MiB and more (100,000 entries and up) are placed on 2 MiB
    // boundaries and offered to the system for 2 MiB pages: filling one then
    // takes one page fault instead of 512 (about 15 µs each on this virtual machine).
    template <class T> struct LargePageAllocator
    {
        using value_type = T;
        LargePageAllocator() = default;
        template <class U> LargePageAllocator(const LargePageAllocator<U> &) {}
        T *allocate(size_t n) { return static_cast<T *>(AllocateLarge(n * sizeof(T))); }
        void deallocate(T *p, size_t n) { FreeLarge(p, n * sizeof(T)); }
        bool operator==(const LargePageAllocator &) const { return true; }
        bool operator!=(const LargePageAllocator &) const { return false; }
    };
    static void *AllocateLarge(size_t bytes);
    static void FreeLarge(void *memory, size_t bytes);

    size_t Home(quint32 hash) const { return size_t(hash ^ (hash >> 15)) & mask; }
    void Grow(size_t capacity);

    std::vector<Slot, LargePageAllocator<Slot>> table;
    size_t mask = 0;
    size_t used = 0;
};
