// Scratch folders, generated MIDI files and subprocess runs for the host and tool tests.
#pragma once

#include <gtest/gtest.h>
#include <smf.h>
#include <sys/wait.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace testsupport {

class TempDir {
public:
    TempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "vsthost-XXXXXX").string();
        if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
        path_ = pattern;
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    std::string file(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

inline void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

inline std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// A raw message at a position in pulses (480 per quarter note).
struct SmfMessage {
    int pulses;
    std::vector<unsigned char> bytes;
};

inline SmfMessage tempoChange(int pulses, double bpm) {
    const auto usPerQuarter = static_cast<unsigned>(std::lround(60e6 / bpm));
    return {pulses, {0xFF, 0x51, 0x03, (unsigned char)(usPerQuarter >> 16),
                     (unsigned char)(usPerQuarter >> 8), (unsigned char)usPerQuarter}};
}

// Writes a one-track file; without a tempo message the file plays at 120 BPM.
inline void writeSmf(const std::string& path, const std::vector<SmfMessage>& messages) {
    smf_t* smf = smf_new();
    ASSERT_NE(smf, nullptr);
    ASSERT_EQ(smf_set_ppqn(smf, 480), 0);
    smf_track_t* track = smf_track_new();
    smf_add_track(smf, track);
    for (const SmfMessage& m : messages) {
        std::vector<unsigned char> bytes = m.bytes;
        smf_event_t* ev = smf_event_new_from_pointer(bytes.data(), int(bytes.size()));
        ASSERT_NE(ev, nullptr);
        smf_track_add_event_pulses(track, ev, m.pulses);
    }
    ASSERT_EQ(smf_save(smf, path.c_str()), 0);
    smf_delete(smf);
}

struct RunResult {
    int status = -1;
    std::string out, err;
};

// Runs a shell command line, capturing its exit status and both output streams.
inline RunResult run(const std::string& command, const TempDir& dir) {
    RunResult r;
    const std::string outFile = dir.file("stdout.txt"), errFile = dir.file("stderr.txt");
    const int raw = std::system((command + " >'" + outFile + "' 2>'" + errFile + "' </dev/null").c_str());
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + (WIFSIGNALED(raw) ? WTERMSIG(raw) : 0);
    r.out = readFile(outFile);
    r.err = readFile(errFile);
    return r;
}

inline double rms(const std::vector<float>& x, size_t begin, size_t end) {
    double sum = 0.0;
    for (size_t i = begin; i < end; ++i) sum += double(x[i]) * x[i];
    return end > begin ? std::sqrt(sum / double(end - begin)) : 0.0;
}

// Fundamental by normalised autocorrelation: the shortest lag that is a local peak within
// 90 % of the best one, so octave-down lags of a periodic wave do not win by rounding.
inline double fundamentalHz(const std::vector<float>& x, size_t begin, size_t end, double rate) {
    const size_t minLag = size_t(rate / 2000.0), maxLag = size_t(rate / 40.0);
    const size_t n = end - begin - maxLag;
    std::vector<double> r(maxLag + 2, 0.0);
    for (size_t lag = minLag; lag <= maxLag + 1; ++lag) {
        double xy = 0.0, xx = 0.0, yy = 0.0;
        for (size_t i = begin; i < begin + n; ++i) {
            xy += double(x[i]) * x[i + lag];
            xx += double(x[i]) * x[i];
            yy += double(x[i + lag]) * x[i + lag];
        }
        r[lag] = xx > 0 && yy > 0 ? xy / std::sqrt(xx * yy) : 0.0;
    }
    double best = 0.0;
    for (size_t lag = minLag; lag <= maxLag; ++lag) best = std::max(best, r[lag]);
    for (size_t lag = minLag + 1; lag <= maxLag; ++lag) {
        if (r[lag] >= 0.9 * best && r[lag] >= r[lag - 1] && r[lag] >= r[lag + 1]) {
            // Parabolic interpolation around the peak for sub-sample precision.
            const double a = r[lag - 1], b = r[lag], c = r[lag + 1];
            const double denom = a - 2 * b + c;
            const double offset = denom != 0.0 ? 0.5 * (a - c) / denom : 0.0;
            return rate / (double(lag) + offset);
        }
    }
    return 0.0;
}

}  // namespace testsupport
