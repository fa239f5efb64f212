#pragma once

// Views and bitmaps are shared by reference count: whoever keeps one calls
// remember(), and forget() on the last holder destroys it.
class CReferenceCounter {
public:
    CReferenceCounter() = default;
    CReferenceCounter(const CReferenceCounter&) = delete;
    CReferenceCounter& operator=(const CReferenceCounter&) = delete;
    virtual ~CReferenceCounter() = default;

    void remember() { ++nbReference; }
    void forget() {
        if (--nbReference == 0) delete this;
    }
    int getNbReference() const { return nbReference; }

private:
    int nbReference = 1;
};
