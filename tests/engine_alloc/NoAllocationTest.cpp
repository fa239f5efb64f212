// The audio thread must never touch the heap: an allocation can block on the
// allocator's lock or page in memory and make the host miss its deadline. Every
// allocation and release function is replaced here and counted, on the measuring
// thread only, while the engine entry points run.
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>

#include "support/PatchFixture.h"

extern "C" {
void* __libc_malloc(std::size_t);
void* __libc_calloc(std::size_t, std::size_t);
void* __libc_realloc(void*, std::size_t);
void __libc_free(void*);
void* __libc_memalign(std::size_t, std::size_t);
}

namespace {

thread_local bool counting = false;
thread_local long allocations = 0;
thread_local long releases = 0;

inline void noteAllocation() {
    if (counting) ++allocations;
}
inline void noteRelease(void* p) {
    if (counting && p) ++releases;
}

void* allocate(std::size_t n) {
    noteAllocation();
    return __libc_malloc(n ? n : 1);
}

void* allocateAligned(std::size_t n, std::align_val_t al) {
    noteAllocation();
    return __libc_memalign((std::size_t)al, n ? n : 1);
}

void* orThrow(void* p) {
    if (!p) throw std::bad_alloc();
    return p;
}

void release(void* p) {
    noteRelease(p);
    __libc_free(p);
}

}  // namespace

// C allocation too, so a module that calls malloc or strdup is caught as well.
extern "C" {
void* malloc(std::size_t n) {
    noteAllocation();
    return __libc_malloc(n);
}
void* calloc(std::size_t n, std::size_t size) {
    noteAllocation();
    return __libc_calloc(n, size);
}
void* realloc(void* p, std::size_t n) {
    noteAllocation();
    return __libc_realloc(p, n);
}
void free(void* p) { release(p); }
}

void* operator new(std::size_t n) { return orThrow(allocate(n)); }
void* operator new[](std::size_t n) { return orThrow(allocate(n)); }
void* operator new(std::size_t n, const std::nothrow_t&) noexcept { return allocate(n); }
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept { return allocate(n); }
void* operator new(std::size_t n, std::align_val_t al) { return orThrow(allocateAligned(n, al)); }
void* operator new[](std::size_t n, std::align_val_t al) { return orThrow(allocateAligned(n, al)); }
void* operator new(std::size_t n, std::align_val_t al, const std::nothrow_t&) noexcept {
    return allocateAligned(n, al);
}
void* operator new[](std::size_t n, std::align_val_t al, const std::nothrow_t&) noexcept {
    return allocateAligned(n, al);
}
void operator delete(void* p) noexcept { release(p); }
void operator delete[](void* p) noexcept { release(p); }
void operator delete(void* p, std::size_t) noexcept { release(p); }
void operator delete[](void* p, std::size_t) noexcept { release(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { release(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { release(p); }
void operator delete(void* p, std::align_val_t) noexcept { release(p); }
void operator delete[](void* p, std::align_val_t) noexcept { release(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { release(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { release(p); }
void operator delete(void* p, std::align_val_t, const std::nothrow_t&) noexcept { release(p); }
void operator delete[](void* p, std::align_val_t, const std::nothrow_t&) noexcept { release(p); }

using namespace fixture;

namespace {

struct HeapUse {
    long allocations, releases;
};

template <class F>
HeapUse heapUseOf(F&& f) {
    allocations = releases = 0;
    counting = true;
    f();
    counting = false;
    return {allocations, releases};
}

#define EXPECT_NO_HEAP(use)                                        \
    do {                                                           \
        const HeapUse u_ = (use);                                  \
        EXPECT_EQ(u_.allocations, 0) << "allocations";             \
        EXPECT_EQ(u_.releases, 0) << "releases";                   \
    } while (0)

// SA01 left -> four +0.1 stages -> SA02 left; SA01 right -> SA02 right, and an
// amplifier kept on with nothing plugged in, so the process list holds every kind
// of member. With constant inputs the outputs settle to known values.
struct CabledPatch {
    static constexpr float kIn = 0.5f, kStep = 0.1f;
    explicit CabledPatch(Rig& rig) : rig(rig) {
        from = rig.add("SA01 2 From DAW");
        amp = rig.add("SA05 2 DAW 12db Amplifier");
        rig.editor.setAlwaysOn(amp, true);
        out = rig.add("SA02 2 DAW");
        PatchPoint* prev = jacks(from)[1];
        for (int i = 0; i < 4; ++i) {
            stages[i] = rig.addCustom<AddModule>(kStep);
            EXPECT_NE(rig.cable(prev, stages[i]->in), nullptr);
            prev = stages[i]->out;
        }
        EXPECT_NE(rig.cable(prev, jacks(out)[1]), nullptr);
        EXPECT_NE(rig.cable(jacks(from)[0], jacks(out)[0]), nullptr);
    }
    // SA02 at its default knob passes a quarter of its input.
    static float settledLeft() { return 0.25f * (kIn + 4 * kStep); }
    static float settledRight() { return 0.25f * kIn; }

    Rig& rig;
    Module* from;
    Module* amp;
    Module* out;
    AddModule* stages[4];
};

HostBuffers constantInput(int frames) {
    HostBuffers io(frames, 0.9f);
    for (auto& b : io.in) std::fill(b.begin(), b.end(), CabledPatch::kIn);
    return io;
}

TEST(NoAllocation, RenderingACabledPatchFromTheFirstBlockOn) {
    Rig rig;
    CabledPatch patch(rig);
    HostBuffers io = constantInput(512);
    EXPECT_NO_HEAP(heapUseOf([&] { rig.render(io); }));
    EXPECT_NO_HEAP(heapUseOf([&] {
        for (int b = 0; b < 20; ++b) rig.render(io);
    }));
    // The measured blocks did the work: the signal went through every stage.
    EXPECT_FLOAT_EQ(io.out[0][511], CabledPatch::settledLeft());
    EXPECT_FLOAT_EQ(io.out[1][511], CabledPatch::settledRight());
    for (int k = 2; k < kNumOutputs; ++k) EXPECT_EQ(io.out[k][511], 0.f) << "output " << k + 1;
}

// {oversampling exponent, filter entry}: FIR Auto at 4X, the IIR at 4X, and the
// longest FIR (FIR Auto double at 256X).
class OversampledNoAllocation : public ::testing::TestWithParam<std::pair<int, int>> {};

TEST_P(OversampledNoAllocation, RenderingAndTheBlockAfterACableChange) {
    const auto [v, filterType] = GetParam();
    Rig rig;
    CabledPatch patch(rig);
    rig.plugin.setFilterType(filterType);
    rig.plugin.setOversampling(v);
    ASSERT_EQ(rig.plugin.oversampleFactor, 1 << v);
    ASSERT_EQ(rig.plugin.decimator.firTaps, Decimator::tapCount(filterType, 1 << v));

    HostBuffers io = constantInput(512);
    EXPECT_NO_HEAP(heapUseOf([&] {
        for (int b = 0; b < 4; ++b) rig.render(io);
    }));
    // The decimator passes DC at unity once the window is full of the settled value.
    EXPECT_NEAR(io.out[0][511], CabledPatch::settledLeft(), 1e-3f);
    EXPECT_NEAR(io.out[1][511], CabledPatch::settledRight(), 1e-3f);

    // Bypass the stages: a new cable into the SA02 replaces the chain's, which
    // rebuilds the copy table and shrinks the process list.
    ASSERT_NE(rig.cable(jacks(patch.from)[1], jacks(patch.out)[1]), nullptr);
    rig.editor.removeCable(patch.stages[3]->in->cable);
    EXPECT_NO_HEAP(heapUseOf([&] {
        for (int b = 0; b < 4; ++b) rig.render(io);
    }));
    EXPECT_NEAR(io.out[0][511], 0.25f * CabledPatch::kIn, 1e-3f);

    // Deleting a module that is still in the process list, and adding one.
    rig.editor.deleteModule(patch.amp);
    Module* amp2 = rig.add("SA05 2 DAW 12db Amplifier");
    ASSERT_NE(rig.cable(jacks(patch.from)[0], jacks(amp2)[0]), nullptr);
    EXPECT_NO_HEAP(heapUseOf([&] { rig.render(io); }));
    EXPECT_EQ(rig.plugin.dawOutWriters, 2);
}

INSTANTIATE_TEST_SUITE_P(Factors, OversampledNoAllocation,
                         ::testing::Values(std::make_pair(2, 1), std::make_pair(2, 0), std::make_pair(8, 2)));

TEST(NoAllocation, HostThatProcessesInPlace) {
    // Outputs 1 and 2 alias inputs 1 and 2: the engine reads its own copy of them.
    Rig rig;
    CabledPatch patch(rig);
    HostBuffers io = constantInput(512);
    io.outPtr[0] = io.inPtr[0];
    io.outPtr[1] = io.inPtr[1];
    EXPECT_NO_HEAP(heapUseOf([&] { rig.render(io); }));
    EXPECT_NO_HEAP(heapUseOf([&] { rig.render(io); }));
}

TEST(NoAllocation, EventsWithNoReceiverAndParameterAccess) {
    Rig rig;
    Module* out = rig.add("SA02 2 DAW");
    ASSERT_EQ(rig.editor.midiReceivers.size(), 0);

    vst::VstMidiEvent notes[2] = {};
    for (int i = 0; i < 2; ++i) {
        notes[i].type = vst::kVstMidiType;
        notes[i].byteSize = sizeof notes[i];
        notes[i].deltaFrames = 10 * i;
        notes[i].midiData[0] = (char)(i == 0 ? 0x90 : 0x80);
        notes[i].midiData[1] = 60;
        notes[i].midiData[2] = 100;
    }
    alignas(vst::VstEvents) char storage[sizeof(vst::VstEvents) + 2 * sizeof(void*)] = {};
    auto* events = reinterpret_cast<vst::VstEvents*>(storage);
    events->numEvents = 2;
    events->events[0] = reinterpret_cast<vst::VstEvent*>(&notes[0]);
    events->events[1] = reinterpret_cast<vst::VstEvent*>(&notes[1]);

    int results[2] = {};
    EXPECT_NO_HEAP(heapUseOf([&] {
        results[0] = rig.plugin.processEvents(events);
        results[1] = rig.plugin.processEvents(nullptr);
    }));
    EXPECT_EQ(results[0], 1);
    EXPECT_EQ(results[1], 1);

    // Automation arrives on the audio thread too.
    const int32_t tag = knobs(out)[0]->getTag();
    ASSERT_GE(tag, 0);
    ASSERT_LT(tag, kNumParameters);
    float read = 0.f;
    EXPECT_NO_HEAP(heapUseOf([&] {
        rig.plugin.setParameter(tag, 0.8f);
        read = rig.plugin.getParameter(tag);
        rig.plugin.setParameter(-1, 0.3f);
        rig.plugin.setParameter(kNumParameters, 0.3f);
    }));
    EXPECT_FLOAT_EQ(read, 0.8f);
}

// The counter itself: a test that finds nothing must be able to find something.
// Each pointer escapes so the compiler cannot drop an allocation it sees unused.
TEST(NoAllocation, TheCounterSeesEveryKindOfAllocationOnTheMeasuringThread) {
    auto escape = [](void* p) { asm volatile("" : : "g"(p) : "memory"); };
    const HeapUse mine = heapUseOf([&] {
        std::vector<int> v(100);
        escape(v.data());
        void* p = std::malloc(8);
        escape(p);
        std::free(p);
        auto* a = new PatchPoint*[3];
        escape(a);
        delete[] a;
    });
    EXPECT_EQ(mine.allocations, 3);
    EXPECT_EQ(mine.releases, 3);
    // Nothing is counted outside the measured call.
    std::vector<int> after(10);
    escape(after.data());
    EXPECT_EQ(allocations, 3);
}

}  // namespace
