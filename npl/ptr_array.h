// A growable array of untyped pointers whose storage lives in the global library heap, and the
// owning list built on it.
#pragma once

#include <cstdint>

#include "npl/object.h"

/// Never owns what its elements point to. The storage is exactly `capacity` slots; elements at
/// and beyond the count keep whatever values they had when the array shrank.
///
/// When the heap yields no block (after its own no-memory handling), the operation that
/// needed it returns false and leaves the array as it was: nothing is stored through a
/// missing block.
class EPtrArray : public NPLObject {
    NPL_DECLARE_CLASS(NPLObject)

public:
    EPtrArray() = default;
    EPtrArray(const EPtrArray&) = delete;
    EPtrArray& operator=(const EPtrArray&) = delete;
    /// Frees the storage, never the elements.
    ~EPtrArray() override;

    /// Makes the storage exactly `n` slots, keeping the first `n` elements. A count above `n`
    /// is cut down to `n`. False when the heap yields no block; the storage then stays.
    [[nodiscard]] virtual bool AllocBuffer(std::uint32_t n);
    /// Releases the storage. The count is left as it is: RemoveAll is the normal way to empty.
    virtual void FreeBuffer();

    /// The element at `index`, or null when `index` is not below the count.
    [[nodiscard]] void* GetAt(std::uint32_t index) const;
    /// Stores `element` at `index` when it is below the count; false otherwise.
    bool SetAt(std::uint32_t index, void* element);

    /// Makes the count `newCount`. A non-zero `step` becomes the grow step for good. Storage
    /// grows (when there is none, or `newCount` is above the capacity) to the next multiple of
    /// the step strictly above `newCount`, the step being the grow step, else half the count,
    /// else 1; new elements are null. Shrinking keeps the storage. False (nothing changed)
    /// when the heap yields no block or the size cannot be represented.
    [[nodiscard]] bool SetSize(std::uint32_t newCount, std::uint32_t step = 0);
    /// A non-zero `step` becomes the grow step; then, when `n` is at least the count, the
    /// storage becomes exactly `n` slots. With `n` below the count the storage is left alone
    /// and the result is true.
    [[nodiscard]] bool SetCapacity(std::uint32_t n, std::uint32_t step = 0);
    /// Inserts `element` at `index`, moving the elements from `index` on up by one. An index
    /// beyond the count leaves null elements between the old last element and the new one.
    /// False (nothing changed) when the array cannot grow.
    [[nodiscard]] bool InsertAt(std::uint32_t index, void* element);
    /// Count 0 and no storage; the elements themselves are not touched.
    void RemoveAll();

    [[nodiscard]] std::uint32_t GetCount() const { return count_; }
    [[nodiscard]] std::uint32_t GetCapacity() const { return capacity_; }
    [[nodiscard]] std::uint32_t GetGrowStep() const { return growStep_; }
    /// The slots; null when no storage is allocated.
    [[nodiscard]] void** GetData() const { return data_; }

protected:
    void** data_ = nullptr;
    std::uint32_t count_ = 0;
    std::uint32_t capacity_ = 0;
    /// Slots added per growth; 0 means half the current count, at least 1.
    std::uint32_t growStep_ = 0;
};

/// A pointer array that owns its elements: objects of class allocation (library objects made
/// with `new`) that it destroys, last first, when it is destroyed or emptied with DeleteAll.
/// It has no class identity of its own and answers as "EPtrArray".
template <typename T> class EObjectList : public EPtrArray {
public:
    EObjectList() = default;
    ~EObjectList() override { DeleteAll(); }

    [[nodiscard]] T* GetAt(std::uint32_t index) const { return static_cast<T*>(EPtrArray::GetAt(index)); }
    bool SetAt(std::uint32_t index, T* element) { return EPtrArray::SetAt(index, element); }
    [[nodiscard]] bool InsertAt(std::uint32_t index, T* element) { return EPtrArray::InsertAt(index, element); }

    /// Destroys every element, last first, then empties the array. An element's destructor may
    /// shrink the list: the walk then goes on from the new last element. Each slot is cleared
    /// before its element is destroyed, so such a destructor never meets a destroyed element.
    void DeleteAll()
    {
        std::int64_t index = static_cast<std::int64_t>(count_) - 1;
        while (index >= 0) {
            if (data_ != nullptr && index < static_cast<std::int64_t>(count_)) {
                T* element = static_cast<T*>(data_[index]);
                if (element != nullptr) {
                    data_[index] = nullptr;
                    delete element;
                }
            }
            if (static_cast<std::int64_t>(count_) <= index)
                index = static_cast<std::int64_t>(count_) - 1;
            else
                --index;
        }
        RemoveAll();
    }
};
