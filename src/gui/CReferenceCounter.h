#pragma once

#include <atomic>

// Views and bitmaps are shared by reference count: whoever keeps one calls
// remember(), and forget() on the last holder destroys it.
class CReferenceCounter {
public:
    CReferenceCounter() = default;
    CReferenceCounter(const CReferenceCounter&) = delete;
    CReferenceCounter& operator=(const CReferenceCounter&) = delete;
    virtual ~CReferenceCounter() = default;

    void remember() { nbReference.fetch_add(1, std::memory_order_relaxed); }
    void forget() {
        if (nbReference.fetch_sub(1, std::memory_order_acq_rel) == 1) delete this;
    }
    int getNbReference() const { return nbReference.load(std::memory_order_relaxed); }

private:
    // Shared bitmaps are held by the views of every instance, which hosts may
    // build on different threads.
    std::atomic<int> nbReference{1};
};
