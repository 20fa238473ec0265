// The framework's ordered list of owned objects: reserved in steps of 32 entries, filled by index
// (or appended), and deleting what it holds when it is destroyed.
#pragma once

#include <memory>
#include <utility>
#include <vector>

namespace Korvel {

template <typename T> class KList {
public:
    static constexpr int kGrowStep = 32;

    KList() = default;
    KList(const KList&) = delete;
    KList& operator=(const KList&) = delete;

    // Makes room for at least count entries; new entries are empty.
    void reserve(int count) {
        if (count <= size()) return;
        // Steps of kGrowStep, but at least doubling, so appending one at a time stays linear.
        std::size_t rounded = static_cast<std::size_t>((count + kGrowStep - 1) / kGrowStep) *
                              static_cast<std::size_t>(kGrowStep);
        if (rounded > items_.capacity())
            items_.reserve(rounded > 2 * items_.capacity() ? rounded : 2 * items_.capacity());
        items_.resize(static_cast<std::size_t>(count));
    }

    // Puts item at index (growing the list when needed), deleting what was there. The list owns
    // item from the call on, so it is deleted, not leaked, when growing the list throws.
    void set(int index, std::unique_ptr<T> item) {
        if (index < 0) return;
        reserve(index + 1);
        items_[static_cast<std::size_t>(index)] = std::move(item);
    }
    void set(int index, T* item) { set(index, std::unique_ptr<T>(item)); }

    void add(std::unique_ptr<T> item) { set(size(), std::move(item)); }
    void add(T* item) { set(size(), std::unique_ptr<T>(item)); }

    // Null outside 0..size()-1: callers pass host indexes straight through.
    T* get(int index) const {
        if (index < 0 || index >= size()) return nullptr;
        return items_[static_cast<std::size_t>(index)].get();
    }

    int size() const { return static_cast<int>(items_.size()); }

    void clear() { items_.clear(); }

private:
    std::vector<std::unique_ptr<T>> items_;
};

} // namespace Korvel
