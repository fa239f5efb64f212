#pragma once

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
        firPos = firPos == 0 ? firTaps - 1 : firPos - 1;
        firRing[0][firPos] = firRing[0][firPos + firTaps] = l;
        firRing[1][firPos] = firRing[1][firPos + firTaps] = r;
    }
    // Audio thread: the symmetric convolution over the last N inputs, both outputs.
    void firEvaluate(float* outL, float* outR) const;

    // Whether firEvaluate uses the eight-lane form of its sums (the same result).
    static bool wideSumsAvailable();
    bool wideSums = wideSumsAvailable();

    int firTaps = 0;
    int firPos = 0;
    float dcOffset = 1e-13f;
    float svfState[2][4] = {};  // per output: band1, low1, band2, low2
    alignas(32) float firCoefs[kCoefCount] = {};
    // Each value is stored twice, at p and p + N, so the window of the last N
    // values is one contiguous run starting at firPos.
    alignas(32) float firRing[2][2 * kMaxTaps] = {};

private:
    static inline void step(float* s, float x, float f) {
        s[1] += f * s[0];
        s[0] += f * (x - s[1] - s[0]);
        s[3] += f * s[2];
        s[2] += f * (s[1] - s[3] - s[2]);
    }
};
