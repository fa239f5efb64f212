#pragma once

#include <algorithm>
#include <cstdint>

// The sixteen steps of a sequencer played as one track of 16, two of 8 or four of 4,
// forward, reverse or ping-pong. Shared by the sequencers so they step alike.
namespace StepTracks {

enum Mode { kMode16x1, kMode8x2, kMode4x4 };

// A three-position switch value as 0, 1 or 2.
inline int threeWay(float v) { return v < 0.5f ? 0 : (v < 1.f ? 1 : 2); }

// Moves the four cursors (one per output) one step. directionCode: 1 forward,
// 2 reverse, otherwise ping-pong with its running direction in pingPong.
// light(step, value) is told which steps go dark and which light up.
template <class Light>
void advance(int32_t* c, int32_t& pingPong, int mode, int32_t directionCode, Light&& light) {
    switch (mode) {
        case kMode16x1: {
            light(c[3], 0.f);
            int s = c[3];
            if (directionCode == 1) s = s >= 15 ? 0 : s + 1;
            else if (directionCode == 2) s = s <= 0 ? 15 : s - 1;
            else {
                s += pingPong;
                if (s >= 16) s = 14, pingPong = -1;
                else if (s < 0) s = 1, pingPong = 1;
            }
            c[3] = s;
            c[0] = s < 4 ? s : 3;
            c[1] = s >= 4 && s <= 7 ? s : 7;
            c[2] = s >= 8 && s <= 11 ? s : 11;
            light(s, 1.f);
            break;
        }
        case kMode8x2: {
            light(c[1], 0.f);
            light(c[3], 0.f);
            int a = c[1], b = c[3];
            if (directionCode == 1) {
                a = a >= 7 ? 0 : a + 1;
                b = b >= 15 ? 8 : b + 1;
            } else if (directionCode == 2) {
                a = a <= 0 ? 7 : a - 1;
                b = b <= 8 ? 15 : b - 1;
            } else {
                a += pingPong;
                if (a < 0) a = 1, pingPong = 1, b = 9;
                else if (a >= 8) a = 6, pingPong = -1, b = 14;
                else b = std::clamp(b + pingPong, 8, 15);
            }
            c[1] = a;
            c[3] = b;
            c[0] = a <= 3 ? a : 3;
            c[2] = b <= 11 ? b : 11;
            light(a, 1.f);
            light(b, 1.f);
            break;
        }
        default: {
            for (int i = 0; i < 4; ++i) light(c[i], 0.f);
            if (directionCode == 1) {
                for (int i = 0; i < 4; ++i) c[i] = c[i] % 4 == 3 ? c[i] - 3 : c[i] + 1;
            } else if (directionCode == 2) {
                for (int i = 0; i < 4; ++i) c[i] = c[i] % 4 == 0 ? c[i] + 3 : c[i] - 1;
            } else {
                int a = c[0] + pingPong;
                if (a >= 4) a = 2, pingPong = -1;
                else if (a < 0) a = 1, pingPong = 1;
                for (int i = 0; i < 4; ++i) c[i] = a + 4 * i;
            }
            for (int i = 0; i < 4; ++i) light(c[i], 1.f);
            break;
        }
    }
}

}  // namespace StepTracks
