#pragma once

#include <cstring>

// Brings the two main outputs from the oversampled rate back to the host rate:
// a cascade of two state-variable low-passes run every pass, or a linear-phase
// windowed-sinc FIR fed every pass and evaluated once per host sample.
class Decimator {
public:
    static constexpr int kMaxTaps = 12801;
    static constexpr int kCoefCount = kMaxTaps / 2 + 2;
    static constexpr int kFilterEntries = 16;

    // FIR length for an Oversampling Filter entry at factor F; 0 selects the IIR.
    static int tapCount(int filterType, int factor);

    // Editor side, engine lock held.
    void designFir(int taps, double fc);
    // Changes N keeping the newest history in order, so no read leaves the ring.
    void setTaps(int taps);

    // Audio thread: one IIR step for both outputs (they share the offset).
    inline void iirPass(float xl, float xr, float f) {
        dcOffset = -dcOffset;
        const float d = dcOffset;
        step(svfState[0], xl + d, f);
        step(svfState[1], xr + d, f);
    }
    float iirOutL() const { return svfState[0][3]; }
    float iirOutR() const { return svfState[1][3]; }

    // Audio thread: one FIR input pair per pass.
    inline void firPush(float l, float r) {
        if (firEnd >= firLimit) slide();
        firLine[0][firEnd] = l;
        firLine[1][firEnd] = r;
        ++firEnd;
        if (std::memcmp(&l, &r, sizeof l) != 0) firDiffer = firEnd;
    }
    // Audio thread: room for up to kRoom inputs after the newest, for a caller that
    // writes them in place from firNext and then takes them with firAdvance.
    inline void firReserve(int count) {
        if (firEnd + count > firLimit) slide();
    }
    float* firNext(int channel) { return firLine[channel] + firEnd; }
    void firAdvance(int count);
    // Audio thread: the symmetric convolution over the last N inputs, both outputs;
    // or over the N before position end, which must not have slid away since.
    void firEvaluate(float* outL, float* outR) const { firEvaluateAt(firEnd, outL, outR); }
    void firEvaluateAt(int end, float* outL, float* outR) const;
    // The same for count windows ending every step inputs from end on.
    void firEvaluateRun(int end, int step, int count, float* outL, float* outR) const {
        for (int c = 0; c < count; ++c) firEvaluateAt(end + c * step, outL + c, outR + c);
    }

    // Whether firEvaluate uses the eight-lane form of its sums (the same result).
    static bool wideSumsAvailable();
    bool wideSums = wideSumsAvailable();

    static constexpr int kRoom = 64;
    // Twice the longest window, which leaves kRoom after any slide. Longer measured
    // slower in the four-voice patch, whose hot members sit behind it.
    static constexpr int kLineLength = 2 * kMaxTaps;
    static_assert(kLineLength >= kMaxTaps - 1 + kRoom, "a slide must leave room");

    int firTaps = 0;
    // One past the newest input, and where the line is full.
    int firEnd = 0;
    int firLimit = kLineLength;
    // From here to firEnd both lines hold the same bits (a mono voice on both outputs).
    int firDiffer = 0;
    float dcOffset = 1e-13f;
    float svfState[2][4] = {};  // per output: band1, low1, band2, low2
    alignas(32) float firCoefs[kCoefCount] = {};
    // The inputs oldest first, so that the window of the last N is one run that ends
    // at firEnd. A full line keeps its newest N - 1 at the front (slide). The sums
    // pair each input with its mirror image, so oldest or newest first gives the same
    // bits.
    alignas(32) float firLine[2][kLineLength] = {};

private:
    void slide();
    template <bool Both>
    void sums(const float* xl, const float* xr, float& sumL, float& sumR) const;
    static inline void step(float* s, float x, float f) {
        s[1] += f * s[0];
        s[0] += f * (x - s[1] - s[0]);
        s[3] += f * s[2];
        s[2] += f * (s[1] - s[3] - s[2]);
    }
};
